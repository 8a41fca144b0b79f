// The game's state as one line of JSON: what tinokvak-sim prints for "state" and at a
// replay's marks, and what the browser's page answers its tests with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "shell/MainForm.h"

namespace tk {

// What the platform saw the game do, which the line reports since the last line.
struct TStateRecord {
  const std::vector<std::string>* Messages = nullptr;  // message boxes (1251)
  const std::vector<std::string>* Opened = nullptr;    // targets handed to the opener
  bool FullScreen = false;                             // the display is in full screen
};

// How much of the messages, opened targets and sounds earlier lines already reported.
struct TStateSeen {
  size_t Messages = 0, Opened = 0, Sounds = 0;
};

// The line at time t (without a line end); moves seen past what it reports.
std::string StateLine(const TMainForm& f, uint64_t t, const TStateRecord& record, TStateSeen& seen);

}  // namespace tk
