#include "media/PreparedMusic.h"

#include <algorithm>
#include <stdexcept>

#include "media/PreparedFile.h"

namespace tk {

namespace {

constexpr char kMagic[8] = {'T', 'K', 'M', 'U', 'S', 'I', 'C', 1};

using prepared::Put;
using prepared::PutText;

[[noreturn]] void Damaged(const std::string& tune, const std::string& why) {
  throw std::runtime_error("prepared music: " + tune + ": " + why);
}

}  // namespace

uint32_t TPreparedTune::InFirstRound(uint64_t at, bool* inSeam, uint32_t* seam) const {
  if (inSeam) *inSeam = false;
  if (at < Length) return static_cast<uint32_t>(at);
  const uint32_t r = static_cast<uint32_t>((at - Length) % (Length - LoopTo));
  if (r < SeamFrames()) {
    if (inSeam) *inSeam = true;
    if (seam) *seam = r;
  }
  return LoopTo + r;
}

const TTuneMark& TPreparedTune::MarkAfter(uint64_t played) const {
  if (played == 0) return Marks.front();
  const uint32_t last = InFirstRound(played - 1);
  auto it = std::upper_bound(Marks.begin(), Marks.end(), last,
                             [](uint32_t f, const TTuneMark& m) { return f < m.Frame; });
  return *(it - 1);
}

uint64_t MusicModuleKey(std::string_view module) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : module) {
    h ^= c;
    h *= 0x100000001b3ull;
  }
  return h;
}

std::string SerializePreparedMusic(const std::vector<TPreparedTune>& tunes) {
  std::string out(kMagic, sizeof kMagic);
  Put(out, tunes.size(), 4);
  for (const TPreparedTune& t : tunes) {
    PutText(out, t.Name);
    Put(out, t.Key, 8);
    Put(out, t.ModuleSize, 4);
    Put(out, t.Rate, 4);
    Put(out, t.Length, 4);
    Put(out, t.LoopTo, 4);
    Put(out, t.Seam.size() / 2, 4);
    for (int16_t s : t.Seam) Put(out, static_cast<uint16_t>(s), 2);
    Put(out, t.Marks.size(), 4);
    for (const TTuneMark& m : t.Marks) {
      Put(out, m.Frame, 4);
      Put(out, m.Order, 2);
      Put(out, m.Row, 2);
    }
    PutText(out, t.Vorbis);
  }
  return out;
}

std::vector<TPreparedTune> ParsePreparedMusic(std::string_view bytes) {
  if (!prepared::HasMagic(bytes, std::string_view(kMagic, sizeof kMagic)))
    throw std::runtime_error("prepared music: not a file of prepared music");
  prepared::Reader r(bytes.substr(sizeof kMagic), "prepared music");
  const uint32_t count = r.U32();
  std::vector<TPreparedTune> tunes;
  for (uint32_t i = 0; i < count; ++i) {
    TPreparedTune t;
    t.Name = std::string(r.Text());
    t.Key = r.Get(8);
    t.ModuleSize = r.U32();
    t.Rate = r.U32();
    t.Length = r.U32();
    t.LoopTo = r.U32();
    if (t.Rate == 0 || t.Rate > 384000) Damaged(t.Name, "a sample rate of " + std::to_string(t.Rate));
    if (t.LoopTo >= t.Length) Damaged(t.Name, "the rounds do not fit the first");
    const uint32_t seam = r.U32();
    if (seam > t.Length - t.LoopTo) Damaged(t.Name, "a seam longer than a round");
    r.Need(4ull * seam);
    t.Seam.resize(2ull * seam);
    for (int16_t& s : t.Seam) s = static_cast<int16_t>(static_cast<uint16_t>(r.Get(2)));
    const uint32_t marks = r.U32();
    r.Need(8ull * marks);
    if (marks == 0) Damaged(t.Name, "no positions");
    t.Marks.resize(marks);
    for (uint32_t m = 0; m < marks; ++m) {
      TTuneMark& k = t.Marks[m];
      k.Frame = r.U32();
      k.Order = static_cast<uint16_t>(r.Get(2));
      k.Row = static_cast<uint16_t>(r.Get(2));
      if (m == 0 ? k.Frame != 0 : k.Frame <= t.Marks[m - 1].Frame || k.Frame >= t.Length)
        Damaged(t.Name, "positions out of order");
    }
    t.Vorbis = std::string(r.Text());
    tunes.push_back(std::move(t));
  }
  if (!r.AtEnd()) throw std::runtime_error("prepared music: bytes after the last tune");
  return tunes;
}

}  // namespace tk
