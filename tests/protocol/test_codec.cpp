#include <gtest/gtest.h>

#include <set>
#include <string>

#include "protocol/Codec.h"

namespace tk {
namespace {

using namespace std::string_literals;

TEST(EncodingAlphabet, HoldsThirtyTwoDistinctUpperCaseSymbols) {
  const std::set<char> distinct(EncodingAlphabet.begin(), EncodingAlphabet.end());
  EXPECT_EQ(distinct.size(), 32u);
  for (char c : EncodingAlphabet) EXPECT_TRUE((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'));
}

TEST(BytesToBits, SpellsEachByteMostSignificantBitFirst) {
  EXPECT_EQ(BytesToBits("A"), "01000001");
  EXPECT_EQ(BytesToBits(""), "");
  EXPECT_EQ(BytesToBits("\x80\x01\xFF"s), "100000000000000111111111");
  EXPECT_EQ(BytesToBits("\0"s), "00000000");
}

struct TBitsCase {
  std::string bits;
  std::string expected;
};

class BitsToSymbolsCase : public testing::TestWithParam<TBitsCase> {};

TEST_P(BitsToSymbolsCase, PadsInFrontAndCountsAnyNonZeroAsOne) {
  EXPECT_EQ(BitsToSymbols(GetParam().bits), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codec, BitsToSymbolsCase,
    testing::Values(TBitsCase{"", ""}, TBitsCase{"1", "N"},       // 00001
                    TBitsCase{"00000", "M"}, TBitsCase{"11111", "2"},
                    TBitsCase{"10000", "P"},                        // 16
                    TBitsCase{"100000", "NM"},                      // 00001 00000
                    TBitsCase{"1x1a1", "2"}, TBitsCase{"2 000", "9"}));

class BitsToBytesCase : public testing::TestWithParam<TBitsCase> {};

TEST_P(BitsToBytesCase, PadsInFrontAndCountsAnythingButOneAsZero) {
  EXPECT_EQ(BitsToBytes(GetParam().bits), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Codec, BitsToBytesCase,
    testing::Values(TBitsCase{"", ""}, TBitsCase{"101", "\x05"},
                    // Seven zeros go in front of nine ones: 00000001 11111111.
                    TBitsCase{"111111111", "\x01\xFF"},
                    TBitsCase{"00000000", "\0"s}, TBitsCase{"1111111x", "\xFE"},
                    TBitsCase{"2222 222", "\0"s}, TBitsCase{"0100000101000010", "AB"}));

TEST(SymbolsToBits, SkipsEverythingOutsideTheAlphabet) {
  EXPECT_EQ(SymbolsToBits("M2"), "0000011111");
  EXPECT_EQ(SymbolsToBits(" M\r\n2\t"), "0000011111");
  EXPECT_EQ(SymbolsToBits("m2n"), "11111");  // lower case is not in the alphabet
  EXPECT_EQ(SymbolsToBits("\xC2\xE0\x80\xFF"), "");
}

TEST(EncodeText, KnownTexts) {
  EXPECT_EQ(EncodeText(""), "");
  EXPECT_EQ(EncodeText("A"), "BN");  // 00 01000001 -> 00010 00001
  EXPECT_EQ(EncodeText("\xFF\xFF\xFF\xFF\xFF"), "22222222");
  EXPECT_EQ(EncodeText("\0\0\0\0\0"s), "MMMMMMMM");
}

TEST(EncodeText, LengthIsEightBitsPerByteRoundedUpToSymbols) {
  for (size_t n = 0; n <= 20; ++n)
    EXPECT_EQ(EncodeText(std::string(n, 'x')).size(), (8 * n + 4) / 5) << n;
}

TEST(DecodeText, FiveByteMultiplesRoundTripExactly) {
  EXPECT_EQ(EncodeText("false").size(), 8u);
  EXPECT_EQ(DecodeText(EncodeText("false")), "false");
  EXPECT_EQ(DecodeText(EncodeText("0123456789")), "0123456789");
}

TEST(DecodeText, OtherLengthsComeBackAfterOneZeroByte) {
  EXPECT_EQ(EncodeText("true").size(), 7u);
  EXPECT_EQ(DecodeText(EncodeText("true")), "\0true"s);
  for (size_t n = 1; n <= 14; ++n) {
    if (n % 5 == 0) continue;
    const std::string text(n, 'q');
    EXPECT_EQ(DecodeText(EncodeText(text)), "\0"s + text) << n;
  }
}

TEST(DecodeText, IgnoresStrayCharactersAnywhere) {
  const std::string clean = EncodeText("Hello");
  std::string noisy;
  for (char c : clean) noisy += std::string(1, c) + " \r";
  EXPECT_EQ(DecodeText("\t" + noisy + "abc\r\n"), "Hello");
  EXPECT_EQ(DecodeText(""), "");
  EXPECT_EQ(DecodeText(" \r\nmnbvc-"), "");
}

TEST(DecodeText, EveryByteValueSurvivesTheRoundTrip) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  all += "\xFF\x00\x80\x7F"s;  // 260 bytes, a multiple of 5
  EXPECT_EQ(DecodeText(EncodeText(all)), all);
  for (int b = 0; b < 256; ++b) {
    const std::string text(5, static_cast<char>(b));
    ASSERT_EQ(DecodeText(EncodeText(text)), text) << b;
  }
}

}  // namespace
}  // namespace tk
