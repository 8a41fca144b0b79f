#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "Recipe.h"
#include "Stats.h"
#include "Synth.h"

using namespace tk::synth;

namespace {

Recipe FromJson(const char* text, const char* name = "t") {
  return ParseRecipe(nlohmann::json::parse(text), name);
}

int ZeroCrossings(const std::vector<double>& s, size_t from, size_t to) {
  int n = 0;
  for (size_t i = from + 1; i < to; ++i)
    if ((s[i - 1] < 0) != (s[i] < 0)) ++n;
  return n;
}

}  // namespace

TEST(Synth, SameRecipeGivesSameSamplesAndTheSeedMatters) {
  const char* text = R"({"length": 0.4, "highpass": 40, "layers": [
      {"wave": "noise", "seed": 5, "lowpass": [3000, 300], "q": 2, "env": [0.01, 0.1, 0.5, 0.1]},
      {"wave": "square", "freq": [300, 900], "duty": 0.3, "vibrato": [0.5, 7],
       "copies": {"count": 4, "seed": 9, "pitch": 0.2, "level": 0.5}, "length": 0.05},
      {"wave": "saw", "freq": 200, "arp": {"semitones": [0, 4, 7], "step": 0.1}, "length": 0.1}]})";
  Recipe r = FromJson(text);
  std::vector<int16_t> a = ToInt16(Render(r)), b = ToInt16(Render(FromJson(text)));
  EXPECT_EQ(a, b);
  r.Layers[0].Seed = 6;
  EXPECT_NE(ToInt16(Render(r)), a);
}

TEST(Synth, OscillatorsRunAtTheirFrequency) {
  for (const char* wave : {"sine", "square", "saw", "triangle"}) {
    SCOPED_TRACE(wave);
    std::string text = std::string(R"({"rate": 44100, "length": 1, "layers": [{"wave": ")") + wave +
                       R"(", "freq": 441}]})";
    std::vector<double> s = Render(FromJson(text.c_str()));
    ASSERT_EQ(s.size(), 44100u);
    EXPECT_NEAR(ZeroCrossings(s, 1000, 45100 - 1000 - 1000), 2 * 441 * 0.9546, 3);
  }
}

TEST(Synth, ExponentialSweepIsEvenInPitch) {
  // 200 Hz to 800 Hz over one second passes 400 Hz half way.
  std::vector<double> s = Render(FromJson(R"({"rate": 44100, "length": 1,
      "layers": [{"wave": "sine", "freq": [200, 800]}]})"));
  int mid = ZeroCrossings(s, 22050 - 2205, 22050 + 2205);  // 0.1 s around the middle
  EXPECT_NEAR(mid, 2 * 400 * 0.1, 3);
}

TEST(Synth, OneShotsStartAndEndSilentAndHitTheirPeak) {
  // A saw starts at full swing and a hard attack would click; the edges must not.
  Recipe r = FromJson(R"({"length": 0.2, "peak": 0.8, "layers": [
      {"wave": "saw", "freq": 333, "env": [0, 0, 1, 0]},
      {"wave": "noise", "env": [0, 0, 1, 0]}]})");
  std::vector<int16_t> s = ToInt16(Render(r));
  WaveStats st = Measure(s);
  EXPECT_EQ(st.Peak, std::lround(0.8 * 32767));
  EXPECT_LE(std::abs(st.First), 330);
  EXPECT_LE(std::abs(st.Last), 330);
  EXPECT_TRUE(Problems(st, false).empty());
}

TEST(Synth, LoopsWrapWithoutAStep) {
  // Frequencies that do not fit the loop, vibrato, tremolo, filtered noise and events that
  // run over the loop's end: each must meet the loop's start as if the sound went on.
  // Smooth waves only: the steps of a saw or square would hide a click.
  const char* layers[] = {
      R"({"wave": "triangle", "freq": 217.3, "vibrato": [0.7, 5.3]})",
      R"({"wave": "sine", "freq": 1001.7, "tremolo": [0.9, 3.1], "lowpass": 3000})",
      R"({"wave": "noise", "smooth": 500, "bandpass": 400, "q": 3})",
      R"({"wave": "noise", "lowpass": 200})",
      R"({"wave": "sine", "freq": [100, 300], "length": 0.1,
          "copies": {"count": 3, "seed": 3, "from": 0.46, "to": 0.5}})"};
  for (const char* layer : layers) {
    SCOPED_TRACE(layer);
    Recipe r = FromJson(
        (std::string(R"({"looped": true, "length": 0.5137, "highpass": 30, "layers": [)") + layer + "]}").c_str());
    r.QuietStart = false;
    std::vector<double> raw = Render(r);
    ASSERT_EQ(raw.size(), size_t(std::lround(0.5137 * 22050)));
    WaveStats st = Measure(ToInt16(raw));
    EXPECT_LE(st.SeamJump, st.LocalStep + 2) << Describe("raw", st, 22050, true);

    // Turned to start at a quiet point: the same sound, still seamless.
    r.QuietStart = true;
    std::vector<double> turned = Render(r);
    WaveStats tst = Measure(ToInt16(turned));
    EXPECT_TRUE(Problems(tst, true).empty()) << Describe("turned", tst, 22050, true);
    EXPECT_LE(std::abs(tst.First), 1000);
    std::vector<double> twice = raw;
    twice.insert(twice.end(), raw.begin(), raw.end());
    EXPECT_NE(std::search(twice.begin(), twice.end(), turned.begin(), turned.end()), twice.end());
  }
}

TEST(Synth, SeamCheckCatchesAClick) {
  // 2.5 cycles of a sine: the loop jumps from the bottom of a slope to its top.
  std::vector<int16_t> s(1000);
  for (size_t i = 0; i < s.size(); ++i)
    s[i] = int16_t(std::lround(16000 * std::sin(2 * 3.14159265358979 * 2.5 * (double(i) + 100) / 1000)));
  std::vector<std::string> p = Problems(Measure(s), true);
  ASSERT_EQ(p.size(), 1u);
  EXPECT_NE(p[0].find("loop seam"), std::string::npos);
  EXPECT_EQ(Problems(Measure(s), false).size(), 2u);  // as a one-shot: clicks at both ends
}

TEST(Recipe, RejectsUnknownKeysAndBadValues) {
  for (const char* text : {R"({"layers": [{"wave": "sine", "frq": 440}]})",
                           R"({"lenght": 1, "layers": [{"wave": "sine"}]})",
                           R"({"layers": [{"wave": "organ"}]})",
                           R"({"layers": [{"wave": "sine", "env": [0.1, 0.1, 2, 0.1]}]})",
                           R"({"layers": []})"}) {
    SCOPED_TRACE(text);
    EXPECT_THROW(FromJson(text), std::runtime_error);
  }
}
