// tinokvak-sim --record and --replay: a scripted run replays to the same state at every
// point it looked, and files that must not replay are refused with exit status 2.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "SimRun.h"
#include "replay/ReplayFile.h"

namespace tk::e2e {
namespace {

namespace fs = std::filesystem;

// A game with something of everything a journal holds: held keys, taps, the pointer, a
// pause, the focus lost and regained, the exit prompt opened and answered No, a
// maximised window and typed characters that nothing reads.
const char* RichGame = R"(wait 4200
move 120 40
key Enter
state
ticks 120
state
key Left
ticks 4
key Space
ticks 40
state
down Up
ticks 6
up Up
key ctrl+Space
ticks 50
state
key P
ticks 15
state
key P
focus off
ticks 10
focus on
type ёж
key Esc
ticks 5
state
click 465 325
ticks 30
maximize
ticks 3
state
down Right
ticks 8
up Right
key Enter
ticks 300
state
)";

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

SimResult Replay(const fs::path& file, const std::string& extra = "") {
  return RunSimArgs("--replay " + file.string() + " " + extra);
}

class Replays : public ::testing::Test {
 protected:
  void SetUp() override {
    file = TempFile("rich.tkr");
    recorded = RunSim(RichGame, "--seed 11 --record " + file.string());
    ASSERT_EQ(recorded.Status, 0) << recorded.Output;
    ASSERT_EQ(recorded.States.size(), 8u);
  }
  void TearDown() override { fs::remove(file); }
  fs::path file;
  SimResult recorded;
};

TEST_F(Replays, AScriptedRunReplaysToTheSameStateWhereverItLooked) {
  const SimResult played = Replay(file);
  ASSERT_EQ(played.Status, 0) << played.Output;
  // One line at each point the run printed one, then the final line.
  ASSERT_EQ(played.States.size(), recorded.States.size() + 1);
  for (size_t i = 0; i < recorded.States.size(); ++i)
    EXPECT_EQ(played.States[i], recorded.States[i]) << "state line " << i + 1;
  // The run went somewhere: the frog turned, the game paused, the window went full screen.
  EXPECT_NE(recorded.States[1]["frogFacing"], recorded.States[7]["frogFacing"]);
  EXPECT_EQ(recorded.States[4]["paused"], true);
  EXPECT_EQ(recorded.States[6]["fullScreen"], true);
  const SimResult checked = Replay(file, "--check");
  EXPECT_EQ(checked.Status, 0) << checked.Output;
  EXPECT_EQ(checked.States.back()["score"], played.States.back()["score"]);
  EXPECT_EQ(checked.States.back()["t"], played.States.back()["t"]);
}

TEST_F(Replays, ACheckThatEndsDifferentlySaysWhatDiffered) {
  replay::TReplay r = replay::ReadReplay(Slurp(file));
  r.Trailer.Score += 50;
  r.Trailer.Lives = 7;
  std::ofstream(file, std::ios::binary | std::ios::trunc) << replay::WriteReplay(r);
  const SimResult checked = Replay(file, "--check");
  EXPECT_EQ(checked.Status, 1);
  EXPECT_NE(checked.Output.find("score " + std::to_string(r.Trailer.Score - 50) + " (recorded " +
                                std::to_string(r.Trailer.Score) + ")"),
            std::string::npos)
      << checked.Output;
  EXPECT_NE(checked.Output.find("lives 3 (recorded 7)"), std::string::npos) << checked.Output;
}

TEST_F(Replays, FilesThatCannotReplayHereAreRefusedWithExitStatusTwo) {
  const std::string good = Slurp(file);
  replay::TReplay otherData = replay::ReadReplay(good);
  otherData.DataHash ^= 1;
  std::string otherVersion = good;
  otherVersion[8] = 9;
  const struct {
    const char* what;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"another format version", otherVersion, "replay format version 9; this game reads versions 1 to 2"},
      {"other game data", replay::WriteReplay(otherData), "recorded with other game data"},
      {"a truncated file", good.substr(0, good.size() / 2), "damaged replay"},
      {"a changed byte", good.substr(0, 40) + "\x01" + good.substr(41), "damaged replay"},
      {"not a replay", "hello", "not a replay file"},
  };
  for (const auto& c : cases) {
    const fs::path bad = TempFile("bad.tkr");
    std::ofstream(bad, std::ios::binary) << c.bytes;
    for (const char* mode : {"", "--check"}) {
      const SimResult r = Replay(bad, mode);
      EXPECT_EQ(r.Status, 2) << c.what << " " << mode << ": " << r.Output;
      EXPECT_NE(r.Output.find(c.message), std::string::npos) << c.what << ": " << r.Output;
      EXPECT_TRUE(r.States.empty()) << c.what;
    }
    fs::remove(bad);
  }
}

}  // namespace
}  // namespace tk::e2e
