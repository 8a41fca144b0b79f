// The game: the real platform, the main window, and the message loop until it closes.
#include "assembly/Assembly.h"
#include "platform/sdl/SdlPlatform.h"

int main() {
  auto platform = tk::platform::MakeSdlPlatform();
  tk::TMainFormOptions options;
  options.ScoreServer = tk::DefaultScoreServer();
  auto form = tk::CreateGame(*platform, options);
  if (!tk::StartGame(*form)) return 1;
  while (!form->Closed()) {
    platform->Events->Pump(*form, form->MsUntilNextDue());
    form->Idle();
  }
  return 0;
}
