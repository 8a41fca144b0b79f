#include <gtest/gtest.h>

#include <xmp.h>

#include <cmath>

#include "Score.h"
#include "XmCheck.h"
#include "XmWriter.h"

using namespace tk::xm;

namespace {

const nlohmann::json kLibrary = nlohmann::json::parse(R"({
  "tone": {"looped": true, "length": 0.2, "layers": [{"wave": "sine", "freq": 1}], "adsr": [0.01, 0, 1, 0.05]},
  "ping": {"length": 0.3, "layers": [{"wave": "sine", "freq": 2}], "volume": 40},
  "tick": {"pitched": false, "length": 0.05, "layers": [{"wave": "noise", "highpass": 5000}]}
})");

const char* kScore = R"(
title  Little test   # a comment
speed  4
bpm    150
rows   8
channel mel tone 50
channel drums kit
kit t=tick:20 p=ping

pattern A
mel:   c4 . e4:10 - ^ . | bb3 f#7
drums: t . p . t:64 . . .
pattern B rows 4
mel(ping): c0 . . .
order A B
order A
)";

}  // namespace

TEST(Score, BecomesPatternsCellsAndOrders) {
  Module m = BuildModule(ParseScore(kScore, "test"), kLibrary);
  EXPECT_EQ(m.Name, "Little test");
  EXPECT_EQ(m.Channels, 2);
  EXPECT_EQ(m.Tempo, 4);
  EXPECT_EQ(m.Bpm, 150);
  EXPECT_EQ(m.Orders, (std::vector<uint8_t>{0, 1, 0}));
  ASSERT_EQ(m.Instruments.size(), 3u);  // tone, then the kit's in letter order: ping, tick
  EXPECT_EQ(m.Instruments[0].Name, "tone");
  EXPECT_EQ(m.Instruments[1].Name, "ping");
  EXPECT_EQ(m.Instruments[2].Name, "tick");

  const Pattern& a = m.Patterns[0];
  ASSERT_EQ(a.Rows, 8);
  auto cell = [&](const Pattern& p, int row, int ch) { return p.Cells[size_t(row) * 2 + size_t(ch)]; };
  struct Want { int row, ch; uint8_t note, inst, vol; };
  for (Want w : {Want{0, 0, 49, 1, 0x10 + 50}, Want{1, 0, 0, 0, 0}, Want{2, 0, 53, 1, 0x10 + 10},
                 Want{4, 0, kNoteOff, 0, 0x10 + 50}, Want{6, 0, 47, 1, 0x10 + 50}, Want{7, 0, 91, 1, 0x10 + 50},
                 Want{0, 1, 49, 3, 0x10 + 20}, Want{2, 1, 49, 2, 0}, Want{4, 1, 49, 3, 0x10 + 64}}) {
    SCOPED_TRACE(testing::Message() << "row " << w.row << " channel " << w.ch);
    Cell c = cell(a, w.row, w.ch);
    EXPECT_EQ(c.Note, w.note);
    EXPECT_EQ(c.Instrument, w.inst);
    EXPECT_EQ(c.Volume, w.vol);
  }
  EXPECT_EQ(m.Patterns[1].Rows, 4);
  EXPECT_EQ(cell(m.Patterns[1], 0, 0).Note, 1);
  EXPECT_EQ(cell(m.Patterns[1], 0, 0).Instrument, 2);  // the line's own instrument
  EXPECT_TRUE(cell(m.Patterns[1], 0, 1).Empty());      // a channel the pattern leaves out is silent

  CheckReport r = CheckWithPlayer(WriteXm(m), m);
  for (const std::string& p : r.Problems) EXPECT_EQ(p, "");
}

TEST(Score, ErrorsNameTheLine) {
  struct Case { const char* text; const char* want; };
  for (Case c : {Case{"channel a tone\npattern P rows 2\na: c4\norder P\n", "t:2: pattern P: channel a has 1 rows"},
                 Case{"channel a tone\npattern P rows 1\nb: c4\n", "t:3: no channel named \"b\""},
                 Case{"channel a tone\npattern P rows 1\na: h4\n", "t:3: \"h4\" is not a note"},
                 Case{"channel a tone\npattern P rows 1\na: c8\n", "t:3: \"c8\" is out of range"},
                 Case{"channel a tone\npattern P rows 1\na: c4:65\n", "t:3: volumes are 0..64"},
                 Case{"channel a kit\npattern P rows 1\na: kk\n", "t:3: a drum is one letter"},
                 Case{"speed fast\n", "t:1: speed must be a whole number"},
                 Case{"tempo 6\n", "t:1: cannot read \"tempo\""}}) {
    SCOPED_TRACE(c.text);
    try {
      ParseScore(c.text, "t");
      ADD_FAILURE() << "no error";
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.want, 0), 0u) << e.what();
    }
  }
  EXPECT_THROW(BuildModule(ParseScore("channel a flute\npattern P rows 1\na: c4\norder P\n", "t"), kLibrary),
               std::runtime_error);  // no such instrument
  EXPECT_THROW(BuildModule(ParseScore("channel a tone\npattern P rows 1\na: c4\norder Q\n", "t"), kLibrary),
               std::runtime_error);  // no such pattern
}

TEST(Score, InstrumentsPlayInTune) {
  // A note played by the module player sounds at its pitch: a4 = 440 Hz, whatever the
  // sample's rate; a drum at its own rate keeps its pitch.
  nlohmann::json lib = kLibrary;
  lib["drum"] = nlohmann::json::parse(
      R"({"pitched": false, "rate": 44100, "looped": true, "length": 0.5, "layers": [{"wave": "sine", "freq": 300}],
          "adsr": [0, 0, 1, 0.01]})");
  struct Case { const char* inst; int rate; const char* note; double hz; };
  for (Case c : {Case{"tone", 22050, "a4", 440.0}, Case{"tone", 44100, "c6", 1046.5}, Case{"tone", 22050, "e2", 82.41},
                 Case{"drum", 44100, "k", 300.0}}) {
    SCOPED_TRACE(std::string(c.inst) + " " + c.note);
    lib["tone"]["rate"] = c.rate;
    std::string dots;
    for (int i = 0; i < 31; ++i) dots += " .";
    std::string score = std::string("speed 6\nbpm 125\nchannel a ") + (c.inst == std::string("drum") ? "kit" : c.inst) +
            "\nkit k=drum\npattern P rows 32\na: " + c.note + dots + "\norder P\n";
    Module m = BuildModule(ParseScore(score, "t"), lib);
    std::string bytes = WriteXm(m);

    xmp_context ctx = xmp_create_context();
    ASSERT_EQ(xmp_load_module_from_memory(ctx, bytes.data(), long(bytes.size())), 0);
    ASSERT_EQ(xmp_start_player(ctx, 48000, XMP_FORMAT_MONO), 0);
    std::vector<int16_t> pcm(48000 * 2);  // two seconds
    ASSERT_EQ(xmp_play_buffer(ctx, pcm.data(), int(pcm.size() * 2), 0), 0);
    xmp_end_player(ctx);
    xmp_release_module(ctx);
    xmp_free_context(ctx);
    // Count upward zero crossings over one second, after the attack.
    int ups = 0;
    for (size_t i = 24000; i < 72000; ++i)
      if (pcm[i - 1] < 0 && pcm[i] >= 0) ++ups;
    EXPECT_NEAR(ups, c.hz, c.hz * 0.004 + 1.5);
  }
}
