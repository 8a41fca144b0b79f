// The high-score table: ten rows of a name and a score, row 0 the best. The game keeps it
// on the main window, writes it into Config.cfg, records it at the start of a replay and
// sends one row of it to the score server; all of them use this one type.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace tk {

struct TLocal_HighScores {
  std::string Name;  // Windows-1251
  int32_t Score = 0;
  bool operator==(const TLocal_HighScores&) const = default;
};

inline constexpr int HighScoreRows = 10;
// Recording keeps the rows in descending order.
using THighScoreTable = std::array<TLocal_HighScores, HighScoreRows>;

}  // namespace tk
