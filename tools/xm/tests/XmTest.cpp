#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "XmCheck.h"
#include "XmWriter.h"

using namespace tk::xm;

namespace {

uint32_t U32(const std::string& b, size_t at) {
  return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8 | uint8_t(b[at + 2]) << 16 | uint32_t(uint8_t(b[at + 3])) << 24;
}
unsigned U16(const std::string& b, size_t at) { return uint8_t(b[at]) | uint8_t(b[at + 1]) << 8; }

Sample Tone(bool bits16, size_t n, double amp) {
  Sample s;
  s.Bits16 = bits16;
  for (size_t i = 0; i < n; ++i)
    s.Data.push_back(int16_t(std::lround(amp * std::sin(2 * 3.14159265358979 * double(i) / 50.0))));
  s.Loop = LoopType::Forward;
  s.LoopStart = 100;
  s.LoopLength = uint32_t(n - 100);
  return s;
}

// Two instruments (a looped 16-bit tone with an envelope, an 8-bit one-shot), three
// channels, two patterns played A B A.
Module SmallModule() {
  Module m;
  m.Name = "test";
  m.Channels = 3;
  m.Tempo = 5;
  m.Bpm = 140;
  Instrument a;
  a.Name = "tone";
  a.Samples.push_back(Tone(true, 1000, 20000));
  a.Samples[0].RelativeNote = 16;
  a.Samples[0].Finetune = -37;
  a.Volume = {true, {{0, 0}, {3, 64}, {20, 40}, {40, 0}}, 2, -1, -1};
  a.Fadeout = 512;
  Instrument b;
  b.Name = "blip";
  b.Samples.push_back(Tone(false, 700, 100));
  b.Samples[0].Loop = LoopType::None;
  m.Instruments = {a, b};
  for (int p = 0; p < 2; ++p) {
    Pattern pat;
    pat.Rows = p ? 32 : 16;
    pat.Cells.resize(size_t(pat.Rows) * 3);
    for (int r = 0; r < pat.Rows; r += 4) {
      pat.Cells[size_t(r) * 3] = {uint8_t(49 + r / 4 + p), 1, 0, 0, 0};
      pat.Cells[size_t(r) * 3 + 1] = {uint8_t(37 + p), 2, uint8_t(0x10 + 32 + r), 0, 0};
    }
    pat.Cells[2 * 3 + 0] = {kNoteOff, 0, 0, 0, 0};
    pat.Cells[5 * 3 + 2] = {60, 1, 0x50, 0x0C, 0x20};  // every field present
    m.Patterns.push_back(pat);
  }
  m.Orders = {0, 1, 0};
  return m;
}

}  // namespace

TEST(XmWriter, HeaderFieldsAndOffsets) {
  Module m = SmallModule();
  std::string b = WriteXm(m);
  EXPECT_EQ(b.substr(0, 17), "Extended Module: ");
  EXPECT_EQ(b.substr(17, 4), "test");
  EXPECT_EQ(b[37], '\x1a');
  EXPECT_EQ(U16(b, 58), 0x0104u);
  EXPECT_EQ(U32(b, 60), 276u);
  EXPECT_EQ(U16(b, 64), 3u);  // song length
  EXPECT_EQ(U16(b, 66), 0u);  // restart
  EXPECT_EQ(U16(b, 68), 3u);  // channels
  EXPECT_EQ(U16(b, 70), 2u);  // patterns
  EXPECT_EQ(U16(b, 72), 2u);  // instruments
  EXPECT_EQ(U16(b, 74), 1u);  // linear frequencies
  EXPECT_EQ(U16(b, 76), 5u);
  EXPECT_EQ(U16(b, 78), 140u);
  EXPECT_EQ(std::string(b.data() + 80, 4), std::string("\0\1\0\0", 4));

  // Pattern headers follow at 60 + 276, each announcing its packed size.
  size_t at = 336;
  for (int p = 0; p < 2; ++p) {
    EXPECT_EQ(U32(b, at), 9u);
    EXPECT_EQ(uint8_t(b[at + 4]), 0);
    EXPECT_EQ(U16(b, at + 5), p ? 32u : 16u);
    at += 9 + U16(b, at + 7);
  }
  // Then the instruments: size 263, one 40-byte sample header, the delta data.
  for (int i = 0; i < 2; ++i) {
    const Sample& s = m.Instruments[size_t(i)].Samples[0];
    EXPECT_EQ(U32(b, at), 263u);
    EXPECT_EQ(U16(b, at + 27), 1u);
    EXPECT_EQ(U32(b, at + 29), 40u);
    size_t sh = at + 263;
    uint32_t width = s.Bits16 ? 2 : 1;
    EXPECT_EQ(U32(b, sh), s.Data.size() * width);
    EXPECT_EQ(U32(b, sh + 4), s.Loop != LoopType::None ? 100 * width : 0);
    EXPECT_EQ(U32(b, sh + 8), s.Loop != LoopType::None ? (s.Data.size() - 100) * width : 0);
    EXPECT_EQ(uint8_t(b[sh + 14]), (s.Bits16 ? 0x10 : 0) | (s.Loop != LoopType::None ? 1 : 0));
    EXPECT_EQ(uint8_t(b[sh + 17]), 0);  // reserved: delta encoding
    at = sh + 40 + s.Data.size() * width;
  }
  EXPECT_EQ(at, b.size());
}

TEST(XmWriter, PacksCellsByWhatIsPresent) {
  Module m = SmallModule();
  m.Channels = 1;
  m.Orders = {0};
  m.Patterns.resize(1);
  m.Patterns[0].Rows = 4;
  m.Patterns[0].Cells = {{}, {49, 1, 0, 0, 0}, {kNoteOff, 0, 0, 0, 0}, {50, 2, 0x40, 0x0F, 0x03}};
  std::string b = WriteXm(m);
  EXPECT_EQ(b.substr(336 + 9, 1 + 3 + 2 + 5), std::string("\x80\x83\x31\x01\x81\x61\x32\x02\x40\x0f\x03", 11));
  EXPECT_EQ(U16(b, 336 + 7), 11u);
}

TEST(XmWriter, DeltaEncodingRoundTrips) {
  std::vector<int16_t> wide = {0, 1, -1, 32767, -32768, 32767, 0, -12345, 12345};
  std::vector<int16_t> narrow = {0, 127, -128, 127, -1, 5, -5};
  EXPECT_EQ(DeltaDecode(DeltaEncode(wide, true), true), wide);
  EXPECT_EQ(DeltaDecode(DeltaEncode(narrow, false), false), narrow);
  EXPECT_EQ(DeltaEncode({10, 13, 9}, true), std::string("\x0a\x00\x03\x00\xfc\xff", 6));
  EXPECT_EQ(DeltaEncode({10, 13, 9}, false), std::string("\x0a\x03\xfc", 3));
}

TEST(XmWriter, RefusesWhatCannotBeWritten) {
  auto with = [](auto change) {
    Module m = SmallModule();
    change(m);
    return m;
  };
  std::vector<Module> bad = {
      with([](Module& m) { m.Orders = {0, 2}; }),
      with([](Module& m) { m.Restart = 3; }),
      with([](Module& m) { m.Patterns[0].Cells.pop_back(); }),
      with([](Module& m) { m.Patterns[0].Cells[0].Instrument = 3; }),
      with([](Module& m) { m.Patterns[0].Cells[0].Note = 98; }),
      with([](Module& m) { m.Instruments[1].Samples[0].Data[0] = 200; }),
      with([](Module& m) { m.Instruments[0].Samples[0].LoopLength = 901; }),
      with([](Module& m) { m.Instruments[0].Volume.Points.resize(13, {0, 0}); }),
  };
  for (size_t i = 0; i < bad.size(); ++i) EXPECT_THROW(WriteXm(bad[i]), std::invalid_argument) << i;
}

TEST(XmWriter, PlayerReadsBackWhatWasWritten) {
  Module m = SmallModule();
  std::string b = WriteXm(m);
  CheckReport r = CheckWithPlayer(b, m);
  EXPECT_TRUE(r.Problems.empty()) << r.Problems.front();
  EXPECT_NEAR(r.PlayerSeconds, SongSeconds(m), 0.05);
  EXPECT_GT(r.Peak, 1000);

  // A fault in the sample bytes loads without complaint; the check must catch it.
  std::string broken = b;
  broken[broken.size() - (263 + 40 + 700) - 501] ^= 0x10;  // inside the 16-bit sample's data
  CheckReport rb = CheckWithPlayer(broken, m);
  ASSERT_FALSE(rb.Problems.empty());
  EXPECT_NE(rb.Problems[0].find("sample values differ"), std::string::npos) << rb.Problems[0];
}
