// Playback in the window: the viewer (ReplayViewer.h) follows the wall clock; the viewer's
// own keys and mouse never reach the game.
#include "Watch.h"

#include <cstdio>
#include <memory>

#include "ReplayViewer.h"
#include "shell/Replay.h"

namespace tk {

int WatchReplay(platform::Platform& sdl, const std::string& file, const replay::TReplay& r) {
  auto viewer = std::make_unique<TReplayViewer>(sdl, r);
  if (!viewer->Start()) return 1;
  TViewerKeys keys;
  platform::IClock& wall = *sdl.Clock;
  uint64_t last = wall.NowMs();
  while (!keys.Leave && !viewer->Closed()) {
    sdl.Events->Pump(keys, 5);
    if (keys.Restart) {  // from the beginning, as it was when the viewer opened it
      keys.Restart = false;
      keys.Paused = false;
      viewer.reset();
      viewer = std::make_unique<TReplayViewer>(sdl, r);
      if (!viewer->Start()) return 1;
      last = wall.NowMs();
    }
    const uint64_t now = wall.NowMs();
    viewer->Run(now - last, keys.Paused, keys.Fast);
    last = now;
  }
  if (!viewer->Refusal().empty())
    std::fprintf(stderr, "%s: refused: %s\n", file.c_str(), viewer->Refusal().c_str());
  const TMainForm& form = viewer->Form();
  std::printf("replay: score %d, level %d, lives %d (recorded: score %d, level %d, lives %d)\n",
              form.Score, form.Level, form.Lives, r.Trailer.Score, r.Trailer.Level,
              r.Trailer.Lives);
  viewer.reset();
  return 0;
}

int WatchReplay(platform::Platform& sdl, const std::string& file) {
  replay::TReplay r;
  try {
    r = ReadReplayForThisGame(file);
  } catch (const replay::EReplayError& e) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), e.what());
    return 2;
  }
  return WatchReplay(sdl, file, r);
}

bool ReadReplayBytes(const std::string& name, const std::string& bytes, replay::TReplay& r) {
  try {
    r = replay::ReadReplay(bytes);
    CheckReplayData(r);
    return true;
  } catch (const replay::EReplayError& e) {
    std::fprintf(stderr, "%s: %s\n", name.c_str(), e.what());
    return false;
  }
}

}  // namespace tk
