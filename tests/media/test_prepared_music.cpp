// Tunes prepared for the builds without a module player: where a frame of a later round
// lies in the first, which order holds after so many frames, a file that survives being
// written and read back, and damaged files refused with words instead of read past.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "media/PreparedMusic.h"

using namespace tk;

namespace {

// A round of 100 frames; later rounds go on from frame 40, their first 3 frames the seam.
TPreparedTune SampleTune() {
  TPreparedTune t;
  t.Name = "1.xm";
  t.Key = 0x0123456789abcdefull;
  t.ModuleSize = 204757;
  t.Length = 100;
  t.LoopTo = 40;
  t.Seam = {1, -1, 2, -2, 3, -3};
  t.Marks = {{0, 0, 0}, {20, 0, 1}, {40, 1, 0}, {70, 2, 0}};
  t.Vorbis = std::string("OggS\0 not really", 16);
  return t;
}

TEST(PreparedMusic, LaterRoundsFollowTheFirstFromWhereTheyGoOn) {
  const TPreparedTune t = SampleTune();
  struct Case {
    uint64_t at;
    uint32_t first;
    bool seam;
    uint32_t seamAt;
  };
  for (const Case& c : std::vector<Case>{{0, 0, false, 0},
                                         {99, 99, false, 0},
                                         {100, 40, true, 0},  // the second round's first frame
                                         {102, 42, true, 2},
                                         {103, 43, false, 0},
                                         {159, 99, false, 0},
                                         {160, 40, true, 0},  // and the third's
                                         {100 + 60 * 1000 + 1, 41, true, 1}}) {
    bool inSeam = false;
    uint32_t seamAt = 0;
    EXPECT_EQ(t.InFirstRound(c.at, &inSeam, &seamAt), c.first) << c.at;
    EXPECT_EQ(inSeam, c.seam) << c.at;
    if (c.seam) {
      EXPECT_EQ(seamAt, c.seamAt) << c.at;
    }
  }
}

TEST(PreparedMusic, TheOrderIsTheLastFramePlayedsAndComesRound) {
  const TPreparedTune t = SampleTune();
  struct Case {
    uint64_t played;
    int order;
  };
  for (const Case& c : std::vector<Case>{{0, 0},
                                         {40, 0},   // frame 39 played last
                                         {41, 1},
                                         {70, 1},
                                         {71, 2},
                                         {100, 2},
                                         {101, 1},  // the wrap goes back to frame 40: order 1
                                         {131, 2},
                                         {160, 2},
                                         {161, 1}})
    EXPECT_EQ(t.MarkAfter(c.played).Order, c.order) << c.played;
}

TEST(PreparedMusic, AFileReadsBackAsWritten) {
  TPreparedTune other = SampleTune();
  other.Name = "3.xm";
  other.Seam.clear();
  other.LoopTo = 0;
  const std::string bytes = SerializePreparedMusic({SampleTune(), other});
  const std::vector<TPreparedTune> back = ParsePreparedMusic(bytes);
  ASSERT_EQ(back.size(), 2u);
  const TPreparedTune want = SampleTune();
  EXPECT_EQ(back[0].Name, want.Name);
  EXPECT_EQ(back[0].Key, want.Key);
  EXPECT_EQ(back[0].ModuleSize, want.ModuleSize);
  EXPECT_EQ(back[0].Rate, want.Rate);
  EXPECT_EQ(back[0].Length, want.Length);
  EXPECT_EQ(back[0].LoopTo, want.LoopTo);
  EXPECT_EQ(back[0].Seam, want.Seam);
  ASSERT_EQ(back[0].Marks.size(), want.Marks.size());
  for (size_t i = 0; i < want.Marks.size(); ++i) {
    EXPECT_EQ(back[0].Marks[i].Frame, want.Marks[i].Frame);
    EXPECT_EQ(back[0].Marks[i].Order, want.Marks[i].Order);
    EXPECT_EQ(back[0].Marks[i].Row, want.Marks[i].Row);
  }
  EXPECT_EQ(back[0].Vorbis, want.Vorbis);
  EXPECT_EQ(back[1].Name, "3.xm");
  EXPECT_TRUE(back[1].Seam.empty());
}

TEST(PreparedMusic, DamagedFilesAreRefusedInWords) {
  const std::string good = SerializePreparedMusic({SampleTune()});
  // Cut anywhere, or one byte too many: refused, never read past.
  for (size_t n = 0; n < good.size(); ++n) EXPECT_THROW(ParsePreparedMusic(good.substr(0, n)), std::runtime_error) << n;
  EXPECT_THROW(ParsePreparedMusic(good + "x"), std::runtime_error);
  auto refusal = [](const TPreparedTune& t) {
    try {
      ParsePreparedMusic(SerializePreparedMusic({t}));
    } catch (const std::runtime_error& e) {
      return std::string(e.what());
    }
    return std::string();
  };
  TPreparedTune t = SampleTune();
  t.Marks[2].Frame = 10;
  EXPECT_EQ(refusal(t), "prepared music: 1.xm: positions out of order");
  t = SampleTune();
  t.Marks.clear();
  EXPECT_EQ(refusal(t), "prepared music: 1.xm: no positions");
  t = SampleTune();
  t.LoopTo = 100;
  EXPECT_EQ(refusal(t), "prepared music: 1.xm: the rounds do not fit the first");
  t = SampleTune();
  t.Seam.assign(2 * 61, 0);
  EXPECT_EQ(refusal(t), "prepared music: 1.xm: a seam longer than a round");
  t = SampleTune();
  t.Rate = 0;
  EXPECT_EQ(refusal(t), "prepared music: 1.xm: a sample rate of 0");
  EXPECT_EQ(refusal(SampleTune()), "");
}

}  // namespace
