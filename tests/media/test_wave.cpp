#include <gtest/gtest.h>

#include <string>

#include "media/Wave.h"
#include "platform/Errors.h"

namespace tk {
namespace {

std::string Le32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}

std::string Chunk(const std::string& id, const std::string& body) {
  return id + Le32(static_cast<uint32_t>(body.size())) + body;
}

// Mono 8-bit at 11025 Hz.
std::string FormatBody() {
  return std::string("\x01\x00\x01\x00", 4) + Le32(11025) + Le32(11025) +
         std::string("\x01\x00\x08\x00", 4);
}

std::string Riff(const std::string& chunks) {
  return "RIFF" + Le32(static_cast<uint32_t>(4 + chunks.size())) + "WAVE" + chunks;
}

TEST(Wave, WriteThenParseKeepsFormatAndSamples) {
  for (const auto& [channels, bits, rate, bytes] :
       {std::tuple{1, 8, 11025u, std::string("\x80\x90\xA0", 3)},
        std::tuple{2, 16, 44100u, std::string("\x01\x02\x03\x04\xFF\xFF\x00\x80", 8)},
        std::tuple{1, 16, 22050u, std::string()}}) {
    TWave w;
    w.Format.Channels = static_cast<uint16_t>(channels);
    w.Format.BitsPerSample = static_cast<uint16_t>(bits);
    w.Format.SamplesPerSec = rate;
    w.Format.BlockAlign = static_cast<uint16_t>(channels * bits / 8);
    w.Format.AvgBytesPerSec = rate * w.Format.BlockAlign;
    w.Data = std::make_shared<const std::string>(bytes);

    const std::string file = WriteWave(w);
    ASSERT_EQ(file.size(), 44 + bytes.size());
    EXPECT_EQ(file.substr(0, 4), "RIFF");
    EXPECT_EQ(file.substr(4, 4), Le32(static_cast<uint32_t>(file.size() - 8)));

    const TWave back = ParseWave(file);
    EXPECT_EQ(back.Format.FormatTag, 1);
    EXPECT_EQ(back.Format.Channels, channels);
    EXPECT_EQ(back.Format.SamplesPerSec, rate);
    EXPECT_EQ(back.Format.AvgBytesPerSec, w.Format.AvgBytesPerSec);
    EXPECT_EQ(back.Format.BlockAlign, w.Format.BlockAlign);
    EXPECT_EQ(back.Format.BitsPerSample, bits);
    EXPECT_EQ(*back.Data, bytes);
  }
}

TEST(Wave, OtherChunksAreSkippedByTheirLengthWithoutPadding) {
  // An odd-length chunk is followed directly by the next one; the chunks may come in any
  // order, and a format record may carry an extension.
  const std::string file = Riff(Chunk("LIST", "abc") + Chunk("data", "\x81\x82\x83") +
                                Chunk("fact", "") + Chunk("fmt ", FormatBody() + std::string(2, '\0')));
  const TWave w = ParseWave(file);
  EXPECT_EQ(w.Format.SamplesPerSec, 11025u);
  EXPECT_EQ(w.Format.BitsPerSample, 8);
  EXPECT_EQ(*w.Data, "\x81\x82\x83");
}

TEST(Wave, BytesTooFewForAChunkHeaderAfterTheLastChunkAreIgnored) {
  // A writer that pads an odd data chunk leaves one byte behind it.
  const std::string file = Riff(Chunk("fmt ", FormatBody()) + Chunk("data", "\x81") + std::string(1, '\0'));
  EXPECT_EQ(*ParseWave(file).Data, "\x81");
}

TEST(Wave, MalformedFilesAreRejected) {
  const std::string fmt = Chunk("fmt ", FormatBody());
  const std::string data = Chunk("data", "\x80\x80");
  const std::string good = Riff(fmt + data);
  const struct {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"empty", ""},
      {"short header", good.substr(0, 11)},
      {"not RIFF", "RIFX" + good.substr(4)},
      {"not WAVE", good.substr(0, 8) + "AVI " + good.substr(12)},
      {"no chunks", Riff("")},
      {"no format", Riff(data)},
      {"no data", Riff(fmt)},
      {"format record too short", Riff(Chunk("fmt ", FormatBody().substr(0, 14)) + data)},
      {"data cut short", good.substr(0, good.size() - 1)},
      {"other chunk longer than the file", Riff(fmt + "LIST" + Le32(100) + "xy" + data)},
      {"length near 4 GiB", Riff(fmt + "data" + Le32(0xFFFFFFFFu) + "\x80")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    try {
      ParseWave(c.bytes);
      ADD_FAILURE() << "accepted";
    } catch (const EWaveError& e) {
      EXPECT_STREQ(e.what(), "Wave is invalid");
    }
  }
}

}  // namespace
}  // namespace tk
