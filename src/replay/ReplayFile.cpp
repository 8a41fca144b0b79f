#include "replay/ReplayFile.h"

#include <bit>
#include <cstring>

namespace tk::replay {

namespace {

constexpr std::string_view Magic = "TKREPLAY";
// Nothing legitimate comes near these; they keep a damaged length from asking for gigabytes.
constexpr uint64_t MaxText = 4096;
constexpr uint64_t MaxStepMs = 24ull * 3600 * 1000;

class Writer {
 public:
  void Bytes(std::string_view b) { out_.append(b); }
  void U8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
  void Fixed(uint64_t v, int n) {
    for (int i = 0; i < n; ++i) U8(static_cast<uint8_t>(v >> (8 * i)));
  }
  void Var(uint64_t v) {
    do {
      uint8_t b = v & 0x7f;
      v >>= 7;
      if (v) b |= 0x80;
      U8(b);
    } while (v);
  }
  void SVar(int64_t v) { Var((static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63)); }
  void Text(const std::string& s) {
    Var(s.size());
    Bytes(s);
  }
  void Double(double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    Fixed(bits, 8);
  }
  void Bool(bool b) { U8(b ? 1 : 0); }
  std::string& Out() { return out_; }

 private:
  std::string out_;
};

class Reader {
 public:
  explicit Reader(std::string_view in) : in_(in) {}
  [[noreturn]] static void Fail(const std::string& what) {
    throw EReplayError(EReplayError::Damaged, "damaged replay: " + what);
  }
  uint8_t U8() {
    if (pos_ >= in_.size()) Fail("it ends too early");
    return static_cast<uint8_t>(in_[pos_++]);
  }
  uint64_t Fixed(int n) {
    uint64_t v = 0;
    for (int i = 0; i < n; ++i) v |= static_cast<uint64_t>(U8()) << (8 * i);
    return v;
  }
  uint64_t Var() {
    uint64_t v = 0;
    for (int shift = 0;; shift += 7) {
      if (shift > 63) Fail("a number is too long");
      const uint8_t b = U8();
      v |= static_cast<uint64_t>(b & 0x7f) << shift;
      if (!(b & 0x80)) return v;
    }
  }
  int64_t SVar() {
    const uint64_t u = Var();
    return static_cast<int64_t>(u >> 1) ^ -static_cast<int64_t>(u & 1);
  }
  int32_t I32() {
    const int64_t v = SVar();
    if (v < INT32_MIN || v > INT32_MAX) Fail("a number is out of range");
    return static_cast<int32_t>(v);
  }
  std::string Text() {
    const uint64_t n = Var();
    if (n > MaxText || n > in_.size() - pos_) Fail("a text is too long");
    std::string s(in_.substr(pos_, n));
    pos_ += n;
    return s;
  }
  double Double() {
    const uint64_t bits = Fixed(8);
    double d;
    std::memcpy(&d, &bits, sizeof d);
    return d;
  }
  bool Bool() {
    const uint8_t b = U8();
    if (b > 1) Fail("a flag is neither 0 nor 1");
    return b == 1;
  }
  size_t Pos() const { return pos_; }
  size_t Left() const { return in_.size() - pos_; }

 private:
  std::string_view in_;
  size_t pos_ = 0;
};

void WriteStart(Writer& w, const TReplayStart& s) {
  w.U8(s.Scene);
  for (int32_t v : {s.Level, s.Score, s.Lives, s.MouseX, s.MouseY}) w.SVar(v);
  w.Double(s.AimAngle);
  w.Double(s.AimAdjust);
  for (bool b : {s.AimCentred, s.FireHeld, s.AppInactive, s.Paused, s.GameSound, s.GameMusic,
                 s.GameFullScreen, s.GameMainExit, s.GameEnterName, s.GameSendResult,
                 s.GamegoEdit, s.GameClearHighScore, s.ResizePending, s.HoverSoundArmed})
    w.Bool(b);
  for (uint8_t v : {s.TurnLeftCooldown, s.TurnRightCooldown, s.TurnUpCooldown, s.JumpCooldown,
                    s.CaretBlink, s.Input})
    w.U8(v);
  w.SVar(s.NameTextWidth);
  for (const std::string* t : {&s.Edit1, &s.Edit2, &s.PlayerCountry, &s.PlayerName}) w.Text(*t);
  for (const TLocal_HighScores& r : s.HighScores) {
    w.Text(r.Name);
    w.SVar(r.Score);
  }
  for (int i = 0; i < 4; ++i) {
    w.Bool(s.TimerEnabled[i]);
    w.Var(s.TimerInterval[i]);
  }
}

TReplayStart ReadStart(Reader& r) {
  TReplayStart s;
  s.Scene = r.U8();
  for (int32_t* v : {&s.Level, &s.Score, &s.Lives, &s.MouseX, &s.MouseY}) *v = r.I32();
  s.AimAngle = r.Double();
  s.AimAdjust = r.Double();
  for (bool* b : {&s.AimCentred, &s.FireHeld, &s.AppInactive, &s.Paused, &s.GameSound,
                  &s.GameMusic, &s.GameFullScreen, &s.GameMainExit, &s.GameEnterName,
                  &s.GameSendResult, &s.GamegoEdit, &s.GameClearHighScore, &s.ResizePending,
                  &s.HoverSoundArmed})
    *b = r.Bool();
  for (uint8_t* v : {&s.TurnLeftCooldown, &s.TurnRightCooldown, &s.TurnUpCooldown,
                     &s.JumpCooldown, &s.CaretBlink, &s.Input})
    *v = r.U8();
  s.NameTextWidth = r.I32();
  for (std::string* t : {&s.Edit1, &s.Edit2, &s.PlayerCountry, &s.PlayerName}) *t = r.Text();
  for (TLocal_HighScores& row : s.HighScores) {
    row.Name = r.Text();
    row.Score = r.I32();
  }
  for (int i = 0; i < 4; ++i) {
    s.TimerEnabled[i] = r.Bool();
    const uint64_t v = r.Var();
    if (v > UINT32_MAX) Reader::Fail("a timer interval is out of range");
    s.TimerInterval[i] = static_cast<uint32_t>(v);
  }
  return s;
}

void WriteEntry(Writer& w, const TEntry& e, uint64_t previous) {
  w.U8(e.Type);
  w.Var(e.Time >= previous ? e.Time - previous : 0);
  switch (e.Type) {
    case TEntry::Tick: w.U8(e.Input); break;
    case TEntry::KeyDown:
    case TEntry::KeyUp:
      w.U8(e.Key);
      w.U8(e.Mods);
      break;
    case TEntry::Char: w.U8(e.Ch); break;
    case TEntry::MouseDown:
    case TEntry::MouseUp: w.U8(e.Button); [[fallthrough]];
    case TEntry::MouseMove:
      w.SVar(e.X);
      w.SVar(e.Y);
      break;
    case TEntry::Activate: w.Bool(e.Active); break;
    case TEntry::Timer: w.U8(e.TimerIndex); break;
    case TEntry::Switch: w.U8(e.Scene); break;
    case TEntry::Net: {
      TNetReply r = e.Reply;
      ClipNetReply(r);
      w.U8(e.Purpose);
      w.Bool(r.Ok);
      w.SVar(r.Status);
      w.Text(r.Body);
      w.Text(r.Error);
      break;
    }
    default: break;
  }
}

}  // namespace

void ClipNetReply(TNetReply& reply) {
  if (reply.Body.size() > MaxNetText) reply.Body.resize(MaxNetText);
  if (reply.Error.size() > MaxNetText) reply.Error.resize(MaxNetText);
}

uint64_t Fnv1a(std::string_view bytes, uint64_t h) {
  for (unsigned char c : bytes) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

std::string WriteReplay(const TReplay& r) {
  Writer w;
  w.Bytes(Magic);
  bool net = false;
  for (const TEntry& e : r.Entries) net = net || e.Type == TEntry::Net;
  w.Fixed(net ? FormatVersion : OldestFormatVersion, 2);
  w.Text(r.GameVersion);
  w.Fixed(r.DataHash, 8);
  w.Fixed(r.Seed, 4);
  w.Fixed(r.StartClock, 8);
  WriteStart(w, r.Start);
  uint64_t previous = 0;
  for (const TEntry& e : r.Entries) {
    if (e.Type == TEntry::End) continue;  // the journal has one end, written below
    WriteEntry(w, e, previous);
    previous = std::max(previous, e.Time);
  }
  w.U8(TEntry::End);
  w.Var(0);
  w.SVar(r.Trailer.Score);
  w.SVar(r.Trailer.Level);
  w.SVar(r.Trailer.Lives);
  w.Bool(r.Trailer.EnteredTable);
  w.Text(r.Trailer.PlayerName);
  w.Fixed(Fnv1a(w.Out()), 8);
  return std::move(w.Out());
}

TReplay ReadReplay(std::string_view bytes, bool verifyChecksum) {
  if (bytes.size() < Magic.size() + 2 || bytes.substr(0, Magic.size()) != Magic)
    throw EReplayError(EReplayError::NotReplay, "not a replay file");
  TReplay r;
  r.Version = static_cast<uint16_t>(static_cast<uint8_t>(bytes[8]) |
                                    static_cast<uint8_t>(bytes[9]) << 8);
  if (r.Version < OldestFormatVersion || r.Version > FormatVersion)
    throw EReplayError(EReplayError::OtherVersion,
                       "replay format version " + std::to_string(r.Version) +
                           "; this game reads versions " + std::to_string(OldestFormatVersion) +
                           " to " + std::to_string(FormatVersion));
  if (verifyChecksum) {
    if (bytes.size() < Magic.size() + 2 + 8) Reader::Fail("it ends too early");
    const std::string_view body = bytes.substr(0, bytes.size() - 8);
    Reader sum(bytes.substr(bytes.size() - 8));
    if (sum.Fixed(8) != Fnv1a(body))
      Reader::Fail("its checksum does not match (truncated or changed)");
    bytes = body;
  }
  Reader in(bytes.substr(Magic.size() + 2));
  r.GameVersion = in.Text();
  r.DataHash = in.Fixed(8);
  r.Seed = static_cast<uint32_t>(in.Fixed(4));
  r.StartClock = in.Fixed(8);
  r.Start = ReadStart(in);
  uint64_t time = 0;
  for (;;) {
    TEntry e;
    const uint8_t kind = in.U8();
    const uint8_t last = r.Version >= 2 ? TEntry::Net : TEntry::Mark;
    if (kind > last) Reader::Fail("unknown entry kind " + std::to_string(kind));
    e.Type = static_cast<TEntry::Kind>(kind);
    const uint64_t step = in.Var();
    if (step > MaxStepMs) Reader::Fail("a pause between entries is too long");
    time += step;
    e.Time = time;
    switch (e.Type) {
      case TEntry::Tick:
        e.Input = in.U8();
        break;
      case TEntry::KeyDown:
      case TEntry::KeyUp:
        e.Key = in.U8();
        e.Mods = in.U8();
        if (e.Mods > 7) Reader::Fail("unknown key modifiers");
        break;
      case TEntry::Char: e.Ch = in.U8(); break;
      case TEntry::MouseDown:
      case TEntry::MouseUp:
        e.Button = in.U8();
        if (e.Button > 2) Reader::Fail("unknown mouse button");
        [[fallthrough]];
      case TEntry::MouseMove:
        e.X = in.I32();
        e.Y = in.I32();
        break;
      case TEntry::Activate: e.Active = in.Bool(); break;
      case TEntry::Timer:
        e.TimerIndex = in.U8();
        if (e.TimerIndex > ShareTimer) Reader::Fail("unknown timer");
        break;
      case TEntry::Switch: e.Scene = in.U8(); break;
      case TEntry::Net:
        e.Purpose = in.U8();
        e.Reply.Ok = in.Bool();
        e.Reply.Status = in.I32();
        e.Reply.Body = in.Text();
        e.Reply.Error = in.Text();
        break;
      default: break;
    }
    if (e.Type == TEntry::End) break;
    r.Entries.push_back(e);
  }
  r.Trailer.Score = in.I32();
  r.Trailer.Level = in.I32();
  r.Trailer.Lives = in.I32();
  r.Trailer.EnteredTable = in.Bool();
  r.Trailer.PlayerName = in.Text();
  if (in.Left() != 0) Reader::Fail("there are bytes after its end");
  return r;
}

}  // namespace tk::replay

namespace tk::replay {
const char* GameVersion() { return TK_GAME_VERSION; }
}  // namespace tk::replay
