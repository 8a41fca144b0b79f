#include "media/Trig.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>

// Every product and sum below must be rounded on its own: the file is built with
// -ffp-contract=off (src/media/CMakeLists.txt).

namespace tk {

namespace {

// A value as an unevaluated sum hi + lo with |lo| <= half an ulp of hi.
struct DD {
  double Hi, Lo;
};

DD QuickTwoSum(double a, double b) {  // |a| >= |b|
  const double s = a + b;
  return {s, b - (s - a)};
}

DD TwoSum(double a, double b) {
  const double s = a + b;
  const double bb = s - a;
  return {s, (a - (s - bb)) + (b - bb)};
}

// Splits a into two halves of 26 bits each, so their products are exact.
void Split(double a, double& hi, double& lo) {
  const double t = 134217729.0 * a;  // 2^27 + 1
  hi = t - (t - a);
  lo = a - hi;
}

DD TwoProd(double a, double b) {
  const double p = a * b;
  double ah, al, bh, bl;
  Split(a, ah, al);
  Split(b, bh, bl);
  return {p, ((ah * bh - p) + ah * bl + al * bh) + al * bl};
}

DD Add(DD a, DD b) {
  const DD s = TwoSum(a.Hi, b.Hi);
  const DD t = TwoSum(a.Lo, b.Lo);
  DD r = QuickTwoSum(s.Hi, s.Lo + t.Hi);
  return QuickTwoSum(r.Hi, r.Lo + t.Lo);
}

DD Mul(DD a, DD b) {
  const DD p = TwoProd(a.Hi, b.Hi);
  return QuickTwoSum(p.Hi, p.Lo + (a.Hi * b.Lo + a.Lo * b.Hi));
}

DD Mul(DD a, double b) {
  const DD p = TwoProd(a.Hi, b);
  return QuickTwoSum(p.Hi, p.Lo + a.Lo * b);
}

DD Div(DD a, double d) {
  const double q1 = a.Hi / d;
  const DD p = TwoProd(q1, d);
  const DD s = TwoSum(a.Hi, -p.Hi);
  const double q2 = (s.Hi + ((s.Lo - p.Lo) + a.Lo)) / d;
  return QuickTwoSum(q1, q2);
}

// pi / 2 as three doubles (about 160 bits).
constexpr double kPio2[3] = {1.5707963267948966, 6.123233995736766e-17, -1.4973849048591698e-33};
constexpr double kTwoOverPi = 0.63661977236758134;

// x - k pi/2 for the nearest k: the remainder (|r| <= pi/4 and a little) and k mod 4.
DD Reduce(double x, int& quadrant) {
  const double k = std::nearbyint(x * kTwoOverPi);
  quadrant = static_cast<int>(std::fmod(k, 4.0));
  if (quadrant < 0) quadrant += 4;
  DD r{x, 0};
  for (double p : kPio2) r = Add(r, TwoProd(-k, p));
  return r;
}

// The series of sin r and cos r, summed from the smallest term up (|r| < 0.8: the last
// terms left out are below 2^-110 of the result).
DD SinSeries(DD r) {
  const DD r2 = Mul(r, r);
  DD s{1, 0};
  for (int m = 29; m >= 3; m -= 2) s = Add(DD{1, 0}, Div(Mul(Mul(s, r2), -1.0), (m - 1.0) * m));
  return Mul(s, r);
}

DD CosSeries(DD r) {
  const DD r2 = Mul(r, r);
  DD s{1, 0};
  for (int m = 28; m >= 2; m -= 2) s = Add(DD{1, 0}, Div(Mul(Mul(s, r2), -1.0), (m - 1.0) * m));
  return s;
}

double Round(DD v) { return v.Hi + v.Lo; }

uint64_t Bits(double d) {
  uint64_t u;
  std::memcpy(&u, &d, sizeof u);
  return u;
}

double FromBits(uint64_t u) {
  double d;
  std::memcpy(&d, &u, sizeof d);
  return d;
}

// The angles the game uses (the insects' phases, every aim of the tongue, the turns of a
// picture) where the desktop's library rounds its result the other way, a last-bit
// difference from the exact value: games recorded before these functions were ours
// must still play back the same. The media tests go through every such angle.
struct LibraryRounding {
  uint64_t Angle;
  bool Cosine;
  uint64_t Value;
  constexpr bool operator<(const LibraryRounding& o) const {
    return Angle != o.Angle ? Angle < o.Angle : Cosine < o.Cosine;
  }
};
constexpr LibraryRounding kLibraryRoundings[] = {
    {0x3fe21877845a0bfe, false, 0x3fe1257e3c182b52},  // sin 0.5654866776461629
    {0x3feff24e4226df6e, true, 0x3fe155ac74e4732c},  // cos 0.9983283321407563
    {0x3ff1d8208611af68, true, 0x3fdc27f69eb0aca8},  // cos 1.1152653920243782
    {0x3ff7b563b354caf5, true, 0x3fb6c1c6d1d79fea},  // cos 1.4817845349431853
    {0x3ffc581a056f0558, true, 0xbfc984e37318b212},  // cos 1.7715091907742444
    {0x3ffc66663df0e104, true, 0xbfc9f4ef20ccdd78},  // cos 1.774999849278232
    {0x3ffdf6bc6c24e865, true, 0xbfd308309fb43cc4},  // cos 1.8727382873899157
    {0x401ceeeeeeeeeeef, true, 0x3fe29c29546c321a},  // cos 7.233333333333333
    {0x4021b33333333333, false, 0x3fe165916bc22614},  // sin 8.85
    {0x4038eeeeeeeeeeef, true, 0x3fef5daaeafaacf0},  // cos 24.933333333333334
    {0x403d333333333333, false, 0xbfe991957df4a096},  // sin 29.2
    {0x40408eeeeeeeeeef, true, 0xbfc09606935294f2},  // cos 33.11666666666667
    {0x40428ccccccccccd, true, 0x3fea6d41417ad72a},  // cos 37.1
    {0x4042bd70a3d70a3d, false, 0xbfcbd28b36de2bae},  // sin 37.48
    {0x4043e66666666666, true, 0xbfe02dfa69fb1240},  // cos 39.8
    {0x404523d70a3d70a4, true, 0xbfc0c89c5ca5e804},  // cos 42.28
    {0x4047c22222222222, false, 0xbfd87f100cf0deae},  // sin 47.516666666666666
    {0x40492eeeeeeeeeef, false, 0x3fb9dbe6181cbbf0},  // sin 50.36666666666667
    {0x404930a3d70a3d71, false, 0x3fbd40a0ecb5bb34},  // sin 50.38
    {0x404a4aaaaaaaaaab, true, 0xbfe5be4e35aeceb8},  // cos 52.583333333333336
    {0x404b91eb851eb852, true, 0x3fc4a9628cc6701c},  // cos 55.14
    {0x404ccccccccccccd, false, 0x3febc75ae6c5f404},  // sin 57.6
    {0x404f1dddddddddde, true, 0x3fea6ffd2d5341de},  // cos 62.233333333333334
    {0x40510aaaaaaaaaab, true, 0x3fe2a7fddc3da02a},  // cos 68.16666666666667
    {0x405350a3d70a3d71, true, 0xbfd25c6cb73c3d02},  // cos 77.26
    {0x40543dddddddddde, true, 0x3fe82b1b87f316f0},  // cos 80.96666666666667
    {0x405d2aaaaaaaaaab, true, 0xbfed1df3931a9d42},  // cos 116.66666666666667
    {0x4069000000000000, true, 0x3fdf2e1536cad6e8},  // cos 200.0
    {0x406fbccccccccccd, true, 0xbfeaf53f89e0d4c4},  // cos 253.9
    {0x40745ccccccccccd, true, 0x3fe33e11379ce616},  // cos 325.8
    {0x4077733333333333, false, 0xbfef39f9c464c200},  // sin 375.2
    {0x4078a80000000000, true, 0x3fcd324250afdb06},  // cos 394.5
};
static_assert(std::is_sorted(std::begin(kLibraryRoundings), std::end(kLibraryRoundings)));

double SinCos(double x, bool cosine) {
  if (!std::isfinite(x)) return std::nan("");
  if (x == 0) return cosine ? 1.0 : x;  // keeps the sign of a negative zero
  const LibraryRounding key{Bits(x), cosine, 0};
  const auto* it = std::lower_bound(std::begin(kLibraryRoundings), std::end(kLibraryRoundings), key);
  if (it != std::end(kLibraryRoundings) && it->Angle == key.Angle && it->Cosine == cosine)
    return FromBits(it->Value);
  int q = 0;
  const DD r = Reduce(x, q);
  if (cosine) q = (q + 1) & 3;  // cos x = sin(x + pi/2)
  switch (q) {
    case 0: return Round(SinSeries(r));
    case 1: return Round(CosSeries(r));
    case 2: return -Round(SinSeries(r));
    default: return -Round(CosSeries(r));
  }
}

}  // namespace

double Sin(double x) { return SinCos(x, false); }
double Cos(double x) { return SinCos(x, true); }

}  // namespace tk
