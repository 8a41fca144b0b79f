// The two yes/no dialogs: the exit prompt (main menu and play scenes) and the clear dialog
// of the high-score table. Both share the panel and the lit Yes and No.
#include "menus/HitTest.h"
#include "menus/MenuSprites.h"
#include "menus/Screens.h"
#include "persist/Settings.h"
#include "platform/Cp1251.h"

namespace tk::menus {

using platform::Cursor;

namespace {

constexpr THitRect MenuOrchardiaRect = Hit(5, 230, 527, 596);

// On the main menu the publisher's word still lights while the prompt is open.
constexpr THoverTarget MainMenuPromptHover[] = {
    {Hit(312, 360, 313, 337), Spawn<TMainExit_Yes>},
    {Hit(432, 498, 313, 337), Spawn<TMainExit_No>},
    {MenuOrchardiaRect, Spawn<Orchardia>},
};

constexpr THoverTarget PondPromptHover[] = {
    {Hit(312, 360, 312, 337), Spawn<TMainExit_Yes>},
    {Hit(432, 498, 312, 337), Spawn<TMainExit_No>},
};

constexpr THoverTarget FeedingPromptHover[] = {
    {Hit(300, 370, 310, 335), Spawn<TMainExit_Yes>},
    {Hit(441, 490, 312, 338), Spawn<TMainExit_No>},
};

const TClickTarget MainMenuPromptClick[] = {
    {Hit(312, 360, 312, 337),
     [](TMainForm& f, TMenuState&) {
       f.PlaySound("button_down");
       GameMainExitClick(f);
       f.SwitchScene(SceneExitScreen);
     }},
    {Hit(432, 498, 313, 337),
     [](TMainForm& f, TMenuState&) {
       f.PlaySound("button_down");
       GameMainExitClick(f);
       BackToMainMenu(f);
     }},
};

// The same rectangles in both play scenes, although the pond lights smaller ones.
const TClickTarget PlayPromptClick[] = {
    {Hit(300, 370, 310, 335),
     [](TMainForm& f, TMenuState&) {
       GameMainExitClick(f);
       // Only a score that would be recorded goes on to the name entry.
       if (ResultIsRecorded(f.HighScores, f.Score))
         f.SwitchScene(SceneGameOver);
       else
         BackToMainMenu(f);
       f.PlaySound("button_down");
     }},
    {Hit(441, 490, 312, 338),
     [](TMainForm& f, TMenuState&) {
       GameMainExitClick(f);
       f.PlaySound("button_down");
     }},
};

constexpr THoverTarget ClearHover[] = {
    {Hit(312, 360, 312, 337), Spawn<TMainExit_Yes>},
    {Hit(432, 498, 313, 337), Spawn<TMainExit_No>},
};

const TClickTarget ClearClick[] = {
    {Hit(312, 360, 312, 337),
     [](TMainForm& f, TMenuState&) {
       // Rebuilds the screen with the default rows and saves them on the way.
       if (f.Hooks.ResetHighScores) f.Hooks.ResetHighScores();
       GameClearHighScoreClick(f);
       f.PlaySound("button_down");
     }},
    {Hit(432, 498, 313, 337),
     [](TMainForm& f, TMenuState&) {
       GameClearHighScoreClick(f);
       f.PlaySound("button_down");
     }},
};

}  // namespace

void GameMainExitClick(TMainForm& f) {
  const uint8_t s = f.CurrentScene;
  if ((s != SceneMainMenu && s != ScenePond && s != SceneFeeding) || f.Paused) return;
  f.GameMainExit = !f.GameMainExit;
  f.LevelTitleShown = false;
  // The feeding stage's clock stands still while the prompt is open.
  f.LevelTimer.SetEnabled(!f.LevelTimer.Enabled());
  if (f.GameMainExit) {
    f.SetCaption(Cp("Тиноквак [Пауза]"));
    f.SetCursor(Cursor::Hand);
    f.PlaySound("pause");
    f.Engine().Add<TMainExit>();
    f.Engine().Add<TMainExit_Word>();
  } else {
    f.SetCaption(Cp("Тиноквак"));
    f.SetCursor(Cursor::Hidden);
    f.PlaySound("after_pause");
    f.KillAll<TMenu>();
    f.KillAll<TMenuGame>();
  }
}

void GameClearHighScoreClick(TMainForm& f) {
  f.GameClearHighScore = !f.GameClearHighScore;
  if (f.GameClearHighScore) {
    f.Engine().Add<TClearHighScore>();
    f.Engine().Add<TClearHighScore_Word>();
  } else {
    f.KillAll<TMenu>();
    f.KillAll<TMenuGame>();
  }
}

void ExitPromptHover(TMainForm& f, TMenuState& m) {
  switch (f.CurrentScene) {
    case SceneMainMenu:
      HoverTest(f, m, MainMenuPromptHover);
      break;
    case ScenePond:
      HoverTest(f, m, PondPromptHover);
      break;
    case SceneFeeding:
      HoverTest(f, m, FeedingPromptHover);
      break;
    default:
      break;
  }
}

void ExitPromptClick(TMainForm& f, TMenuState& m) {
  if (f.CurrentScene == SceneMainMenu)
    ClickTest(f, m, MainMenuPromptClick);
  else
    ClickTest(f, m, PlayPromptClick);
}

void ClearDialogHover(TMainForm& f, TMenuState& m) { HoverTest(f, m, ClearHover); }

void ClearDialogClick(TMainForm& f, TMenuState& m) { ClickTest(f, m, ClearClick); }

}  // namespace tk::menus
