#include "menus/Menus.h"

#include "menus/MenuSprites.h"
#include "menus/Screens.h"

namespace tk::menus {

void Register(TMainForm& form) {
  TMainForm* f = &form;
  auto& menu = form.Scenes[SceneMainMenu];
  menu.Build = [f] { BuildMainMenu(*f); };
  menu.Tick = [f] { MainMenuTick(*f); };
  auto& help = form.Scenes[SceneHelp];
  help.Build = [f] { BuildHelpScreen(*f); };
  help.Tick = [f] { HelpScreenTick(*f); };
  auto& options = form.Scenes[SceneOptions];
  options.Build = [f] { BuildOptionsScreen(*f); };
  options.Tick = [f] { OptionsScreenTick(*f); };
  auto& scores = form.Scenes[SceneHighScores];
  scores.Build = [f] { BuildHighScoreScreen(*f); };
  scores.Tick = [f] { HighScoreScreenTick(*f); };

  form.Hooks.MouseMove = [f](int x, int y) { DXDrawMouseMove(*f, x, y); };
  form.Hooks.MouseDown = [f](platform::MouseButton b) { DXDrawMouseDown(*f, b); };
  form.Hooks.GameMainExitClick = [f] { GameMainExitClick(*f); };
  form.Hooks.GameClearHighScoreClick = [f] { GameClearHighScoreClick(*f); };
  form.Hooks.CreateCaret = [f] { f->Engine().Add<Palka>(); };
}

}  // namespace tk::menus
