// Settings files made for tests: a table of given scores, and a file with chosen lines
// replaced (a damaged line, an odd value).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "protocol/Codec.h"
#include "persist/Settings.h"

namespace tk::testing {

// The lines of a CR LF text, without their ends; a last line without one is kept.
inline std::vector<std::string> SplitCrLf(const std::string& bytes) {
  std::vector<std::string> lines;
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t end = bytes.find("\r\n", pos);
    if (end == std::string::npos) {
      lines.push_back(bytes.substr(pos));
      break;
    }
    lines.push_back(bytes.substr(pos, end - pos));
    pos = end + 2;
  }
  return lines;
}

// A whole file of the given settings with some lines (1-based) replaced by the encodings of
// the given plain texts.
inline std::string FileWith(const TSettings& s,
                            std::initializer_list<std::pair<int, std::string>> lines) {
  std::vector<std::string> all = SplitCrLf(WriteSettings(s));
  for (const auto& [no, plain] : lines) all.at(no - 1) = EncodeText(plain);
  std::string out;
  for (const auto& line : all) out += line + "\r\n";
  return out;
}

// Ten rows named A to J with the given scores.
inline TSettings Rows(std::initializer_list<int32_t> scores) {
  TSettings s;
  int k = 0;
  for (int32_t score : scores) {
    s.HighScores[k] = {std::string(1, static_cast<char>('A' + k)), score};
    ++k;
  }
  return s;
}

}  // namespace tk::testing
