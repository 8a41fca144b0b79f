#include "online/Online.h"

#include <memory>

#include "online/GameOver.h"
#include "online/State.h"
#include "replay/ReplayFile.h"

namespace tk::online {

void Register(TMainForm& form) {
  TMainForm* f = &form;
  TOnlineState* st = &form.AddModule<TOnlineState>();
  form.Hooks.LoadSettings = [f, st] { LoadSettings(*f, *st); };
  form.Hooks.SaveSettings = [f, st] { SaveSettings(*f, *st); };
  form.Hooks.ResetHighScores = [f] { ResetHighScores(*f); };
  RegisterSubmission(form, *st);
  RegisterGameOver(form, *st, form.Module<menus::TTyping>());
  form.Hooks.SaveReplayStart.push_back([st](replay::TReplayStart& s) { s.Edit2 = st->Edit2; });
  form.Hooks.RestoreReplayStart.push_back(
      [st](const replay::TReplayStart& s) { st->Edit2 = s.Edit2; });
}

}  // namespace tk::online
