#include "menus/Menus.h"

#include "menus/MenuSprites.h"
#include "menus/Screens.h"
#include "platform/NameCharacters.h"
#include "replay/ReplayFile.h"

namespace tk::menus {

namespace vk = platform::vk;
using platform::MouseButton;

namespace {

// What every menu screen shares: a pointer move first throws away the highlights of the
// last one (freed before the next draw), only the left button clicks, the menus' tune
// comes back when the module has played through, and leaving frees the screen's sprites.
TSceneHandlers& MenuScene(TMainForm& f, uint8_t id, void (*hover)(TMainForm&, TMenuState&),
                          void (*click)(TMainForm&, TMenuState&), TMenuState& m) {
  TMainForm* pf = &f;
  TMenuState* pm = &m;
  TSceneHandlers& s = f.Scenes[id];
  s.MouseMove = [pf, pm, hover] {
    pf->KillAll<TMenuGame>();
    hover(*pf, *pm);
  };
  s.MouseDown = [pf, pm, click](MouseButton b) {
    if (b == MouseButton::Left) click(*pf, *pm);
  };
  s.Leave = [pf] { pf->Engine().Clear(); };
  s.Music = "1";
  return s;
}

void SaveSettings(TMainForm& f) { f.SaveSettings(); }

void HighScoresHover(TMainForm& f, TMenuState& m) {
  if (f.GameClearHighScore)
    ClearDialogHover(f, m);
  else
    HighScoreHover(f, m);
}

void HighScoresClick(TMainForm& f, TMenuState& m) {
  if (f.GameClearHighScore)
    ClearDialogClick(f, m);
  else
    HighScoreClick(f, m);
}

void MainMenuKeyDown(TMainForm& f, int key, platform::KeyMods mods) {
  if (key == vk::Esc) {
    GameMainExitClick(f);
  } else if (key == vk::Enter && !mods.Alt && !f.GameMainExit) {
    // Enter does nothing while the exit prompt is open.
    StartGame(f);
  }
}

void OptionsKeyDown(TMainForm& f, TTyping& t, int key) {
  if (key == vk::Esc)
    BackToMainMenu(f);
  else if (key == vk::Backspace && f.GamegoEdit && !t.Edit1.empty())
    t.Edit1.pop_back();
}

void OptionsKeyPress(TMainForm& f, TTyping& t, uint8_t ch) {
  // The width measured when the field was last drawn limits what still fits.
  if (f.GamegoEdit && t.NameTextWidth + 37 <= 375 && IsNameCharacter(ch) && t.Edit1.size() < 10)
    t.Edit1 += static_cast<char>(ch);
}

void HighScoresKeyDown(TMainForm& f, int key) {
  if (key != vk::Esc) return;
  if (f.GameClearHighScore) {
    // The screen is built again, then the dialog closes.
    f.SwitchScene(SceneHighScores);
    GameClearHighScoreClick(f);
  } else {
    BackToMainMenu(f);
  }
}

}  // namespace

void Register(TMainForm& form) {
  TMainForm* f = &form;
  TMenuState* m = &form.AddModule<TMenuState>();
  TTyping* t = &form.AddModule<TTyping>();

  auto& logo = form.Scenes[SceneLogo];
  logo.Build = [f] { BuildLogo(*f); };
  logo.Tick = [f] { LogoTick(*f); };
  logo.Leave = [f] { f->Engine().Clear(); };
  logo.Music = "1";
  form.Timer2.OnTimer = [f] {
    f->Timer2.SetEnabled(false);
    if (f->CurrentScene == SceneLogo) BackToMainMenu(*f);
  };

  auto& menu = MenuScene(form, SceneMainMenu, MainMenuHover, MainMenuClick, *m);
  menu.Build = [f, m] { BuildMainMenu(*f, *m); };
  menu.Tick = [f] { MainMenuTick(*f); };
  menu.KeyDown = [f](int key, platform::KeyMods mods) { MainMenuKeyDown(*f, key, mods); };
  menu.Leave = [f] {
    // A game started from here begins afresh.
    f->Level = 1;
    f->Score = 0;
    f->Lives = 3;
    f->Engine().Clear();
  };

  auto& help = MenuScene(form, SceneHelp, HelpHover, HelpClick, *m);
  help.Build = [f, m] { BuildHelpScreen(*f, *m); };
  help.Tick = [f, m] { HelpScreenTick(*f, *m); };
  help.KeyDown = [f](int key, platform::KeyMods) {
    if (key == vk::Esc) BackToMainMenu(*f);
  };

  auto& options = MenuScene(form, SceneOptions, OptionsHover, OptionsClick, *m);
  options.Build = [f, t] { BuildOptionsScreen(*f, *t); };
  options.Tick = [f, t] { OptionsScreenTick(*f, *t); };
  options.KeyDown = [f, t](int key, platform::KeyMods) { OptionsKeyDown(*f, *t, key); };
  options.KeyPress = [f, t](uint8_t ch) { OptionsKeyPress(*f, *t, ch); };
  options.Caret = [f, t](bool shown) { BlinkCaret(*f, *t, shown); };
  options.Leave = [f] {
    f->Engine().Clear();
    f->GamegoEdit = false;
    SaveSettings(*f);
  };

  auto& scores = MenuScene(form, SceneHighScores, HighScoresHover, HighScoresClick, *m);
  scores.Build = [f] { BuildHighScoreScreen(*f); };
  scores.Tick = [f] { HighScoreScreenTick(*f); };
  scores.KeyDown = [f](int key, platform::KeyMods) { HighScoresKeyDown(*f, key); };
  scores.Leave = [f] {
    f->Engine().Clear();
    SaveSettings(*f);
  };

  form.Hooks.GameMainExitClick = [f] { GameMainExitClick(*f); };
  // Over the pond and the feeding stage the prompt takes the pointer while it is open; any
  // button clicks there.
  form.Hooks.ExitPromptMouseMove = [f, m] {
    f->KillAll<TMenuGame>();
    if (f->GameMainExit) ExitPromptHover(*f, *m);
  };
  form.Hooks.ExitPromptMouseDown = [f, m] {
    if (f->GameMainExit) ExitPromptClick(*f, *m);
  };
  // The caret blinks on in every scene, so a field's caret comes back at the phase the
  // count has reached.
  form.Hooks.FrameSteps.push_back([f, t] { CaretStep(*f, *t); });
  form.Hooks.SaveReplayStart.push_back([m, t](replay::TReplayStart& s) {
    s.HoverSoundArmed = m->HoverSoundArmed;
    s.CaretBlink = t->CaretBlink;
    s.NameTextWidth = t->NameTextWidth;
    s.Edit1 = t->Edit1;
    s.PlayerCountry = t->PlayerCountry;
  });
  form.Hooks.RestoreReplayStart.push_back([m, t](const replay::TReplayStart& s) {
    m->HoverSoundArmed = s.HoverSoundArmed;
    t->CaretBlink = s.CaretBlink;
    t->NameTextWidth = s.NameTextWidth;
    t->Edit1 = s.Edit1;
    t->PlayerCountry = s.PlayerCountry;
  });
}

}  // namespace tk::menus
