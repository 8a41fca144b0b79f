#include "online/Online.h"

#include <memory>

#include "online/State.h"

namespace tk::online {

void Register(TMainForm& form) {
  auto state = std::make_shared<TOnlineState>();
  form.Modules.push_back(state);
  TMainForm* f = &form;
  TOnlineState* st = state.get();
  form.Hooks.LoadSettings = [f, st] { LoadSettings(*f, *st); };
  form.Hooks.SaveSettings = [f, st] { SaveSettings(*f, *st); };
  form.Hooks.ResetHighScores = [f] { ResetHighScores(*f); };
  form.Hooks.RecordHighScore = [f] { RecordHighScore(*f); };
  form.Hooks.GameEnterNameClick = [f] { GameEnterNameClick(*f); };
  form.Hooks.GameSendResultClick = [f] { GameSendResultClick(*f); };
  auto& over = form.Scenes[SceneGameOver];
  over.Tick = [f] { GameOverTick(*f); };
  over.MouseDown = [f](platform::MouseButton b) { GameOverMouseDown(*f, b); };
}

}  // namespace tk::online
