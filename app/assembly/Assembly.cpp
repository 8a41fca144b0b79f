#include "assembly/Assembly.h"

#include <cstdio>

#include "exitscreen/ExitScreen.h"
#include "game/Game.h"
#include "menus/Menus.h"
#include "online/Online.h"
#include "platform/Cp1251.h"

namespace tk {

const char* DefaultScoreServer() { return TK_SCORE_SERVER; }

std::unique_ptr<TMainForm> CreateGame(platform::Platform& platform, TMainFormOptions options) {
  auto form = std::make_unique<TMainForm>(platform, std::move(options));
  menus::Register(*form);
  game::Register(*form);
  exitscreen::Register(*form);
  online::Register(*form);
  return form;
}

bool StartGame(TMainForm& form) {
  try {
    form.FormCreate();
    form.Show();
    return true;
  } catch (const std::exception& e) {
    form.HandleException(e);
    return false;
  }
}

}  // namespace tk
