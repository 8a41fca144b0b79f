#include "platform/Shortcut.h"

#include <cctype>

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
  bool inSection = false;
  // A lone CR ends a line too, so no line break ever reaches the address.
  for (size_t pos = 0; pos < contents.size();) {
    size_t end = contents.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = contents.size();
    std::string line = Trim(std::string(contents.substr(pos, end - pos)));
    pos = end + 1;
    if (!line.empty() && line[0] == '[') {
      inSection = Lower(line) == "[internetshortcut]";
      continue;
    }
    if (inSection && Lower(line.substr(0, 4)) == "url=") return Trim(line.substr(4));
  }
  return "";
}

}  // namespace tk::platform
