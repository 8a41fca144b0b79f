// The game: the real platform, the main window, and the message loop until it closes.
// With --replay FILE it plays a recorded game back in the window instead.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "GameIcon.h"
#include "Watch.h"
#include "assembly/Assembly.h"
#include "assembly/Replays.h"
#include "platform/Locations.h"
#include "platform/Program.h"
#include "platform/sdl/SdlPlatform.h"

namespace {

// The game reads its data from the current folder: move into the game folder beside the
// program (or the installed one) so it starts from anywhere, a menu included.
void EnterGameFolder() {
  const auto folder = tk::FindGameFolder(tk::ExecutableDir());
  if (folder && ::chdir(folder->c_str()) != 0)
    std::perror(("tinokvak: " + folder->string()).c_str());
}

constexpr const char* kUsage =
    "usage: tinokvak [--replay FILE]\n"
    "Plays the game. With --replay, shows a recorded game (a .tkr file from the Replays\n"
    "folder) in the window: Space pauses, the right arrow runs fast while held, Esc leaves.\n"
    "An installed game keeps Config.cfg and the Replays folder in\n"
    "$XDG_DATA_HOME/tinokvak (~/.local/share/tinokvak by default).\n"
    "TINOKVAK_DEBUG=1 also shows the messages of the sound and display libraries.\n";

}  // namespace

int main(int argc, char** argv) {
  if (tk::AnswersHelpOrVersion(argc, argv, "tinokvak", kUsage)) return 0;
  std::string replayFile;
  if (argc == 3 && std::string(argv[1]) == "--replay") {
    replayFile = std::filesystem::absolute(argv[2]).string();  // named from where we started
  } else if (argc != 1) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  EnterGameFolder();
  std::unique_ptr<tk::platform::Platform> platform;
  try {
    platform = tk::platform::MakeSdlPlatform({tk::kGameIconArgb, tk::kGameIconSize});
  } catch (const tk::platform::NoDisplayError&) {
    return 1;  // already said why
  }
  if (!replayFile.empty()) return tk::WatchReplay(*platform, replayFile);
  tk::TMainFormOptions options;
  options.ScoreServer = tk::DefaultScoreServer();
  options.SoundsAfterFirstFrame = true;
  options.TuneAndSettingsAfterFirstFrame = true;
  const tk::SettingsLocation settings = tk::ChooseSettingsFile(std::filesystem::current_path(), tk::ExecutableDir());
  if (settings.PerUser) {
    std::string error;
    if (!tk::PrepareSettingsFile(settings, error))
      std::fprintf(stderr, "tinokvak: %s\n", error.c_str());
    options.SettingsFile = settings.File;
  }
  auto form = tk::CreateGame(*platform, options);
  // TINOKVAK_COMPOSE=every composes every frame, also one that draws what the last did:
  // for comparing pictures and costs with the shortcut.
  if (const char* compose = std::getenv("TINOKVAK_COMPOSE"))
    form->DXDraw.AlwaysCompose = std::string(compose) == "every";
  tk::RecordGamesIntoReplays(*form);
  if (!tk::StartGame(*form)) {
    form->SaveDeferredSettings();
    return 1;
  }
  while (!form->Closed()) {
    uint32_t wait = form->MsUntilNextDue();
    // Once the first frame is on screen, the logo's tune is loaded, Config.cfg written and
    // the sound archive read, then the pictures not drawn yet are decoded, one at a time,
    // while the game waits for its next frame, so none of it holds up the first frame nor
    // any frame a picture is first drawn in.
    if (wait >= 12 && form->FramesTicked() > 0) {
      try {
        if (form->StartDeferredTune() || form->SaveDeferredSettings() ||
            form->LoadDeferredSounds() || form->Images().DecodeNextPending())
          wait = 0;
      } catch (const std::exception& e) {
        form->HandleException(e);
        wait = 0;
      }
    }
    if (form->Closed()) break;
    platform->Events->Pump(*form, wait);
    form->Idle();
  }
  // Closed before the first frame: the write put off is made all the same.
  form->SaveDeferredSettings();
  return form->StartFailed() ? 1 : 0;
}
