// The five-bit text encoding of the settings file and the score payload: a text is spelled
// out as binary digits, regrouped five at a time and written with a 32-symbol alphabet.
// Every operation takes and returns byte strings (the game's texts are Windows-1251).
#pragma once

#include <string>
#include <string_view>

namespace tk {

// Symbol w (0..31) is the character at position w.
inline constexpr std::string_view EncodingAlphabet = "MNBVCXZLKJHGFDSAPYTREWQU98765432";

// Eight digits "0"/"1" per byte, most significant first.
std::string BytesToBits(std::string_view text);
// Pads with "0" in front to a multiple of 5; any digit other than "0" counts as one.
std::string BitsToSymbols(std::string_view bits);
// Five digits per alphabet character; every other character (lower case too) is skipped.
std::string SymbolsToBits(std::string_view symbols);
// Pads with "0" in front to a multiple of 8; any digit other than "1" counts as zero.
std::string BitsToBytes(std::string_view bits);

// A text of n bytes gives ceil(8n / 5) symbols. Decoding returns the text unchanged when n is
// a multiple of 5, else the text preceded by one zero byte: callers that need the text back
// pad it with "%" first.
std::string EncodeText(std::string_view text);
std::string DecodeText(std::string_view symbols);

}  // namespace tk
