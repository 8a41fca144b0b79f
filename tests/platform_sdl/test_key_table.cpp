// The physical keys and the virtual-key codes the game's key tables use.
#include <gtest/gtest.h>

#include <SDL_keyboard.h>

#include <array>

#include "platform/Platform.h"
#include "platform/sdl/KeyTable.h"

namespace tk::platform {
namespace {

TEST(KeyTable, EveryKindOfKeyHasItsWindowsCode) {
  struct Case {
    SDL_Scancode sc;
    int vk;
  };
  const Case cases[] = {
      {SDL_SCANCODE_A, 'A'},         {SDL_SCANCODE_Z, 'Z'},
      {SDL_SCANCODE_0, '0'},         {SDL_SCANCODE_1, '1'},
      {SDL_SCANCODE_9, '9'},         {SDL_SCANCODE_F1, 0x70},
      {SDL_SCANCODE_F10, 0x79},      {SDL_SCANCODE_F12, 0x7B},
      {SDL_SCANCODE_F13, 0x7C},      {SDL_SCANCODE_F24, 0x87},
      {SDL_SCANCODE_RETURN, vk::Enter}, {SDL_SCANCODE_KP_ENTER, vk::Enter},
      {SDL_SCANCODE_ESCAPE, vk::Esc}, {SDL_SCANCODE_SPACE, vk::Space},
      {SDL_SCANCODE_BACKSPACE, vk::Backspace}, {SDL_SCANCODE_TAB, vk::Tab},
      {SDL_SCANCODE_LEFT, vk::Left}, {SDL_SCANCODE_UP, vk::Up},
      {SDL_SCANCODE_RIGHT, vk::Right}, {SDL_SCANCODE_DOWN, vk::Down},
      {SDL_SCANCODE_LCTRL, vk::Ctrl}, {SDL_SCANCODE_RCTRL, vk::Ctrl},
      {SDL_SCANCODE_LALT, vk::Alt},  {SDL_SCANCODE_RALT, vk::Alt},
      {SDL_SCANCODE_LSHIFT, vk::Shift}, {SDL_SCANCODE_RSHIFT, vk::Shift},
      {SDL_SCANCODE_INSERT, 0x2D},   {SDL_SCANCODE_DELETE, vk::Delete},
      {SDL_SCANCODE_HOME, vk::Home}, {SDL_SCANCODE_END, vk::End},
      {SDL_SCANCODE_PAGEUP, vk::PageUp}, {SDL_SCANCODE_PAGEDOWN, vk::PageDown},
      {SDL_SCANCODE_PAUSE, vk::Pause}, {SDL_SCANCODE_CAPSLOCK, 0x14},
      {SDL_SCANCODE_NUMLOCKCLEAR, 0x90}, {SDL_SCANCODE_SCROLLLOCK, 0x91},
      {SDL_SCANCODE_PRINTSCREEN, 0x2C}, {SDL_SCANCODE_LGUI, 0x5B},
      {SDL_SCANCODE_APPLICATION, 0x5D},
      {SDL_SCANCODE_SEMICOLON, 0xBA}, {SDL_SCANCODE_EQUALS, 0xBB},
      {SDL_SCANCODE_COMMA, 0xBC},    {SDL_SCANCODE_MINUS, 0xBD},
      {SDL_SCANCODE_PERIOD, 0xBE},   {SDL_SCANCODE_SLASH, 0xBF},
      {SDL_SCANCODE_GRAVE, 0xC0},    {SDL_SCANCODE_LEFTBRACKET, 0xDB},
      {SDL_SCANCODE_BACKSLASH, 0xDC}, {SDL_SCANCODE_RIGHTBRACKET, 0xDD},
      {SDL_SCANCODE_APOSTROPHE, 0xDE}, {SDL_SCANCODE_NONUSBACKSLASH, 0xE2},
      {SDL_SCANCODE_KP_MULTIPLY, 0x6A}, {SDL_SCANCODE_KP_PLUS, 0x6B},
      {SDL_SCANCODE_KP_MINUS, 0x6D}, {SDL_SCANCODE_KP_DIVIDE, 0x6F},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VirtualKeyOf(c.sc, true), c.vk) << SDL_GetScancodeName(c.sc);
    EXPECT_EQ(VirtualKeyOf(c.sc, false), c.vk) << SDL_GetScancodeName(c.sc);
  }
}

TEST(KeyTable, NumberPadFollowsNumLock) {
  struct Case {
    SDL_Scancode sc;
    int withLock, without;
  };
  const Case cases[] = {
      {SDL_SCANCODE_KP_0, 0x60, 0x2D},          {SDL_SCANCODE_KP_1, 0x61, vk::End},
      {SDL_SCANCODE_KP_2, 0x62, vk::Down},      {SDL_SCANCODE_KP_3, 0x63, vk::PageDown},
      {SDL_SCANCODE_KP_4, 0x64, vk::Left},      {SDL_SCANCODE_KP_5, 0x65, 0x0C},
      {SDL_SCANCODE_KP_6, 0x66, vk::Right},     {SDL_SCANCODE_KP_7, 0x67, vk::Home},
      {SDL_SCANCODE_KP_8, 0x68, vk::Up},        {SDL_SCANCODE_KP_9, 0x69, vk::PageUp},
      {SDL_SCANCODE_KP_PERIOD, 0x6E, vk::Delete},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VirtualKeyOf(c.sc, true), c.withLock) << SDL_GetScancodeName(c.sc);
    EXPECT_EQ(VirtualKeyOf(c.sc, false), c.without) << SDL_GetScancodeName(c.sc);
  }
}

TEST(KeyTable, NoKeyIsDroppedBeforeTheGameSeesIt) {
  // Every real scancode reaches the game with some code; a key Windows has no name for
  // comes as the unnamed key rather than not at all.
  for (int sc = SDL_SCANCODE_A; sc < SDL_NUM_SCANCODES; ++sc)
    EXPECT_GT(VirtualKeyOf(static_cast<SDL_Scancode>(sc), true), 0) << sc;
  EXPECT_EQ(VirtualKeyOf(SDL_SCANCODE_UNKNOWN, true), 0);
  EXPECT_EQ(VirtualKeyOf(SDL_SCANCODE_INTERNATIONAL1, true), kUnnamedKey);
}

TEST(KeyTable, HeldKeysAreFoundThroughAnyOfTheirPhysicalKeys) {
  std::array<Uint8, SDL_NUM_SCANCODES> state{};
  EXPECT_FALSE(IsVirtualKeyHeld(state.data(), SDL_NUM_SCANCODES, vk::Enter, true));
  state[SDL_SCANCODE_KP_ENTER] = 1;
  EXPECT_TRUE(IsVirtualKeyHeld(state.data(), SDL_NUM_SCANCODES, vk::Enter, true));
  state[SDL_SCANCODE_KP_ENTER] = 0;
  state[SDL_SCANCODE_RCTRL] = 1;
  EXPECT_TRUE(IsVirtualKeyHeld(state.data(), SDL_NUM_SCANCODES, vk::Ctrl, false));
  state[SDL_SCANCODE_RCTRL] = 0;
  // The pad's 8 is Up without Num Lock and Numpad 8 with it.
  state[SDL_SCANCODE_KP_8] = 1;
  EXPECT_TRUE(IsVirtualKeyHeld(state.data(), SDL_NUM_SCANCODES, vk::Up, false));
  EXPECT_FALSE(IsVirtualKeyHeld(state.data(), SDL_NUM_SCANCODES, vk::Up, true));
  EXPECT_TRUE(IsVirtualKeyHeld(state.data(), SDL_NUM_SCANCODES, 0x68, true));
  // A short state array is never read past its end.
  EXPECT_FALSE(IsVirtualKeyHeld(state.data(), SDL_SCANCODE_KP_8, vk::Up, false));
  EXPECT_FALSE(IsVirtualKeyHeld(state.data(), SDL_NUM_SCANCODES, 0, false));
}

}  // namespace
}  // namespace tk::platform
