#include "platform/sdl/KeyTable.h"

#include <utility>

#include "platform/Platform.h"

namespace tk::platform {

namespace {

// Keys whose code does not follow from a run of scancodes; letters, digits, F-keys and the
// number pad's digits are computed below.
constexpr std::pair<SDL_Scancode, int> kNamed[] = {
    {SDL_SCANCODE_RETURN, vk::Enter},       {SDL_SCANCODE_KP_ENTER, vk::Enter},
    {SDL_SCANCODE_RETURN2, vk::Enter},      {SDL_SCANCODE_ESCAPE, vk::Esc},
    {SDL_SCANCODE_BACKSPACE, vk::Backspace}, {SDL_SCANCODE_TAB, vk::Tab},
    {SDL_SCANCODE_SPACE, vk::Space},        {SDL_SCANCODE_LEFT, vk::Left},
    {SDL_SCANCODE_RIGHT, vk::Right},        {SDL_SCANCODE_UP, vk::Up},
    {SDL_SCANCODE_DOWN, vk::Down},          {SDL_SCANCODE_LCTRL, vk::Ctrl},
    {SDL_SCANCODE_RCTRL, vk::Ctrl},         {SDL_SCANCODE_LALT, vk::Alt},
    {SDL_SCANCODE_RALT, vk::Alt},           {SDL_SCANCODE_LSHIFT, vk::Shift},
    {SDL_SCANCODE_RSHIFT, vk::Shift},       {SDL_SCANCODE_INSERT, 0x2D},
    {SDL_SCANCODE_DELETE, vk::Delete},      {SDL_SCANCODE_HOME, vk::Home},
    {SDL_SCANCODE_END, vk::End},            {SDL_SCANCODE_PAGEUP, vk::PageUp},
    {SDL_SCANCODE_PAGEDOWN, vk::PageDown},  {SDL_SCANCODE_PAUSE, vk::Pause},
    {SDL_SCANCODE_CAPSLOCK, 0x14},          {SDL_SCANCODE_NUMLOCKCLEAR, 0x90},
    {SDL_SCANCODE_SCROLLLOCK, 0x91},        {SDL_SCANCODE_PRINTSCREEN, 0x2C},
    {SDL_SCANCODE_LGUI, 0x5B},              {SDL_SCANCODE_RGUI, 0x5C},
    {SDL_SCANCODE_APPLICATION, 0x5D},       {SDL_SCANCODE_MENU, 0x5D},
    {SDL_SCANCODE_HELP, 0x2F},              {SDL_SCANCODE_SLEEP, 0x5F},
    {SDL_SCANCODE_CLEAR, 0x0C},             {SDL_SCANCODE_SELECT, 0x29},
    {SDL_SCANCODE_EXECUTE, 0x2B},           {SDL_SCANCODE_STOP, 0xB2},
    // Punctuation by its place on the US keyboard, as Windows names those keys.
    {SDL_SCANCODE_SEMICOLON, 0xBA},         {SDL_SCANCODE_EQUALS, 0xBB},
    {SDL_SCANCODE_COMMA, 0xBC},             {SDL_SCANCODE_MINUS, 0xBD},
    {SDL_SCANCODE_PERIOD, 0xBE},            {SDL_SCANCODE_SLASH, 0xBF},
    {SDL_SCANCODE_GRAVE, 0xC0},             {SDL_SCANCODE_LEFTBRACKET, 0xDB},
    {SDL_SCANCODE_BACKSLASH, 0xDC},         {SDL_SCANCODE_NONUSHASH, 0xDC},
    {SDL_SCANCODE_RIGHTBRACKET, 0xDD},      {SDL_SCANCODE_APOSTROPHE, 0xDE},
    {SDL_SCANCODE_NONUSBACKSLASH, 0xE2},
    // The number pad's operators keep their codes with or without Num Lock.
    {SDL_SCANCODE_KP_MULTIPLY, 0x6A},       {SDL_SCANCODE_KP_PLUS, 0x6B},
    {SDL_SCANCODE_KP_COMMA, 0x6C},          {SDL_SCANCODE_KP_MINUS, 0x6D},
    {SDL_SCANCODE_KP_DIVIDE, 0x6F},         {SDL_SCANCODE_KP_EQUALS, 0xBB},
    // Media and browser keys.
    {SDL_SCANCODE_MUTE, 0xAD},              {SDL_SCANCODE_VOLUMEDOWN, 0xAE},
    {SDL_SCANCODE_VOLUMEUP, 0xAF},          {SDL_SCANCODE_AUDIONEXT, 0xB0},
    {SDL_SCANCODE_AUDIOPREV, 0xB1},         {SDL_SCANCODE_AUDIOSTOP, 0xB2},
    {SDL_SCANCODE_AUDIOPLAY, 0xB3},         {SDL_SCANCODE_AUDIOMUTE, 0xAD},
    {SDL_SCANCODE_MAIL, 0xB4},              {SDL_SCANCODE_MEDIASELECT, 0xB5},
    {SDL_SCANCODE_AC_BACK, 0xA6},           {SDL_SCANCODE_AC_FORWARD, 0xA7},
    {SDL_SCANCODE_AC_REFRESH, 0xA8},        {SDL_SCANCODE_AC_STOP, 0xA9},
    {SDL_SCANCODE_AC_SEARCH, 0xAA},         {SDL_SCANCODE_AC_BOOKMARKS, 0xAB},
    {SDL_SCANCODE_AC_HOME, 0xAC},
};

}  // namespace

int VirtualKeyOf(SDL_Scancode sc, bool numLock) {
  if (sc <= SDL_SCANCODE_UNKNOWN || sc >= SDL_NUM_SCANCODES) return 0;
  if (sc >= SDL_SCANCODE_A && sc <= SDL_SCANCODE_Z) return 'A' + (sc - SDL_SCANCODE_A);
  if (sc >= SDL_SCANCODE_1 && sc <= SDL_SCANCODE_9) return '1' + (sc - SDL_SCANCODE_1);
  if (sc == SDL_SCANCODE_0) return '0';
  if (sc >= SDL_SCANCODE_F1 && sc <= SDL_SCANCODE_F12) return 0x70 + (sc - SDL_SCANCODE_F1);
  if (sc >= SDL_SCANCODE_F13 && sc <= SDL_SCANCODE_F24) return 0x7C + (sc - SDL_SCANCODE_F13);
  // SDL numbers the pad 1..9, 0, point in a row.
  if (sc >= SDL_SCANCODE_KP_1 && sc <= SDL_SCANCODE_KP_PERIOD) {
    return vk::NumberPad(sc - SDL_SCANCODE_KP_1, numLock);
  }
  for (const auto& [code, key] : kNamed)
    if (code == sc) return key;
  return kUnnamedKey;
}

bool IsVirtualKeyHeld(const Uint8* state, int count, int key, bool numLock) {
  if (key <= 0) return false;
  for (int sc = SDL_SCANCODE_UNKNOWN + 1; sc < count && sc < SDL_NUM_SCANCODES; ++sc)
    if (state[sc] && VirtualKeyOf(static_cast<SDL_Scancode>(sc), numLock) == key) return true;
  return false;
}

}  // namespace tk::platform
