#include "platform/web/KeyCodes.h"

#include <utility>

#include "platform/Cp1251.h"
#include "platform/Platform.h"

namespace tk::platform {

namespace {

// Keys whose code does not follow from a run of names; letters, digits, F-keys and the
// number pad's digits are computed below.
constexpr std::pair<std::string_view, int> kNamed[] = {
    {"Enter", vk::Enter},          {"NumpadEnter", vk::Enter},   {"Escape", vk::Esc},
    {"Backspace", vk::Backspace},  {"Tab", vk::Tab},             {"Space", vk::Space},
    {"ArrowLeft", vk::Left},       {"ArrowRight", vk::Right},    {"ArrowUp", vk::Up},
    {"ArrowDown", vk::Down},       {"ControlLeft", vk::Ctrl},    {"ControlRight", vk::Ctrl},
    {"AltLeft", vk::Alt},          {"AltRight", vk::Alt},        {"ShiftLeft", vk::Shift},
    {"ShiftRight", vk::Shift},     {"Insert", 0x2D},             {"Delete", vk::Delete},
    {"Home", vk::Home},            {"End", vk::End},             {"PageUp", vk::PageUp},
    {"PageDown", vk::PageDown},    {"Pause", vk::Pause},         {"CapsLock", 0x14},
    {"NumLock", 0x90},             {"ScrollLock", 0x91},         {"PrintScreen", 0x2C},
    {"MetaLeft", 0x5B},            {"MetaRight", 0x5C},          {"OSLeft", 0x5B},
    {"OSRight", 0x5C},             {"ContextMenu", 0x5D},        {"Help", 0x2F},
    {"Sleep", 0x5F},               {"NumpadClear", 0x0C},        {"Select", 0x29},
    {"Execute", 0x2B},             {"MediaStop", 0xB2},
    // Punctuation by its place on the US keyboard, as Windows names those keys.
    {"Semicolon", 0xBA},           {"Equal", 0xBB},              {"Comma", 0xBC},
    {"Minus", 0xBD},               {"Period", 0xBE},             {"Slash", 0xBF},
    {"Backquote", 0xC0},           {"BracketLeft", 0xDB},        {"Backslash", 0xDC},
    {"IntlHash", 0xDC},            {"BracketRight", 0xDD},       {"Quote", 0xDE},
    {"IntlBackslash", 0xE2},
    // The number pad's operators keep their codes with or without Num Lock.
    {"NumpadMultiply", 0x6A},      {"NumpadAdd", 0x6B},          {"NumpadComma", 0x6C},
    {"NumpadSubtract", 0x6D},      {"NumpadDivide", 0x6F},       {"NumpadEqual", 0xBB},
    // Media and browser keys.
    {"AudioVolumeMute", 0xAD},     {"VolumeMute", 0xAD},         {"AudioVolumeDown", 0xAE},
    {"VolumeDown", 0xAE},          {"AudioVolumeUp", 0xAF},      {"VolumeUp", 0xAF},
    {"MediaTrackNext", 0xB0},      {"MediaTrackPrevious", 0xB1}, {"MediaPlayPause", 0xB3},
    {"LaunchMail", 0xB4},          {"MediaSelect", 0xB5},        {"LaunchMediaPlayer", 0xB5},
    {"BrowserBack", 0xA6},         {"BrowserForward", 0xA7},     {"BrowserRefresh", 0xA8},
    {"BrowserStop", 0xA9},         {"BrowserSearch", 0xAA},      {"BrowserFavorites", 0xAB},
    {"BrowserHome", 0xAC},
};

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// A whole number written with digits only, in [lo, hi]; -1 otherwise.
int Number(std::string_view s, int lo, int hi) {
  if (s.empty() || s.size() > 2) return -1;
  int n = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return -1;
    n = n * 10 + (c - '0');
  }
  return n >= lo && n <= hi ? n : -1;
}

// Without a code: the key's value, for the keys whose value names them alone.
int VirtualKeyOfValue(std::string_view key) {
  if (key.size() == 1) {
    const char c = key[0];
    if (c >= 'a' && c <= 'z') return 'A' + (c - 'a');
    if (c >= 'A' && c <= 'Z') return c;
    if (c >= '0' && c <= '9') return c;
    if (c == ' ') return vk::Space;
    return kWebUnnamedKey;
  }
  static constexpr std::pair<std::string_view, int> kValues[] = {
      {"Enter", vk::Enter},     {"Escape", vk::Esc},      {"Esc", vk::Esc},
      {"Backspace", vk::Backspace}, {"Tab", vk::Tab},     {"ArrowLeft", vk::Left},
      {"ArrowRight", vk::Right}, {"ArrowUp", vk::Up},     {"ArrowDown", vk::Down},
      {"Left", vk::Left},       {"Right", vk::Right},     {"Up", vk::Up},
      {"Down", vk::Down},       {"Control", vk::Ctrl},    {"Alt", vk::Alt},
      {"Shift", vk::Shift},     {"Delete", vk::Delete},   {"Home", vk::Home},
      {"End", vk::End},         {"PageUp", vk::PageUp},   {"PageDown", vk::PageDown},
      {"Pause", vk::Pause}};
  for (const auto& [name, k] : kValues)
    if (name == key) return k;
  // "Unidentified" and the like: a key was pressed, but which is not known.
  return key.empty() ? 0 : kWebUnnamedKey;
}

}  // namespace

int VirtualKeyOfCode(std::string_view code, std::string_view key, bool numLock) {
  if (code.empty()) return VirtualKeyOfValue(key);
  if (StartsWith(code, "Key") && code.size() == 4 && code[3] >= 'A' && code[3] <= 'Z')
    return code[3];
  if (StartsWith(code, "Digit") && code.size() == 6 && code[5] >= '0' && code[5] <= '9')
    return code[5];
  if (code.size() >= 2 && code[0] == 'F') {
    const int n = Number(code.substr(1), 1, 24);
    if (n > 0) return 0x70 + (n - 1);
  }
  if (StartsWith(code, "Numpad")) {
    const std::string_view rest = code.substr(6);
    const int digit = Number(rest, 0, 9);
    int index = -1;
    if (digit == 0) index = 9;
    else if (digit > 0 && rest.size() == 1) index = digit - 1;
    else if (rest == "Decimal") index = 10;
    if (index >= 0) {
      // The key's value tells what the key means now: a digit or the point with Num Lock,
      // a movement key without it.
      const bool lock = key.empty() ? numLock : key.size() == 1;
      return vk::NumberPad(index, lock);
    }
  }
  for (const auto& [name, k] : kNamed)
    if (name == code) return k;
  return kWebUnnamedKey;
}

std::string TypedText(std::string_view key, bool ctrl, bool alt, bool meta) {
  if (meta || (ctrl && !alt) || key.empty()) return {};
  // One character: one byte below 0x80, or a lead byte followed by its continuation bytes.
  const auto lead = static_cast<unsigned char>(key[0]);
  const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || key.size() != length) return {};
  if (length == 1 && lead < 0x20) return {};  // a control character
  return Utf8ToCp1251(key);
}

bool BrowserKeepsKey(std::string_view code, bool ctrl, bool meta) {
  if (code == "F5" || code == "F11" || code == "F12") return true;
  if (!ctrl && !meta) return false;
  return (StartsWith(code, "Key") && code.size() == 4) || (StartsWith(code, "Digit") && code.size() == 6) ||
         code == "Tab";
}

}  // namespace tk::platform
