#include "platform/Shortcut.h"

#include <cctype>
#include <sstream>

namespace tk::platform {

namespace {
std::string Trim(std::string s) {
  while (!s.empty() && (s.back() == '\r' || s.back() == ' ' || s.back() == '\t')) s.pop_back();
  size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return s.substr(i);
}
std::string Lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

std::string ReadInternetShortcutUrl(std::string_view contents) {
  std::istringstream in{std::string(contents)};
  std::string line;
  bool inSection = false;
  while (std::getline(in, line)) {
    line = Trim(line);
    if (!line.empty() && line[0] == '[') {
      inSection = Lower(line) == "[internetshortcut]";
      continue;
    }
    if (inSection && Lower(line.substr(0, 4)) == "url=") return Trim(line.substr(4));
  }
  return "";
}

}  // namespace tk::platform
