#include "XmWriter.h"

#include <stdexcept>

namespace tk::xm {

namespace {

class Out {
 public:
  void U8(unsigned v) { s_.push_back(char(v & 0xFF)); }
  void U16(unsigned v) {
    U8(v);
    U8(v >> 8);
  }
  void U32(uint32_t v) {
    U16(v & 0xFFFF);
    U16(v >> 16);
  }
  // A fixed-size text field, padded with zeros (names) or spaces (the signature's fields).
  void Text(std::string_view t, size_t size, char pad = '\0') {
    for (size_t i = 0; i < size; ++i) s_.push_back(i < t.size() ? t[i] : pad);
  }
  void Bytes(std::string_view b) { s_.append(b); }
  void Zeros(size_t n) { s_.append(n, '\0'); }
  size_t Size() const { return s_.size(); }
  std::string Take() { return std::move(s_); }

 private:
  std::string s_;
};

[[noreturn]] void Bad(const std::string& what) { throw std::invalid_argument(what); }

void CheckModule(const Module& m) {
  if (m.Channels < 1 || m.Channels > 32) Bad("channels must be 1..32");
  if (m.Orders.empty() || m.Orders.size() > 256) Bad("the order list must hold 1..256 entries");
  if (m.Patterns.empty() || m.Patterns.size() > 256) Bad("a module holds 1..256 patterns");
  if (m.Instruments.size() > 128) Bad("a module holds at most 128 instruments");
  if (m.Restart >= m.Orders.size()) Bad("restart position past the order list");
  if (m.Tempo < 1 || m.Tempo > 31) Bad("tempo must be 1..31 ticks a row");
  if (m.Bpm < 32 || m.Bpm > 255) Bad("BPM must be 32..255");
  for (uint8_t o : m.Orders)
    if (o >= m.Patterns.size()) Bad("order " + std::to_string(o) + " names a missing pattern");
  for (size_t p = 0; p < m.Patterns.size(); ++p) {
    const Pattern& pat = m.Patterns[p];
    std::string where = "pattern " + std::to_string(p);
    if (pat.Rows < 1 || pat.Rows > 256) Bad(where + ": rows must be 1..256");
    if (pat.Cells.size() != size_t(pat.Rows) * size_t(m.Channels)) Bad(where + ": cell count is not rows × channels");
    for (const Cell& c : pat.Cells) {
      if (c.Note > kNoteOff) Bad(where + ": note out of range");
      if (c.Instrument > m.Instruments.size()) Bad(where + ": instrument " + std::to_string(c.Instrument) + " missing");
    }
  }
  for (const Instrument& in : m.Instruments) {
    std::string where = "instrument \"" + in.Name + "\"";
    if (in.Samples.size() > 16) Bad(where + ": at most 16 samples");
    for (uint8_t s : in.SampleForNote)
      if (!in.Samples.empty() && s >= in.Samples.size()) Bad(where + ": note map names a missing sample");
    for (const Envelope* e : {&in.Volume, &in.Panning}) {
      if (e->Points.size() > 12) Bad(where + ": at most 12 envelope points");
      if (e->On && e->Points.empty()) Bad(where + ": an envelope that is on needs points");
      for (size_t i = 1; i < e->Points.size(); ++i)
        if (e->Points[i].first <= e->Points[i - 1].first) Bad(where + ": envelope ticks must rise");
      for (const auto& pt : e->Points)
        if (pt.second > 64) Bad(where + ": envelope values are 0..64");
      int n = int(e->Points.size());
      if (e->Sustain >= n || e->LoopStart >= n || e->LoopEnd >= n) Bad(where + ": envelope point index out of range");
    }
    for (const Sample& s : in.Samples) {
      if (!s.Bits16)
        for (int16_t v : s.Data)
          if (v < -128 || v > 127) Bad(where + ": 8-bit sample value out of range");
      if (s.Loop != LoopType::None &&
          (s.LoopLength == 0 || uint64_t(s.LoopStart) + s.LoopLength > s.Data.size()))
        Bad(where + ": sample loop outside the sample");
      if (s.Volume > 64) Bad(where + ": sample volume is 0..64");
    }
  }
}

std::string PackPattern(const Pattern& p) {
  Out o;
  for (const Cell& c : p.Cells) {
    if (c.Note && c.Instrument && c.Volume && c.Effect && c.Param) {
      o.U8(c.Note);  // all five present: unpacked form is no longer
      o.U8(c.Instrument);
      o.U8(c.Volume);
      o.U8(c.Effect);
      o.U8(c.Param);
      continue;
    }
    unsigned mask = (c.Note ? 1 : 0) | (c.Instrument ? 2 : 0) | (c.Volume ? 4 : 0) | (c.Effect ? 8 : 0) |
                    (c.Param ? 16 : 0);
    o.U8(0x80 | mask);
    if (c.Note) o.U8(c.Note);
    if (c.Instrument) o.U8(c.Instrument);
    if (c.Volume) o.U8(c.Volume);
    if (c.Effect) o.U8(c.Effect);
    if (c.Param) o.U8(c.Param);
  }
  return o.Take();
}

void WriteEnvelopePoints(Out& o, const Envelope& e) {
  for (size_t i = 0; i < 12; ++i) {
    if (i < e.Points.size()) {
      o.U16(e.Points[i].first);
      o.U16(e.Points[i].second);
    } else {
      o.U32(0);
    }
  }
}

unsigned EnvelopeFlags(const Envelope& e) {
  return (e.On ? 1 : 0) | (e.Sustain >= 0 ? 2 : 0) | (e.LoopStart >= 0 && e.LoopEnd >= 0 ? 4 : 0);
}

void WriteInstrument(Out& o, const Instrument& in) {
  size_t start = o.Size();
  o.U32(kInstrumentSize);
  o.Text(in.Name, 22);
  o.U8(0);  // instrument type
  o.U16(unsigned(in.Samples.size()));
  o.U32(kSampleHeaderSize);
  for (uint8_t s : in.SampleForNote) o.U8(s);
  WriteEnvelopePoints(o, in.Volume);
  WriteEnvelopePoints(o, in.Panning);
  o.U8(unsigned(in.Volume.Points.size()));
  o.U8(unsigned(in.Panning.Points.size()));
  for (const Envelope* e : {&in.Volume, &in.Panning}) {
    o.U8(unsigned(std::max(e->Sustain, 0)));
    o.U8(unsigned(std::max(e->LoopStart, 0)));
    o.U8(unsigned(std::max(e->LoopEnd, 0)));
  }
  o.U8(EnvelopeFlags(in.Volume));
  o.U8(EnvelopeFlags(in.Panning));
  o.U8(in.VibratoType);
  o.U8(in.VibratoSweep);
  o.U8(in.VibratoDepth);
  o.U8(in.VibratoRate);
  o.U16(in.Fadeout);
  o.Zeros(22);  // reserved
  if (o.Size() - start != kInstrumentSize) throw std::logic_error("instrument header size");

  for (const Sample& s : in.Samples) {
    uint32_t width = s.Bits16 ? 2 : 1;
    bool looped = s.Loop != LoopType::None;
    o.U32(uint32_t(s.Data.size()) * width);
    o.U32(looped ? s.LoopStart * width : 0);
    o.U32(looped ? s.LoopLength * width : 0);
    o.U8(s.Volume);
    o.U8(uint8_t(s.Finetune));
    o.U8(unsigned(s.Loop) | (s.Bits16 ? 0x10 : 0));
    o.U8(s.Panning);
    o.U8(uint8_t(s.RelativeNote));
    o.U8(0);  // reserved: 0 = delta-encoded samples
    o.Text(s.Name, 22);
  }
  for (const Sample& s : in.Samples) o.Bytes(DeltaEncode(s.Data, s.Bits16));
}

}  // namespace

std::string DeltaEncode(const std::vector<int16_t>& s, bool bits16) {
  Out o;
  int16_t prev = 0;
  for (int16_t v : s) {
    uint16_t d = uint16_t(uint16_t(v) - uint16_t(prev));
    if (bits16) {
      o.U16(d);
    } else {
      o.U8(d & 0xFF);
    }
    prev = v;
  }
  return o.Take();
}

std::vector<int16_t> DeltaDecode(std::string_view bytes, bool bits16) {
  std::vector<int16_t> out;
  if (bits16) {
    uint16_t acc = 0;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
      acc = uint16_t(acc + (uint8_t(bytes[i]) | (uint8_t(bytes[i + 1]) << 8)));
      out.push_back(int16_t(acc));
    }
  } else {
    uint8_t acc = 0;
    for (char c : bytes) {
      acc = uint8_t(acc + uint8_t(c));
      out.push_back(int8_t(acc));
    }
  }
  return out;
}

double SongSeconds(const Module& m) {
  long rows = 0;
  for (uint8_t o : m.Orders)
    if (o < m.Patterns.size()) rows += m.Patterns[o].Rows;
  return double(rows) * m.Tempo * 2.5 / m.Bpm;
}

std::string WriteXm(const Module& m) {
  CheckModule(m);
  Out o;
  o.Text("Extended Module: ", 17);
  o.Text(m.Name, 20);
  o.U8(0x1A);
  o.Text(m.Tracker, 20);
  o.U16(0x0104);
  if (o.Size() != kHeaderSizeOffset) throw std::logic_error("module header layout");
  o.U32(kHeaderSize);
  o.U16(unsigned(m.Orders.size()));
  o.U16(m.Restart);
  o.U16(unsigned(m.Channels));
  o.U16(unsigned(m.Patterns.size()));
  o.U16(unsigned(m.Instruments.size()));
  o.U16(m.LinearFrequencies ? 1 : 0);
  o.U16(m.Tempo);
  o.U16(m.Bpm);
  for (size_t i = 0; i < 256; ++i) o.U8(i < m.Orders.size() ? m.Orders[i] : 0);
  if (o.Size() != kHeaderSizeOffset + kHeaderSize) throw std::logic_error("module header size");

  for (const Pattern& p : m.Patterns) {
    std::string packed = PackPattern(p);
    if (packed.size() > 0xFFFF) Bad("a packed pattern is larger than 65535 bytes");
    o.U32(kPatternHeaderSize);
    o.U8(0);  // packing type
    o.U16(unsigned(p.Rows));
    o.U16(unsigned(packed.size()));
    o.Bytes(packed);
  }
  for (const Instrument& in : m.Instruments) WriteInstrument(o, in);
  return o.Take();
}

}  // namespace tk::xm
