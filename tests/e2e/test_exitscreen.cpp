// The way out of the game in the scripted runner: the exit prompt's Yes on the main menu
// leads to the sample exit screen of the game folder, whose exit button closes the game once
// its countdown has run out; without the page the game closes at once.
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "SimRun.h"

namespace tk::e2e {
namespace {

namespace fs = std::filesystem;

// The splash, then the exit prompt answered Yes.
const std::string ToExitScreen = "wait 4100\nkey Esc\nticks 1\nclick 330 325\nticks 2\n";

bool Has(const nlohmann::json& list, const std::string& v) {
  for (auto& x : list)
    if (x == v) return true;
  return false;
}

struct TSamplePage {
  int Buttons = 0;
  int ExitX = 0, ExitY = 0, ExitWidth = 0, ExitHeight = 0;
  int Seconds = 0;
  int FirstX = 0, FirstY = 0;  // inside the first button
  std::string FirstTarget;     // as the shell is handed it
};

// The sample page's exit button and countdown, read from its description.
TSamplePage ReadSamplePage() {
  std::ifstream in(fs::path(TK_GAME_DIR) / "wdata" / "config.ini");
  std::vector<std::string> lines;
  for (std::string l; std::getline(in, l);) {
    if (!l.empty() && l.back() == '\r') l.pop_back();
    lines.push_back(l.substr(l.find_first_not_of(' ') == std::string::npos
                                 ? l.size()
                                 : l.find_first_not_of(' ')));
  }
  TSamplePage p;
  if (lines.empty()) return p;
  p.Buttons = std::stoi(lines[0]);
  const size_t exit = 2 + 5 * static_cast<size_t>(p.Buttons - 1);
  if (lines.size() < exit + 9) return p;
  std::istringstream(lines[exit + 1]) >> p.ExitX >> p.ExitY >> p.ExitWidth >> p.ExitHeight;
  p.Seconds = std::stoi(lines[exit + 7]);
  if (p.Buttons > 1) {
    std::istringstream(lines[3]) >> p.FirstX >> p.FirstY;
    p.FirstX += 2;
    p.FirstY += 2;
    p.FirstTarget = lines[6];
    for (char& c : p.FirstTarget)
      if (c == '\\') c = '/';
  }
  return p;
}

int Changed(const Png& a, const Png& b, int x1, int x2, int y1, int y2) {
  int n = 0;
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) n += a.At(x, y) != b.At(x, y);
  return n;
}

TEST(ExitScreen, TheExitButtonEndsTheGameOnceTheCountdownIsOut) {
  const TSamplePage page = ReadSamplePage();
  ASSERT_GE(page.Buttons, 1) << "no sample exit screen in " << TK_GAME_DIR;
  ASSERT_GE(page.Seconds, 2);
  const std::string exit = std::to_string(page.ExitX + page.ExitWidth / 2) + " " +
                           std::to_string(page.ExitY + page.ExitHeight / 2);
  const auto counting = TempFile("exit-counting.png"), done = TempFile("exit-done.png");
  const int halfway = page.Seconds * 1000 / 2;
  SimResult r = RunSim(ToExitScreen + "move 5 5\nticks 1\nstate\nshot " + counting.string() +
                       "\n"
                       // The other buttons open their targets while the count runs.
                       "click " + std::to_string(page.FirstX) + " " +
                       std::to_string(page.FirstY) + "\nstate\n"
                       "wait " + std::to_string(halfway) + "\nmove " + exit + "\nticks 1\n" +
                       "click " + exit + "\nclose\nticks 1\nstate\n"
                       "wait " + std::to_string(page.Seconds * 1000 - halfway + 100) +
                       "\nmove 5 5\nticks 2\nshot " + done.string() + "\n" +
                       "move " + exit + "\nticks 1\nclick " + exit + "\n"
                       // The game has closed: only the state still prints.
                       "state\nticks 5\nstate\n");
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 5u) << r.Output;

  const auto& entered = r.States[0];
  EXPECT_EQ(entered["scene"], "SceneExitScreen");
  EXPECT_EQ(entered["cursor"], "arrow");
  EXPECT_FALSE(entered["closed"].get<bool>());
  if (page.Buttons > 1) {
    EXPECT_TRUE(Has(r.States[1]["opened"], page.FirstTarget)) << r.States[1]["opened"];
  }
  // Neither the exit button nor the window's close button ends the page while it counts.
  EXPECT_FALSE(r.States[2]["closed"].get<bool>());
  EXPECT_EQ(r.States[2]["scene"], "SceneExitScreen");
  EXPECT_EQ(r.States[2]["opened"].size(), 0u);

  const auto& closed = r.States[3];
  EXPECT_TRUE(closed["closed"].get<bool>());
  EXPECT_EQ(closed["music"], nullptr);
  if (fs::exists(fs::path(TK_GAME_DIR) / "play.url")) {
    EXPECT_TRUE(Has(closed["opened"], "play.url")) << closed["opened"];
  }
  EXPECT_TRUE(r.States[4]["closed"].get<bool>());
  EXPECT_EQ(r.States[4]["t"], closed["t"]);  // the clock stopped with the game

  // The exit button looks different once it can be pressed.
  Png a(counting), b(done);
  ASSERT_TRUE(a.Ok());
  ASSERT_TRUE(b.Ok());
  const int area = page.ExitWidth * page.ExitHeight;
  EXPECT_GT(Changed(a, b, page.ExitX, page.ExitX + page.ExitWidth - 1, page.ExitY,
                    page.ExitY + page.ExitHeight - 1),
            area / 10);
  fs::remove(counting);
  fs::remove(done);
}

TEST(ExitScreen, WithoutThePageTheGameClosesAtOnce) {
  const fs::path dir = TempFile("game-without-page");
  fs::remove_all(dir);
  fs::copy(TK_GAME_DIR, dir, fs::copy_options::recursive);
  fs::remove_all(dir / "wdata");
  SimResult r = RunSim("wait 4100\nstate\nkey Esc\nticks 1\nclick 330 325\nstate\n",
                       "--dir " + dir.string());
  fs::remove_all(dir);
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 2u) << r.Output;
  EXPECT_EQ(r.States[0]["scene"], "SceneMainMenu");  // start-up went on without it
  EXPECT_TRUE(r.States[0]["messages"].empty());
  EXPECT_TRUE(r.States[1]["closed"].get<bool>());
  if (fs::exists(fs::path(TK_GAME_DIR) / "play.url")) {
    EXPECT_TRUE(Has(r.States[1]["opened"], "play.url")) << r.States[1]["opened"];
  }
}

}  // namespace
}  // namespace tk::e2e
