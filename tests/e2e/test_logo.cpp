// Start-up in the scripted runner: the splash shows, then the main menu takes over.
#include "SimRun.h"

namespace tk::e2e {
namespace {

TEST(Logo, ShowsTheSplashThenTheMainMenuAtFourSeconds) {
  const auto shot = TempFile("logo.png");
  SimResult r = RunSim("state\nwait 3900\nstate\nshot " + shot.string() +
                       "\nwait 100\nstate\n");
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 3u);
  EXPECT_EQ(r.States[0]["scene"], "SceneLogo");
  EXPECT_EQ(r.States[0]["caption"], "Тиноквак");
  EXPECT_EQ(r.States[1]["scene"], "SceneLogo");
  EXPECT_EQ(r.States[2]["scene"], "SceneMainMenu");
  EXPECT_EQ(r.States[0]["music"], "1");
  Png png(shot);
  ASSERT_TRUE(png.Ok());
  EXPECT_EQ(png.Width(), 800);
  // The splash covers the centre: a picture there, not the black start surface.
  int lit = 0;
  for (int y = 250; y < 350; y += 5)
    for (int x = 300; x < 500; x += 5) lit += png.At(x, y) != 0;
  EXPECT_GT(lit, 100);
  std::filesystem::remove(shot);
}

TEST(Sim, RejectsUnknownCommands) {
  SimResult r = RunSim("state\nfrobnicate 3\n");
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Output.find("unknown command"), std::string::npos);
}

}  // namespace
}  // namespace tk::e2e
