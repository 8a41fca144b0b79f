// tinokvak --replay FILE: a recorded game played back in the real window.
#pragma once

#include <string>

#include "platform/Platform.h"
#include "replay/ReplayFile.h"

namespace tk {

// Returns the exit status: 0 when watched to its end or left with Esc, 2 when the file is
// refused (another format version, other game data, damaged), 1 when the game cannot start.
// The window, sound and text come from the real platform `sdl`; the game gets none of its
// input or clock.
int WatchReplay(platform::Platform& sdl, const std::string& file);
// The same for a replay already read (ReadReplayBytes); name says where it came from.
int WatchReplay(platform::Platform& sdl, const std::string& name, const replay::TReplay& r);
// Reads a replay's bytes fetched from elsewhere for this game (run in the game folder);
// false, with the reason on stderr, for bytes that are no replay this game can play.
bool ReadReplayBytes(const std::string& name, const std::string& bytes, replay::TReplay& r);

}  // namespace tk
