// A frame tick that changes nothing on screen presents nothing, and the window always
// shows what the game drew: played over a soak, with the window now and then losing its
// picture as an expose or a resize would make it. A frame that changed in a band of rows
// sends only that band, and the window still shows the whole new frame. A tick that draws
// exactly what the last one did is not even composed, and the pictures stay the same as
// when every frame is composed, over a soak and over a walk through every screen.
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <vector>

#include "../../tools/sim/Soak.h"
#include "exitscreen/ExitFixture.h"
#include "test_feeding_fixture.h"

namespace tk::feedtest {
namespace {

TEST(FrameSkip, EverySkippedFrameIsTheOneOnScreen) {
  Game g(33, /*recordSounds=*/false);
  auto& rec = g.plat.Record();
  rec.KeepsFrame = true;
  sim::SoakPlayer player(g.plat, g.F(), 33);
  std::mt19937 rng(33);
  int presents = rec.Presents, lost = 0, presentedAfterLoss = 0, bands = 0;
  uint64_t skipped = g.F().DXDraw.SkippedFlips(), checked = 0;
  bool wasLost = false;
  player.AfterTick = [&](uint8_t, uint64_t) {
    const TSurface& back = g.F().Picture();
    const size_t n = static_cast<size_t>(back.Width()) * back.Height();
    const uint64_t nowSkipped = g.F().DXDraw.SkippedFlips();
    if (nowSkipped != skipped || rec.Presents != presents) {
      ++checked;
      // Skipped or presented, the window shows this tick's picture.
      ASSERT_EQ(rec.Front.size(), n);
      ASSERT_EQ(std::memcmp(rec.Front.data(), back.Pixels(), n * 4), 0)
          << "tick " << player.Report().Ticks << ": the window shows a stale frame";
      if (rec.Presents != presents && rec.PresentedEndRow - rec.PresentedFirstRow < back.Height())
        ++bands;
      if (wasLost) {
        EXPECT_GT(rec.Presents, presents) << "a lost picture was not presented again";
        ++presentedAfterLoss;
        wasLost = false;
      }
    }
    skipped = nowSkipped;
    presents = rec.Presents;
    if (rng() % 50 == 0) {  // an expose or a resize
      rec.FrameLost = true;
      wasLost = true;
      ++lost;
    }
  };
  player.Play(4000);
  EXPECT_GT(checked, 3000u);
  // Both kinds happened: idle screens were skipped, changing ones presented.
  EXPECT_GT(g.F().DXDraw.SkippedFlips(), 100u);
  EXPECT_GT(rec.Presents, 500);
  EXPECT_GT(presentedAfterLoss, 10);
  EXPECT_GT(bands, 10);
  // Idle screens were not composed at all.
  EXPECT_GT(g.F().DXDraw.UncomposedFrames(), 100u);
}

// Two games from one seed, played alike, one composing every frame: every tick both
// windows and both back surfaces hold the same pixels, also across lost pictures.
TEST(FrameSkip, AnUncomposedFrameIsTheOneComposingWouldDraw) {
  Game shortcut(41, false), composed(41, false);
  composed.F().DXDraw.AlwaysCompose = true;
  for (Game* g : {&shortcut, &composed}) g->plat.Record().KeepsFrame = true;
  sim::SoakPlayer a(shortcut.plat, shortcut.F(), 41), b(composed.plat, composed.F(), 41);
  std::mt19937 rng(41);
  std::map<uint8_t, uint64_t> uncomposedByScene;
  uint64_t before = 0;
  for (int tick = 0; tick < 6000; ++tick) {
    a.Play(1);
    b.Play(1);
    ASSERT_EQ(shortcut.F().CurrentScene, composed.F().CurrentScene) << "tick " << tick;
    const uint64_t now = shortcut.F().DXDraw.UncomposedFrames();
    if (now != before) uncomposedByScene[shortcut.F().CurrentScene] += now - before;
    before = now;
    const auto& fa = shortcut.plat.Record().Front;
    const auto& fb = composed.plat.Record().Front;
    ASSERT_EQ(fa.size(), fb.size());
    ASSERT_TRUE(fa == fb) << "tick " << tick << " in scene "
                          << SceneName(shortcut.F().CurrentScene) << ": the windows differ";
    const TSurface& pa = shortcut.F().Picture();
    const TSurface& pb = composed.F().Picture();
    ASSERT_EQ(std::memcmp(pa.Pixels(), pb.Pixels(), static_cast<size_t>(pa.Width()) *
                                                        pa.Height() * sizeof(uint32_t)),
              0)
        << "tick " << tick << ": the back surfaces differ";
    if (rng() % 60 == 0) {
      shortcut.plat.Record().FrameLost = true;
      composed.plat.Record().FrameLost = true;
    }
  }
  EXPECT_EQ(composed.F().DXDraw.UncomposedFrames(), 0u);
  // The run met idle menu screens and left them again.
  EXPECT_GT(shortcut.F().DXDraw.UncomposedFrames(), 200u);
  EXPECT_GE(uncomposedByScene.size(), 2u);
}

// Changes that leave every sprite where it was, on an idle screen that is no longer
// composed: a text changed in place to one of the same length, a picture on screen given
// other pixels (its item at the same address, uploaded again as a restored display does),
// its transparent colour or its transparency changed. The next frame is composed and shows
// the change.
TEST(FrameSkip, AChangeNoSpriteMoveShowsIsDrawn) {
  struct Case {
    const char* Name;
    uint8_t Scene;
    std::function<void(TMainForm&)> Change;
    std::function<void(TMainForm&)> Before = {};  // before the screen goes idle
  };
  auto menuBackground = [](TMainForm& f) -> TPictureCollectionItem& { return f.FindImage("menu"); };
  const Case cases[] = {
      {"a high-score name", SceneHighScores,
       [](TMainForm& f) { f.HighScores[0].Name = f.HighScores[0].Name == "WWWW" ? "AAAA" : "WWWW"; }},
      {"new pixels, uploaded again", SceneMainMenu,
       [&](TMainForm& f) {
         TPictureCollectionItem& it = menuBackground(f);
         const size_t n = static_cast<size_t>(it.Picture.Width) * it.Picture.Height;
         it.Picture.Pixels.assign(n, 0x0A0B0Cu);
         it.Upload();
       }},
      // The table's screen is filled black first: what turns transparent shows black.
      {"the transparent colour", SceneHighScores,
       [&](TMainForm& f) {
         TPictureCollectionItem& it = menuBackground(f);
         it.Transparent = true;
         it.SetTransparentColor(PixelToColor(it.Pixels()[0]));
       }},
      {"transparency", SceneHighScores,
       [&](TMainForm& f) { menuBackground(f).Transparent = true; },
       [&](TMainForm& f) {
         TPictureCollectionItem& it = menuBackground(f);
         it.Transparent = false;
         it.SetTransparentColor(PixelToColor(it.Pixels()[0]));
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Game g(5, false);
    g.plat.Record().KeepsFrame = true;
    if (c.Before) c.Before(g.F());
    g.F().SwitchScene(c.Scene);
    g.Frames(5);
    const uint64_t idle = g.F().DXDraw.UncomposedFrames();
    g.Frames(3);
    ASSERT_GT(g.F().DXDraw.UncomposedFrames(), idle) << "the idle screen was composed";
    const std::vector<uint32_t> before = g.plat.Record().Front;
    c.Change(g.F());
    g.Frames(1);
    EXPECT_NE(g.plat.Record().Front, before);
    const TSurface& p = g.F().Picture();
    EXPECT_EQ(std::memcmp(g.plat.Record().Front.data(), p.Pixels(),
                          static_cast<size_t>(p.Width()) * p.Height() * sizeof(uint32_t)),
              0);
  }
}

// A game whose folder also holds the exit screen's page (the sample page of the exit
// screen's tests, its pictures flat colours), drawn with the real letters.
class PagedGame : public testing::HeadlessGame {
 public:
  explicit PagedGame(uint32_t seed) {
    WriteGameFolder(dir);
    const testing::TPage page = testing::SamplePage();
    dir.Write("wdata/config.ini", page.Text());
    dir.Write("wdata/back.bmp", testing::FlatBmp(800, 600, 0x203040));
    for (const auto& [name, colour] : testing::PageColours())
      if (name != "wdata\\back.bmp") dir.Write(testing::Slashed(name), testing::FlatDib(40, 20, colour));
    for (const testing::TPageButton& b : page.Buttons)
      if (!b.Target.empty()) dir.Write(testing::Slashed(b.Target), "[InternetShortcut]\r\n");
    plat.Record().KeepsFrame = true;
    TMainFormOptions o;
    o.Seed = seed;
    o.RecordSounds = false;
    o.ScoreServer = "http://127.0.0.1:9";
    form = CreateGame(plat.Get(), o);
    form->FormCreate();
    form->Show();
  }
  void Type(const std::string& utf8) {
    for (char c : Utf8ToCp1251(utf8)) form->OnChar(static_cast<uint8_t>(c));
  }
};

// The same walk through the screens in two games, one composing every frame: after every
// tick both windows and both back surfaces hold the same pixels. The walk types into the
// options' country field and the name entry (the caret blinking), turns the help pages,
// changes a high-score name in place, pauses the pond and shows its level title and exit
// prompt, and waits out the exit screen's countdown; now and then the window loses its
// picture. Idle stretches of the menus are not composed at all.
TEST(FrameSkip, AWalkThroughTheScreensLooksTheSameComposedOrNot) {
  PagedGame shortcut(19), composed(19);
  composed.F().DXDraw.AlwaysCompose = true;
  PagedGame* games[] = {&shortcut, &composed};
  std::mt19937 rng(19);
  std::map<uint8_t, uint64_t> uncomposedByScene;
  uint64_t before = 0;
  int tick = 0;
  std::string step;
  auto frames = [&](int n) {
    for (int i = 0; i < n; ++i, ++tick) {
      for (PagedGame* g : games) g->Frames(1);
      ASSERT_EQ(shortcut.F().CurrentScene, composed.F().CurrentScene) << step;
      const uint64_t now = shortcut.F().DXDraw.UncomposedFrames();
      if (now != before) uncomposedByScene[shortcut.F().CurrentScene] += now - before;
      before = now;
      ASSERT_TRUE(shortcut.plat.Record().Front == composed.plat.Record().Front)
          << step << ", tick " << tick << ": the windows differ";
      const TSurface& pa = shortcut.F().Picture();
      const TSurface& pb = composed.F().Picture();
      ASSERT_EQ(std::memcmp(pa.Pixels(), pb.Pixels(),
                            static_cast<size_t>(pa.Width()) * pa.Height() * sizeof(uint32_t)),
                0)
          << step << ", tick " << tick << ": the back surfaces differ";
      if (rng() % 97 == 0)
        for (PagedGame* g : games) g->plat.Record().FrameLost = true;
    }
  };
  auto both = [&](const std::string& what, const std::function<void(PagedGame&)>& act, int n) {
    step = what;
    for (PagedGame* g : games) act(*g);
    frames(n);
  };

  both("the logo", [](PagedGame&) {}, 150);
  ASSERT_EQ(shortcut.F().CurrentScene, SceneMainMenu);
  both("hovering the main menu", [](PagedGame& g) { g.Move(540, 180); }, 20);
  both("off the items", [](PagedGame& g) { g.Move(50, 100); }, 20);
  both("the options", [](PagedGame& g) { g.Click(540, 260); }, 20);
  both("the country field", [](PagedGame& g) { g.Click(500, 420); }, 40);
  for (const char* c : {"Р", "о", "с", "с", "и", "я"})
    both(std::string("typing the country: ") + c, [c](PagedGame& g) { g.Type(c); }, 7);
  both("a backspace in the country", [](PagedGame& g) { g.Key(platform::vk::Backspace); }, 35);
  both("back from the options", [](PagedGame& g) { g.Click(440, 540); }, 20);
  both("help", [](PagedGame& g) { g.Click(540, 410); }, 20);
  for (int page = 0; page < 4; ++page)
    both("the next help page", [](PagedGame& g) { g.Click(660, 520); }, 15);
  both("the page before", [](PagedGame& g) { g.Click(660, 565); }, 15);
  both("back from help", [](PagedGame& g) { g.Key(platform::vk::Esc); }, 20);
  both("the high scores", [](PagedGame& g) { g.Click(540, 330); }, 20);
  both("a name changed in place",
       [](PagedGame& g) { g.F().HighScores[0].Name = g.F().HighScores[0].Name == "WWWW" ? "AAAA" : "WWWW"; },
       10);
  both("back from the high scores", [](PagedGame& g) { g.Key(platform::vk::Esc); }, 20);
  both("a new game: the level title", [](PagedGame& g) { g.Key(platform::vk::Enter); }, 30);
  both("play", [](PagedGame& g) { g.Key(platform::vk::Space); }, 30);
  both("pause", [](PagedGame& g) { g.Key('P'); }, 30);
  both("pause over", [](PagedGame& g) { g.Key('P'); }, 10);
  both("the exit prompt", [](PagedGame& g) { g.Key(platform::vk::Esc); }, 20);
  both("game over with a score for the table",
       [](PagedGame& g) {
         g.F().Score = 100000;
         g.F().Lives = 0;
         g.F().SwitchScene(SceneGameOver);
       },
       200);
  for (const char* c : {"К", "о", "т"})
    both(std::string("typing the name: ") + c, [c](PagedGame& g) { g.Type(c); }, 9);
  both("a backspace in the name", [](PagedGame& g) { g.Key(platform::vk::Backspace); }, 35);
  both("the exit screen", [](PagedGame& g) { g.F().SwitchScene(SceneExitScreen); }, 40);
  both("hovering a button of the page", [](PagedGame& g) { g.Move(200, 125); }, 40);
  both("the countdown running out", [](PagedGame& g) { g.Move(10, 10); }, 150);

  EXPECT_EQ(composed.F().DXDraw.UncomposedFrames(), 0u);
  // The menus' idle stretches were left uncomposed: the main menu, the options with their
  // blinking caret, help, the high scores.
  for (uint8_t scene : {SceneMainMenu, SceneOptions, SceneHelp, SceneHighScores})
    EXPECT_GT(uncomposedByScene[scene], 5u) << SceneName(scene);
}

}  // namespace
}  // namespace tk::feedtest
