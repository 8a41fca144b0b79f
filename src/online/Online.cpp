#include "online/Online.h"

#include <memory>

#include "online/State.h"

namespace tk::online {

void Register(TMainForm& form) {
  TMainForm* f = &form;
  TOnlineState* st = &form.AddModule<TOnlineState>();
  form.Hooks.LoadSettings = [f, st] { LoadSettings(*f, *st); };
  form.Hooks.SaveSettings = [f, st] { SaveSettings(*f, *st); };
  form.Hooks.ResetHighScores = [f] { ResetHighScores(*f); };
  form.Hooks.RecordHighScore = [f, st] { RecordHighScore(*f, *st); };
  form.Hooks.GameEnterNameClick = [f] { GameEnterNameClick(*f); };
  form.Hooks.GameSendResultClick = [f] { GameSendResultClick(*f); };
  RegisterSubmission(form, *st);
  auto& over = form.Scenes[SceneGameOver];
  over.Tick = [f] { GameOverTick(*f); };
  over.MouseDown = [f](platform::MouseButton b) { GameOverMouseDown(*f, b); };
}

}  // namespace tk::online
