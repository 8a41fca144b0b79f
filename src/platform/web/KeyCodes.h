// The browser's keyboard events as the game's key tables know them: the physical key
// (KeyboardEvent.code) as a Windows virtual-key code, the way the desktop maps SDL's
// scancodes, and the character a key press types as Windows-1251 bytes.
#pragma once

#include <string>
#include <string_view>

namespace tk::platform {

// Keys that have no code of their own arrive as this one, so "any other key" still sees them.
constexpr int kWebUnnamedKey = 0xFF;

// The virtual key of a physical key (by position, so letters work in every layout). Number
// pad keys without Num Lock are the movement keys they are labelled with: the key's value
// tells which (numLock only when there is none). A browser that gives no code (some
// on-screen keyboards) is answered from the key's value instead. 0 for no key at all.
int VirtualKeyOfCode(std::string_view code, std::string_view key, bool numLock);

// What a key press types, as the desktop's text input gives it: the key's value when it is
// one character and no Ctrl or Meta shortcut is held (AltGr, which browsers report as Ctrl
// and Alt together, still types), converted to Windows-1251 ('?' outside it). Empty for
// keys that type nothing (Enter, arrows, F-keys, shortcuts).
std::string TypedText(std::string_view key, bool ctrl, bool alt, bool meta);

// Whether the browser's own use of a key press is left to it (reload, its full screen,
// developer tools, Ctrl or Meta with a letter, digit or Tab: new tab, close, ...). The game
// sees the press either way; every other key's default (scrolling, focus moves, the
// window menu on Alt) is stopped.
bool BrowserKeepsKey(std::string_view code, bool ctrl, bool meta);

}  // namespace tk::platform
