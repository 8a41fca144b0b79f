#include "online/Online.h"

#include <memory>

#include "online/GameOver.h"
#include "online/State.h"

namespace tk::online {

void Register(TMainForm& form) {
  TMainForm* f = &form;
  TOnlineState* st = &form.AddModule<TOnlineState>();
  form.Hooks.LoadSettings = [f, st] { LoadSettings(*f, *st); };
  form.Hooks.SaveSettings = [f, st] { SaveSettings(*f, *st); };
  form.Hooks.ResetHighScores = [f] { ResetHighScores(*f); };
  RegisterSubmission(form, *st);
  RegisterGameOver(form, *st);
}

}  // namespace tk::online
