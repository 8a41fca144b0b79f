#include "protocol/Codec.h"

#include <array>
#include <cstdint>

namespace tk {

namespace {

// Value of each character in the alphabet, -1 for every other byte.
constexpr std::array<int8_t, 256> MakeSymbolValues() {
  std::array<int8_t, 256> values{};
  for (auto& v : values) v = -1;
  for (size_t w = 0; w < EncodingAlphabet.size(); ++w)
    values[static_cast<unsigned char>(EncodingAlphabet[w])] = static_cast<int8_t>(w);
  return values;
}
constexpr std::array<int8_t, 256> kSymbolValues = MakeSymbolValues();

static_assert(EncodingAlphabet.size() == 32);

}  // namespace

std::string BytesToBits(std::string_view text) {
  std::string bits;
  bits.reserve(text.size() * 8);
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    for (int bit = 7; bit >= 0; --bit) bits += ((b >> bit) & 1) ? '1' : '0';
  }
  return bits;
}

std::string BitsToSymbols(std::string_view bits) {
  const size_t padding = (5 - bits.size() % 5) % 5;
  std::string symbols;
  symbols.reserve((bits.size() + padding) / 5);
  unsigned value = 0;
  size_t inGroup = padding;  // the padding digits are zeros already in the group
  for (char digit : bits) {
    value = (value << 1) | (digit != '0' ? 1u : 0u);
    if (++inGroup == 5) {
      symbols += EncodingAlphabet[value];
      value = 0;
      inGroup = 0;
    }
  }
  return symbols;
}

std::string SymbolsToBits(std::string_view symbols) {
  std::string bits;
  bits.reserve(symbols.size() * 5);
  for (char ch : symbols) {
    const int value = kSymbolValues[static_cast<unsigned char>(ch)];
    if (value < 0) continue;
    for (int bit = 4; bit >= 0; --bit) bits += ((value >> bit) & 1) ? '1' : '0';
  }
  return bits;
}

std::string BitsToBytes(std::string_view bits) {
  const size_t padding = (8 - bits.size() % 8) % 8;
  std::string bytes;
  bytes.reserve((bits.size() + padding) / 8);
  unsigned value = 0;
  size_t inGroup = padding;
  for (char digit : bits) {
    value = (value << 1) | (digit == '1' ? 1u : 0u);
    if (++inGroup == 8) {
      bytes += static_cast<char>(value);
      value = 0;
      inGroup = 0;
    }
  }
  return bytes;
}

std::string EncodeText(std::string_view text) { return BitsToSymbols(BytesToBits(text)); }

std::string DecodeText(std::string_view symbols) { return BitsToBytes(SymbolsToBits(symbols)); }

}  // namespace tk
