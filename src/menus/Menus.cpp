#include "menus/Menus.h"

#include "menus/MenuSprites.h"
#include "menus/Screens.h"
#include "replay/ReplayFile.h"

namespace tk::menus {

void Register(TMainForm& form) {
  TMainForm* f = &form;
  TMenuState* m = &form.AddModule<TMenuState>();
  auto& menu = form.Scenes[SceneMainMenu];
  menu.Build = [f, m] { BuildMainMenu(*f, *m); };
  menu.Tick = [f] { MainMenuTick(*f); };
  auto& help = form.Scenes[SceneHelp];
  help.Build = [f, m] { BuildHelpScreen(*f, *m); };
  help.Tick = [f, m] { HelpScreenTick(*f, *m); };
  auto& options = form.Scenes[SceneOptions];
  options.Build = [f] { BuildOptionsScreen(*f); };
  options.Tick = [f] { OptionsScreenTick(*f); };
  auto& scores = form.Scenes[SceneHighScores];
  scores.Build = [f] { BuildHighScoreScreen(*f); };
  scores.Tick = [f] { HighScoreScreenTick(*f); };

  form.Hooks.MouseMove = [f, m](int x, int y) { DXDrawMouseMove(*f, *m, x, y); };
  form.Hooks.MouseDown = [f, m](platform::MouseButton b) { DXDrawMouseDown(*f, *m, b); };
  form.Hooks.GameMainExitClick = [f] { GameMainExitClick(*f); };
  form.Hooks.GameClearHighScoreClick = [f] { GameClearHighScoreClick(*f); };
  form.Hooks.SaveReplayStart = [m](replay::TReplayStart& s) {
    s.HoverSoundArmed = m->HoverSoundArmed;
  };
  form.Hooks.RestoreReplayStart = [m](const replay::TReplayStart& s) {
    m->HoverSoundArmed = s.HoverSoundArmed;
  };
  form.Hooks.CreateCaret = [f] { f->Engine().Add<Palka>(); };
}

}  // namespace tk::menus
