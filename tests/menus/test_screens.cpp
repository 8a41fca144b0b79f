// The menu screens: what their builders and frames show, and what their buttons do.
#include "MenuFixture.h"

namespace tk::testing {
namespace {

using platform::Cursor;
namespace vk = platform::vk;

// ---- The logo

TEST(Logo, GivesWayToTheMainMenuAfterFourSeconds) {
  MenuGame g;
  EXPECT_EQ(g.F().CurrentScene, SceneLogo);
  EXPECT_EQ(g.Count("TImageSprite"), 1);
  EXPECT_EQ(g.F().CurrentTrack(), "1");
  g.Run(3990);
  EXPECT_EQ(g.F().CurrentScene, SceneLogo);
  g.Run(20);
  EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
}

// ---- Main menu

TEST(MainMenu, ButtonsLeadToTheirScreensAndBack) {
  const struct {
    int X, Y;
    uint8_t Scene;
  } cases[] = {{500, 180, ScenePond},
               {500, 260, SceneOptions},
               {500, 330, SceneHighScores},
               {500, 410, SceneHelp}};
  for (auto& c : cases) {
    MenuGame g;
    g.Go(SceneMainMenu);
    g.F().Level = 7;
    g.F().Score = 99;
    g.F().Lives = 1;
    g.Menus().HelpPage = 4;
    g.Sounds();
    g.Click(c.X, c.Y);
    EXPECT_EQ(g.F().CurrentScene, c.Scene);
    EXPECT_EQ(g.Heard(), std::vector<std::string>{"button_down"});
    // Leaving the menu starts every game afresh.
    EXPECT_EQ(g.F().Level, 1);
    EXPECT_EQ(g.F().Score, 0);
    EXPECT_EQ(g.F().Lives, 3);
    if (c.Scene != ScenePond) {
      g.Frames(1);
      g.Key(vk::Esc);
      EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
      EXPECT_EQ(g.Menus().HelpPage, 1);
    }
  }
}

TEST(MainMenu, LinksOpenOnlyWhenTheirFilesExist) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.Sounds();
  g.Click(500, 470);  // Visit Web Site, no "moregames.url"
  g.Click(100, 560);  // publisher, no "website.url"
  EXPECT_TRUE(g.plat.Record().Opened.empty());
  EXPECT_EQ(CountOf(g.Sounds(), "button_down"), 2);
  g.dir.Write("moregames.url", "[InternetShortcut]\n");
  g.dir.Write("website.url", "[InternetShortcut]\n");
  g.Click(500, 470);
  g.Click(100, 560);
  ASSERT_EQ(g.plat.Record().Opened.size(), 2u);
  EXPECT_EQ(std::filesystem::path(g.plat.Record().Opened[0]).filename(), "moregames.url");
  EXPECT_EQ(std::filesystem::path(g.plat.Record().Opened[1]).filename(), "website.url");
}

TEST(MainMenu, MusicRestartsOnlyWhenAPlaySceneWasLeft) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.F().StopMusic();
  g.Go(SceneOptions);
  g.Go(SceneMainMenu);
  EXPECT_EQ(g.F().CurrentTrack(), "");
  g.Go(ScenePond);
  g.Go(SceneMainMenu);
  EXPECT_EQ(g.F().CurrentTrack(), "1");
  EXPECT_FALSE(g.F().MusicRestartPending);
}

// ---- Help

TEST(Help, PagesTurnBetweenOneAndFiveAndStopAtBothEnds) {
  MenuGame g;
  g.Menus().HelpPage = 3;
  g.Go(SceneMainMenu);
  g.Click(500, 410);
  ASSERT_EQ(g.F().CurrentScene, SceneHelp);
  EXPECT_EQ(g.Menus().HelpPage, 1) << "the menu always opens page 1";
  g.Sounds();
  g.Click(650, 560);  // previous on page 1
  EXPECT_EQ(g.Menus().HelpPage, 1);
  EXPECT_TRUE(g.Heard().empty());
  for (int page = 2; page <= 5; ++page) {
    g.Click(650, 520);
    EXPECT_EQ(g.Menus().HelpPage, page);
    EXPECT_EQ(g.Heard(), std::vector<std::string>{"button_down"});
  }
  g.Click(650, 520);  // next on page 5
  EXPECT_EQ(g.Menus().HelpPage, 5);
  EXPECT_TRUE(g.Heard().empty());
  g.Click(650, 560);
  EXPECT_EQ(g.Menus().HelpPage, 4);
  g.Click(440, 540);
  EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
}

TEST(Help, EachPageShowsItsSamplesAndLines) {
  const struct {
    uint8_t Page;
    int Samples;
    size_t Lines;
    const char* Title;
  } pages[] = {{1, 0, 11, "ОПИСАНИЕ ИГРЫ"}, {2, 0, 14, "УПРАВЛЕНИЕ"}, {3, 6, 11, "ПРОТИВНИКИ"},
               {4, 5, 11, "ЕДА"},           {5, 1, 4, "ОБ ИГРЕ"}};
  const char* samples[] = {"kuvshinka_simple_1", "kuvshinka_hunter", "kuvshinka_pruginka",
                           "kuvshinka_liapuchka", "1kroko", "1aist", "mushka", "muha",
                           "komar", "vodomerka", "pchel", "logo"};
  for (auto& p : pages) {
    MenuGame g;
    g.Menus().HelpPage = p.Page;
    g.Go(SceneHelp);
    const auto texts = g.FrameTexts();
    ASSERT_EQ(texts.size(), p.Lines) << "page " << int(p.Page);
    EXPECT_EQ(texts[0].Text, Cp(p.Title));
    EXPECT_EQ(texts[0].Size, 14);
    for (auto& t : texts) EXPECT_EQ(t.Color, 0xFFFF00u);
    int shown = 0;
    for (const char* s : samples) {
      const auto& img = g.F().FindImage(s);
      for (int i = 0; i < g.F().Engine().ChildCount(); ++i) {
        auto* sp = dynamic_cast<TImageSprite*>(g.F().Engine().Children(i));
        shown += sp && sp->Image == &img;
      }
    }
    EXPECT_EQ(shown, p.Samples) << "page " << int(p.Page);
  }
}

TEST(Help, TextsKeepTheGamesOwnWording) {
  MenuGame g;
  g.Go(SceneHelp);
  auto texts = g.FrameTexts();
  EXPECT_EQ(texts[9].Text, Cp("захватывающей игреб которая подарит вам много"));
  EXPECT_EQ(texts[9].Y, 430);
  g.Menus().HelpPage = 2;
  g.Go(SceneHelp);
  texts = g.FrameTexts();
  EXPECT_EQ(texts[3].Text, Cp("и вниз. Нажми \"Enter\" или любую клавишу мыши, чтобы"));
  EXPECT_EQ(texts[1].Size, 10);
  g.Menus().HelpPage = 3;
  g.Go(SceneHelp);
  texts = g.FrameTexts();
  EXPECT_EQ(texts[2].Text, Cp("Водяная лиля,"));
  EXPECT_EQ(texts[2].X, 380);
  EXPECT_EQ(texts[2].Y, 355);
}

TEST(Help, AboutPageNamesTheYearPublisherAndServer) {
  MenuGame g;
  g.Menus().HelpPage = 5;
  g.Go(SceneHelp);
  const auto texts = g.FrameTexts();
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[1].Text, Cp("Тиноквак"));
  EXPECT_NE(texts[2].Text.find("2026"), std::string::npos);
  EXPECT_NE(texts[2].Text.find(Cp("Квакша")), std::string::npos);
  EXPECT_EQ(texts[3].Text, "http://scores.test:8642");
  EXPECT_EQ(texts[3].X, 375);
  EXPECT_EQ(texts[3].Y, 310);
}

// ---- Options

TEST(Options, MusicTurnsOnWithItsTrackAndOnlyOnce) {
  MenuGame g;
  g.Go(SceneOptions);
  g.Typing().Edit1 = "x";
  g.Click(400, 300);  // music off
  EXPECT_FALSE(g.F().GameMusic);
  EXPECT_EQ(g.F().CurrentTrack(), "");
  g.Sounds();
  g.Click(300, 290);
  EXPECT_TRUE(g.F().GameMusic);
  EXPECT_EQ(g.Heard(), std::vector<std::string>{"button_down"});
  EXPECT_EQ(g.F().CurrentTrack(), "1");
  g.Click(300, 290);  // the chosen half again
  EXPECT_TRUE(g.F().GameMusic);
  EXPECT_TRUE(g.Heard().empty());
}

TEST(Options, ThePointersMusicRowIsTallerThanTheClicks) {
  MenuGame g;
  g.Go(SceneOptions);
  g.F().GameMusic = false;
  g.Move(300, 279);
  EXPECT_EQ(g.Pointer(), Cursor::Hand);
  g.Click(300, 279);
  EXPECT_FALSE(g.F().GameMusic);
  g.Click(300, 280);
  EXPECT_TRUE(g.F().GameMusic);
}

TEST(Options, SoundOffIsNotHeardAndSoundOnIs) {
  MenuGame g;
  g.Go(SceneOptions);
  g.Sounds();
  g.Click(400, 350);
  EXPECT_FALSE(g.F().GameSound);
  EXPECT_TRUE(g.Heard().empty());
  g.Click(300, 350);
  EXPECT_TRUE(g.F().GameSound);
  EXPECT_EQ(g.Heard(), std::vector<std::string>{"button_down"});
}

TEST(Options, DisplayHalvesSwitchTheModeOnce) {
  MenuGame g;
  g.Go(SceneOptions);
  g.Click(600, 230);
  EXPECT_TRUE(g.F().GameFullScreen);
  EXPECT_TRUE(g.plat.Record().FullScreen);
  g.Click(600, 230);
  EXPECT_TRUE(g.F().GameFullScreen);
  g.Click(300, 230);
  EXPECT_FALSE(g.F().GameFullScreen);
  EXPECT_FALSE(g.plat.Record().FullScreen);
}

TEST(Options, IndicatorsAppearFromTheSecondFrameOnePerPair) {
  MenuGame g;
  g.Go(SceneMainMenu);
  g.F().SwitchScene(SceneOptions);
  g.Frames(1);
  // (260, 210): inside the window mark, above the display row's picture.
  EXPECT_NE(g.Shown(260, 210), ColourOf("Options_window_mode"));
  EXPECT_EQ(g.Count("Options_window_mode"), 1) << "made by the first frame for the next";
  g.Frames(1);
  EXPECT_EQ(g.Shown(260, 210), ColourOf("Options_window_mode"));
  for (const char* mark : {"Options_window_mode", "Options_sound_on", "Options_music_on"})
    EXPECT_EQ(g.Count(mark), 1) << mark;
  for (const char* mark : {"Options_full_screen", "Options_sound_off", "Options_music_off"})
    EXPECT_EQ(g.Count(mark), 0) << mark;
  // A change shows one frame later.
  g.Click(400, 350);
  g.Frames(1);
  EXPECT_EQ(g.Count("Options_sound_off"), 1);
  EXPECT_EQ(g.Count("Options_sound_on"), 0);
  EXPECT_EQ(g.Shown(300, 330), ColourOf("Options_sound_on"));
  EXPECT_NE(g.Shown(400, 330), ColourOf("Options_sound_off"));
  g.Frames(1);
  EXPECT_NE(g.Shown(300, 330), ColourOf("Options_sound_on"));
  EXPECT_EQ(g.Shown(400, 330), ColourOf("Options_sound_off"));
}

TEST(Options, AnEmptyCountryTakesTheTypingAtOnce) {
  MenuGame g;
  g.Go(SceneOptions);
  EXPECT_TRUE(g.F().GamegoEdit);
  EXPECT_GT(g.Count("Palka"), 0) << "the caret shows in the first frame";
  g.F().OnChar(static_cast<uint8_t>(Cp("Р")[0]));
  g.F().OnChar('u');
  g.Frames(1);
  EXPECT_EQ(g.Typing().PlayerCountry, Cp("Рu"));
  // Clicks elsewhere now end the typing; a click on the field starts it again.
  g.Click(100, 100);
  EXPECT_FALSE(g.F().GamegoEdit);
  g.Click(500, 420);
  EXPECT_TRUE(g.F().GamegoEdit);
}

TEST(Options, TypingFollowsTheFieldRules) {
  MenuGame g;
  g.Go(SceneOptions);
  ASSERT_TRUE(g.F().GamegoEdit);
  for (char c : Cp("Рос сия!ёЁ-1234567")) g.F().OnChar(static_cast<uint8_t>(c));
  EXPECT_EQ(g.Typing().Edit1, Cp("Россия1234"));  // blanks, punctuation and ё dropped; ten at most
  g.Key(vk::Backspace);
  EXPECT_EQ(g.Typing().Edit1, Cp("Россия123"));
  g.Typing().NameTextWidth = 339;  // the field is full by width
  g.F().OnChar('A');
  EXPECT_EQ(g.Typing().Edit1, Cp("Россия123"));
  g.F().GamegoEdit = false;
  g.Key(vk::Backspace);
  EXPECT_EQ(g.Typing().Edit1, Cp("Россия123"));
}

TEST(Options, AFilledCountryWaitsForAClickOnTheField) {
  MenuGame g;
  g.Typing().Edit1 = Cp("Россия");
  g.Go(SceneOptions);
  EXPECT_FALSE(g.F().GamegoEdit);
  g.Frames(20);
  EXPECT_EQ(g.Count("Palka"), 0);
  g.F().OnChar('x');
  EXPECT_EQ(g.Typing().Edit1, Cp("Россия"));
  g.Click(500, 420);
  EXPECT_TRUE(g.F().GamegoEdit);
  g.Typing().CaretBlink = 30;
  g.Frames(1);
  EXPECT_GT(g.Count("Palka"), 0);
}

// The blink runs in every scene; the current scene's Caret entry hears each tick's phase.
TEST(Caret, TheCurrentScenesCaretShowsFourteenTicksAndHidesSixteen) {
  MenuGame g;
  g.Go(SceneHelp);
  std::string seen;
  g.F().Scenes[SceneHelp].Caret = [&](bool shown) { seen += shown ? '+' : '-'; };
  g.Typing().CaretBlink = 30;
  for (int i = 0; i < 31; ++i) g.F().FrameTick();
  EXPECT_EQ(seen, std::string(14, '+') + std::string(16, '-') + "+");  // then the next cycle
  g.F().Scenes[SceneHelp].Caret = nullptr;  // a scene without a caret: the blink goes on unseen
  for (int i = 0; i < 5; ++i) g.F().FrameTick();
  EXPECT_EQ(seen.size(), 31u);
  EXPECT_EQ(g.Typing().CaretBlink, 24);
}

TEST(Options, TheCaretStandsRightOfTheCountryText) {
  MenuGame g;
  g.Typing().Edit1 = "Abc";
  g.Go(SceneOptions);
  g.Click(500, 420);
  g.Typing().CaretBlink = 30;
  g.Frames(2);
  const int width = g.F().TextWidth("Abc", 20);
  EXPECT_EQ(g.Typing().NameTextWidth, width);
  int carets = 0;
  for (int i = 0; i < g.F().Engine().ChildCount(); ++i) {
    TSprite* s = g.F().Engine().Children(i);
    if (std::string_view(s->ClassName()) != "Palka" || s->Killed()) continue;
    ++carets;
    EXPECT_EQ(s->X, 400 + width);
    EXPECT_EQ(s->Y, 440);
    EXPECT_EQ(s->Z(), 800);
    EXPECT_TRUE(static_cast<TImageSprite*>(s)->PixelHit);
  }
  EXPECT_GT(carets, 0);
  const auto texts = g.FrameTexts();
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].X, 400);
  EXPECT_EQ(texts[0].Y, 403);
  EXPECT_EQ(texts[0].Size, 20);
}

TEST(Options, TheCaretSitsUnderTheCentredNameAtGameOver) {
  MenuGame g;
  g.Go(SceneGameOver);
  g.Typing().NameTextWidth = 51;
  g.F().GamegoEdit = true;
  g.Typing().CaretBlink = 30;
  g.Frames(1);
  bool seen = false;
  for (int i = 0; i < g.F().Engine().ChildCount(); ++i) {
    TSprite* s = g.F().Engine().Children(i);
    if (std::string_view(s->ClassName()) != "Palka") continue;
    seen = true;
    EXPECT_DOUBLE_EQ(s->X, 425.5);
    EXPECT_EQ(s->Y, 343);
  }
  EXPECT_TRUE(seen);
}

// ---- High scores

void FillTable(TMainForm& f) {
  for (int k = 0; k < 10; ++k) {
    f.HighScores[k].Name = "P" + std::to_string(k + 1);
    f.HighScores[k].Score = 1000 - 100 * k;
  }
  f.HighScores[9].Score = 0;
}

TEST(HighScores, TenNamesAndScoresInDecimalDownTheTable) {
  MenuGame g;
  g.Go(SceneHighScores);
  FillTable(g.F());
  g.F().HighScores[0].Score = 12345678;
  const auto texts = g.FrameTexts();
  ASSERT_EQ(texts.size(), 20u);
  for (int k = 0; k < 10; ++k) {
    const TextCall& name = texts[2 * k];
    const TextCall& score = texts[2 * k + 1];
    EXPECT_EQ(name.X, 370);
    EXPECT_EQ(name.Y, 217 + 37 * k);
    EXPECT_EQ(name.Text, "P" + std::to_string(k + 1));
    EXPECT_EQ(score.X, 620);
    EXPECT_EQ(score.Y, 217 + 37 * k);
    EXPECT_EQ(score.Size, 16);
    EXPECT_EQ(score.Color, 0xFFFF00u);
  }
  EXPECT_EQ(texts[1].Text, "12345678");
  EXPECT_EQ(texts[3].Text, "900");
  EXPECT_EQ(texts[19].Text, "0");
}

TEST(HighScores, PlacesAreCentredOnTheirColumn) {
  MenuGame g;
  g.Go(SceneHighScores);
  int found = 0;
  for (int i = 0; i < g.F().Engine().ChildCount(); ++i) {
    auto* s = dynamic_cast<TImageSprite*>(g.F().Engine().Children(i));
    if (!s || !s->Image) continue;
    if (s->Image->Name() == "HighScore_1") {
      EXPECT_DOUBLE_EQ(s->X, 265.5);  // 19 pixels wide
      EXPECT_EQ(s->Y, 221);
      ++found;
    } else if (s->Image->Name() == "HighScore_10") {
      EXPECT_DOUBLE_EQ(s->X, 255);
      EXPECT_EQ(s->Y, 553);
      ++found;
    } else if (s->Image->Name() == "HighScore_Table_row") {
      EXPECT_EQ(s->X, 205);
      EXPECT_EQ((static_cast<int>(s->Y) - 180) % 37, 0);
      ++found;
    }
  }
  EXPECT_EQ(found, 2 + 11);
}

TEST(HighScores, TheClearDialogHidesTheTableText) {
  MenuGame g;
  g.Go(SceneHighScores);
  g.Click(100, 240);
  EXPECT_TRUE(g.F().GameClearHighScore);
  EXPECT_EQ(g.Count("TClearHighScore"), 1);
  EXPECT_EQ(g.Count("TClearHighScore_Word"), 1);
  EXPECT_TRUE(g.FrameTexts().empty());
  // While it is open the screen's own buttons are dead.
  g.Click(100, 460);
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
  g.Click(460, 325);  // No
  EXPECT_FALSE(g.F().GameClearHighScore);
  g.Frames(1);
  EXPECT_EQ(g.Count("TClearHighScore"), 0);
  EXPECT_EQ(g.FrameTexts().size(), 20u);
}

TEST(HighScores, EscWithTheClearDialogOpenStaysOnARebuiltScreen) {
  MenuGame g;
  g.Go(SceneHighScores);
  g.Click(100, 240);
  g.Key(vk::Esc);
  EXPECT_EQ(g.F().CurrentScene, SceneHighScores);
  EXPECT_FALSE(g.F().GameClearHighScore);
  g.Frames(1);
  EXPECT_EQ(g.Count("TClearHighScore"), 0);
  EXPECT_EQ(g.Count("TClearHighScore_Word"), 0);
  g.Key(vk::Esc);
  EXPECT_EQ(g.F().CurrentScene, SceneMainMenu);
}

TEST(HighScores, ViewOpensTheOnlineTableOnTheConfiguredServer) {
  MenuGame g;
  g.Go(SceneHighScores);
  g.Sounds();
  g.Click(100, 350);
  ASSERT_EQ(g.plat.Record().Opened.size(), 1u);
  EXPECT_EQ(g.plat.Record().Opened[0],
            "http://scores.test:8642/cgi/version.pl?prg=Pondlark&type=0&show");
  EXPECT_EQ(g.Heard(), std::vector<std::string>{"button_down"});
}

}  // namespace
}  // namespace tk::testing
