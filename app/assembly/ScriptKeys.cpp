#include "assembly/ScriptKeys.h"

#include <cctype>
#include <map>
#include <stdexcept>

namespace tk {

TScriptKey ParseScriptKey(std::string s) {
  namespace vk = platform::vk;
  TScriptKey k;
  for (;;) {
    if (s.rfind("alt+", 0) == 0) {
      k.Mods.Alt = true;
      s = s.substr(4);
    } else if (s.rfind("ctrl+", 0) == 0) {
      k.Mods.Ctrl = true;
      s = s.substr(5);
    } else {
      break;
    }
  }
  static const std::map<std::string, int> named = {
      {"Esc", vk::Esc},     {"Enter", vk::Enter}, {"Space", vk::Space},
      {"Backspace", vk::Backspace}, {"P", 'P'},   {"Up", vk::Up},
      {"Down", vk::Down},   {"Left", vk::Left},   {"Right", vk::Right},
      {"Ctrl", vk::Ctrl},   {"Alt", vk::Alt}};
  if (auto it = named.find(s); it != named.end()) {
    k.Key = it->second;
  } else if (s.size() == 1 && std::isalnum(static_cast<unsigned char>(s[0]))) {
    k.Key = std::toupper(static_cast<unsigned char>(s[0]));
  } else {
    throw std::runtime_error("unknown key: " + s);
  }
  return k;
}

platform::MouseButton ParseScriptButton(const std::string& s) {
  if (s.empty() || s == "left") return platform::MouseButton::Left;
  if (s == "right") return platform::MouseButton::Right;
  if (s == "middle") return platform::MouseButton::Middle;
  throw std::runtime_error("unknown mouse button: " + s);
}

}  // namespace tk
