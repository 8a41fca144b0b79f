// The browser's keyboard events as the game's keys and typed characters: the same codes the
// desktop's key table gives for the same physical keys.
#include <gtest/gtest.h>

#include <string>

#include "platform/Platform.h"
#include "platform/web/KeyCodes.h"

namespace tk::platform {
namespace {

TEST(WebKeys, EveryKindOfKeyHasItsWindowsCode) {
  struct Case {
    const char* code;
    const char* key;
    int vk;
  };
  const Case cases[] = {
      {"KeyA", "a", 'A'},           {"KeyZ", "Я", 'Z'},  // by position, whatever the layout
      {"KeyQ", "й", 'Q'},           {"Digit0", "0", '0'},
      {"Digit9", "(", '9'},         {"F1", "F1", 0x70},
      {"F12", "F12", 0x7B},         {"F13", "F13", 0x7C},
      {"F24", "F24", 0x87},         {"Enter", "Enter", vk::Enter},
      {"NumpadEnter", "Enter", vk::Enter}, {"Escape", "Escape", vk::Esc},
      {"Space", " ", vk::Space},    {"Backspace", "Backspace", vk::Backspace},
      {"Tab", "Tab", vk::Tab},      {"ArrowLeft", "ArrowLeft", vk::Left},
      {"ArrowUp", "ArrowUp", vk::Up}, {"ArrowRight", "ArrowRight", vk::Right},
      {"ArrowDown", "ArrowDown", vk::Down}, {"ControlLeft", "Control", vk::Ctrl},
      {"ControlRight", "Control", vk::Ctrl}, {"AltLeft", "Alt", vk::Alt},
      {"AltRight", "AltGraph", vk::Alt}, {"ShiftRight", "Shift", vk::Shift},
      {"Pause", "Pause", vk::Pause}, {"Delete", "Delete", vk::Delete},
      {"Semicolon", ";", 0xBA},     {"Backquote", "`", 0xC0},
      {"IntlBackslash", "\\", 0xE2}, {"NumpadAdd", "+", 0x6B},
      {"MetaLeft", "Meta", 0x5B},   {"OSLeft", "OS", 0x5B},
      // The number pad: digits with Num Lock, movement keys without, as its value says.
      {"Numpad8", "8", 0x68},       {"Numpad8", "ArrowUp", vk::Up},
      {"Numpad0", "0", 0x60},       {"Numpad0", "Insert", 0x2D},
      {"Numpad5", "Clear", 0x0C},   {"NumpadDecimal", ",", 0x6E},
      {"NumpadDecimal", "Delete", vk::Delete},
      // A key without a code of its own still counts as a key; no key at all does not.
      {"Lang1", "HangulMode", kWebUnnamedKey}, {"F25", "F25", kWebUnnamedKey},
      {"Keyboard", "", kWebUnnamedKey},
      // Without a code (on-screen keyboards): the value, where it names the key.
      {"", "Enter", vk::Enter},     {"", "Backspace", vk::Backspace},
      {"", "q", 'Q'},               {"", "7", '7'},
      {"", "Unidentified", kWebUnnamedKey}, {"", "", 0},
  };
  for (const auto& c : cases)
    EXPECT_EQ(VirtualKeyOfCode(c.code, c.key, true), c.vk) << c.code << " / " << c.key;
}

TEST(WebKeys, NumLockDecidesOnlyWhenTheKeySaysNothing) {
  EXPECT_EQ(VirtualKeyOfCode("Numpad4", "", true), 0x64);
  EXPECT_EQ(VirtualKeyOfCode("Numpad4", "", false), vk::Left);
  EXPECT_EQ(VirtualKeyOfCode("Numpad4", "4", false), 0x64);
}

TEST(WebKeys, TypedCharactersAreWindows1251AsTheDesktopTypesThem) {
  struct Case {
    const char* key;
    bool ctrl, alt, meta;
    std::string typed;
  };
  const Case cases[] = {
      {"a", false, false, false, "a"},
      {"Z", false, false, false, "Z"},
      {" ", false, false, false, " "},
      {"Я", false, false, false, "\xDF"},
      {"ё", false, false, false, "\xB8"},
      {"€", false, false, false, "\x88"},
      {"😀", false, false, false, "?"},  // outside the code page, as the desktop types it
      {"@", true, true, false, "@"},    // AltGr
      {"a", true, false, false, ""},    // a shortcut
      {"a", false, false, true, ""},
      {"Enter", false, false, false, ""},
      {"ArrowLeft", false, false, false, ""},
      {"Dead", false, false, false, ""},
      {"\t", false, false, false, ""},
      {"", false, false, false, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(TypedText(c.key, c.ctrl, c.alt, c.meta), c.typed) << c.key;
}

TEST(WebKeys, TheBrowserKeepsItsOwnShortcutsOnly) {
  EXPECT_TRUE(BrowserKeepsKey("F5", false, false));
  EXPECT_TRUE(BrowserKeepsKey("F11", false, false));
  EXPECT_TRUE(BrowserKeepsKey("KeyR", true, false));
  EXPECT_TRUE(BrowserKeepsKey("KeyW", false, true));
  EXPECT_TRUE(BrowserKeepsKey("Tab", true, false));
  // The game's keys, with or without Ctrl, stay the game's: no scrolling, no focus moves.
  EXPECT_FALSE(BrowserKeepsKey("ArrowUp", true, false));
  EXPECT_FALSE(BrowserKeepsKey("Space", false, false));
  EXPECT_FALSE(BrowserKeepsKey("Tab", false, false));
  EXPECT_FALSE(BrowserKeepsKey("ControlLeft", true, false));
  EXPECT_FALSE(BrowserKeepsKey("Enter", false, false));
}

}  // namespace
}  // namespace tk::platform
