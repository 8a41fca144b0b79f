// The game: the real platform, the main window, and the message loop until it closes.
// With --replay FILE it plays a recorded game back in the window instead.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "GameIcon.h"
#include "ReplayDownload.h"
#include "Watch.h"
#include "assembly/Assembly.h"
#include "assembly/Replays.h"
#include "platform/Locations.h"
#include "platform/Program.h"
#include "platform/http/CurlHttp.h"
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
    "usage: tinokvak [--replay FILE|URL]\n"
    "Plays the game. With --replay, shows a recorded game (a .tkr file from the Replays\n"
    "folder, or an http(s) address of one, such as a verified game's /replays/ID on the score\n"
    "server) in the window: Space pauses, the right arrow runs fast while held, R starts\n"
    "again, Esc leaves.\n"
    "An installed game keeps Config.cfg and the Replays folder in\n"
    "$XDG_DATA_HOME/tinokvak (~/.local/share/tinokvak by default).\n"
    "TINOKVAK_DEBUG=1 also shows the messages of the sound and display libraries.\n";

}  // namespace

int main(int argc, char** argv) {
  if (tk::AnswersHelpOrVersion(argc, argv, "tinokvak", kUsage)) return 0;
  std::string replayFile, replayBytes;
  if (argc == 3 && std::string(argv[1]) == "--replay" && tk::IsReplayAddress(argv[2])) {
    // Fetched before any window opens, so a wrong address costs nothing but the message.
    replayFile = argv[2];
    try {
      replayBytes = tk::DownloadReplay(*tk::platform::MakeCurlHttpRequests(), replayFile);
    } catch (const tk::EReplayDownload& e) {
      std::fprintf(stderr, "tinokvak: %s: %s\n", replayFile.c_str(), e.what());
      return 1;
    }
  } else if (argc == 3 && std::string(argv[1]) == "--replay") {
    replayFile = std::filesystem::absolute(argv[2]).string();  // named from where we started
  } else if (argc != 1) {
    std::fputs(kUsage, stderr);
    return 1;
  }
  EnterGameFolder();
  // A fetched replay this game cannot play is refused before a window opens.
  tk::replay::TReplay fetched;
  if (!replayBytes.empty() && !tk::ReadReplayBytes(replayFile, replayBytes, fetched)) return 2;
  std::unique_ptr<tk::platform::Platform> platform;
  try {
    platform = tk::platform::MakeSdlPlatform({tk::kGameIconArgb, tk::kGameIconSize});
  } catch (const tk::platform::NoDisplayError&) {
    return 1;  // already said why
  }
  if (!replayBytes.empty()) return tk::WatchReplay(*platform, replayFile, fetched);
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
