// Windows-1251 <-> UTF-8 at the edges (fonts, typed text, tool output, sources).
#pragma once

#include <string>
#include <string_view>

namespace tk {

std::string Utf8ToCp1251(std::string_view utf8);  // characters outside 1251 become '?'
std::string Cp1251ToUtf8(std::string_view cp1251);
// A Russian text written in the sources (UTF-8) as the game's own 1251 bytes.
inline std::string Cp(std::string_view utf8) { return Utf8ToCp1251(utf8); }
// Locale-aware single-byte case mapping of Windows-1251.
unsigned char LowerCp1251(unsigned char c);
unsigned char UpperCp1251(unsigned char c);
std::string LowerCp1251(std::string_view s);
bool SameTextCp1251(std::string_view a, std::string_view b);

}  // namespace tk
