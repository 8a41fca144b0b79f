#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <unistd.h>
#include <vector>

#include "media/Mixer.h"
#include "media/Sound.h"
#include "media/XmModule.h"

namespace tk {
namespace {

TWave MakeWave(int channels, int bits, uint32_t rate, const std::vector<int>& samples) {
  TWave w;
  w.Format.Channels = static_cast<uint16_t>(channels);
  w.Format.BitsPerSample = static_cast<uint16_t>(bits);
  w.Format.SamplesPerSec = rate;
  w.Format.BlockAlign = static_cast<uint16_t>(channels * bits / 8);
  w.Format.AvgBytesPerSec = rate * w.Format.BlockAlign;
  std::string bytes;
  for (int v : samples) {
    if (bits == 8) {
      bytes.push_back(static_cast<char>(v));
    } else {
      bytes.push_back(static_cast<char>(v & 0xFF));
      bytes.push_back(static_cast<char>((v >> 8) & 0xFF));
    }
  }
  w.Data = std::make_shared<const std::string>(bytes);
  return w;
}

std::vector<int16_t> Render(TMixer& m, int frames) {
  std::vector<int16_t> out(2 * static_cast<size_t>(frames), 12345);
  m.Mix(out.data(), frames);
  return out;
}

bool Silent(const std::vector<int16_t>& v) {
  return std::all_of(v.begin(), v.end(), [](int16_t s) { return s == 0; });
}

TEST(Mixer, VoiceSoundsWhilePlayingAndIsSilentAfterStop) {
  TMixer m(44100);
  EXPECT_TRUE(Silent(Render(m, 256)));  // nothing playing: silence, not stale bytes
  TSoundBuffer b(m, MakeWave(1, 16, 44100, std::vector<int>(1000, 5000)));
  b.Play(true);
  EXPECT_EQ(m.ActiveVoices(), 1);
  const auto playing = Render(m, 256);
  EXPECT_TRUE(std::all_of(playing.begin(), playing.end(), [](int16_t s) { return s == 5000; }));
  b.Stop();
  EXPECT_FALSE(b.Playing());
  EXPECT_EQ(m.ActiveVoices(), 0);
  EXPECT_TRUE(Silent(Render(m, 256)));
}

TEST(Mixer, OnceEndsAtTheLastFrameAndLoopGoesRound) {
  TMixer m(44100);
  const TWave w = MakeWave(1, 16, 44100, std::vector<int>(100, 1000));
  TSoundBuffer once(m, w), looped(m, w);
  once.Play(false);
  const auto out = Render(m, 150);
  EXPECT_EQ(out[2 * 99], 1000);
  EXPECT_EQ(out[2 * 100], 0);
  EXPECT_FALSE(once.Playing());
  EXPECT_EQ(once.Position(), 0u);  // a finished buffer starts from the top again

  looped.Play(true);
  Render(m, 1050);
  EXPECT_TRUE(looped.Playing());
  EXPECT_EQ(looped.Position(), 2u * 50);  // 1050 frames into a 100-frame loop
}

TEST(Mixer, LoudSumsAreLimitedBelowFullScaleInsteadOfWrapping) {
  TMixer m(44100);
  TSoundBuffer a(m, MakeWave(1, 16, 44100, std::vector<int>(64, 30000)));
  TSoundBuffer b(m, MakeWave(1, 16, 44100, std::vector<int>(64, 30000)));
  TSoundBuffer c(m, MakeWave(2, 16, 44100, {-30000, -30000, -30000, -30000}));
  TSoundBuffer d(m, MakeWave(2, 16, 44100, {-30000, -30000, -30000, -30000}));
  a.Play(true);
  b.Play(true);
  auto out = Render(m, 32);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(),
                          [](int16_t s) { return s > 20000 && s <= TLimiter::Ceiling; }));
  a.Stop();
  b.Stop();
  c.Play(true);
  d.Play(true);
  // The music adds on top and is limited the same way.
  m.SetMusic([](int16_t* o, int n) { std::fill_n(o, 2 * n, int16_t{-20000}); });
  out = Render(m, 32);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(),
                          [](int16_t s) { return s < -20000 && s >= -TLimiter::Ceiling; }));
}

TEST(Mixer, EightBitMono11025IsStretchedAndInterpolated) {
  TMixer m(44100);
  // Unsigned 8-bit: 128 is silence, each step of 1 is 256 in the output.
  TSoundBuffer b(m, MakeWave(1, 8, 11025, {128, 192, 64, 128}));
  b.Play(false);
  const auto out = Render(m, 20);
  // Four output frames per input frame, the in-between ones on the line between samples.
  const int expected[] = {0,     4096,  8192,  12288, 16384, 8192,
                          0,     -8192, -16384, -12288, -8192, -4096,
                          0,     0,     0,     0,     0,     0, 0, 0};
  for (int i = 0; i < 20; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(out[2 * i], expected[i]);
    EXPECT_EQ(out[2 * i + 1], expected[i]);  // mono goes to both sides
  }
  EXPECT_FALSE(b.Playing());
}

TEST(Mixer, SixteenBitStereo44100KeepsItsSidesAndFollowsTheDeviceRate) {
  TMixer m(44100);
  std::vector<int> samples;
  for (int i = 0; i < 8; ++i) {
    samples.push_back(100 * i);    // left
    samples.push_back(-100 * i);   // right
  }
  TSoundBuffer b(m, MakeWave(2, 16, 44100, samples));
  b.Play(false);
  auto out = Render(m, 8);
  EXPECT_EQ(std::vector<int>(out.begin(), out.end()), samples);  // same rate: bit-exact

  // A device at twice the rate hears each frame twice as long.
  m.SetDeviceRate(88200);
  b.SetPosition(4 * 2);  // byte offset of frame 2
  b.Play(false);
  out = Render(m, 4);
  EXPECT_EQ(std::vector<int>(out.begin(), out.end()),
            (std::vector<int>{200, -200, 250, -250, 300, -300, 350, -350}));
}

TEST(Mixer, FrequencyVolumeAndPanShapeTheVoice) {
  TMixer m(44100);
  TSoundBuffer b(m, MakeWave(1, 16, 44100, std::vector<int>(44100, 10000)));
  b.SetFrequency(88200);  // twice as fast: half a second lasts a quarter
  b.Play(false);
  Render(m, 22000);
  EXPECT_TRUE(b.Playing());
  Render(m, 100);
  EXPECT_FALSE(b.Playing());

  b.SetFrequency(0);
  b.SetVolume(-600);  // -6 dB: about half
  b.SetPan(10000);    // all the way right
  b.SetPosition(0);
  b.Play(false);
  const auto out = Render(m, 4);
  EXPECT_EQ(out[0], 0);
  EXPECT_NEAR(out[1], 5012, 3);
  b.SetVolume(-10000);
  EXPECT_TRUE(Silent(Render(m, 4)));
}

TEST(Mixer, FormatsItCannotPlayStaySilent) {
  TMixer m(44100);
  TWave adpcm = MakeWave(1, 16, 22050, std::vector<int>(64, 1000));
  adpcm.Format.FormatTag = 2;
  TWave deep = MakeWave(1, 16, 22050, std::vector<int>(64, 1000));
  deep.Format.BitsPerSample = 24;
  TWave noChannels = MakeWave(1, 16, 22050, std::vector<int>(64, 1000));
  noChannels.Format.Channels = 0;
  TWave noRate = MakeWave(1, 16, 0, std::vector<int>(64, 1000));
  TWave partialFrame = MakeWave(2, 16, 22050, {});
  partialFrame.Data = std::make_shared<const std::string>("\x01\x02", 2);
  for (const TWave& w : {adpcm, deep, noChannels, noRate, partialFrame}) {
    TSoundBuffer b(m, w);
    b.SetPosition(10);
    b.Play(true);
    EXPECT_FALSE(b.Playable());
    EXPECT_FALSE(b.Playing());
    EXPECT_TRUE(Silent(Render(m, 64)));
  }
}

class MusicPlayerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("tk_music_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& bytes) {
    const auto p = dir_ / name;
    std::ofstream(p, std::ios::binary) << bytes;
    return p.string();
  }
  std::filesystem::path dir_;
};

TEST_F(MusicPlayerTest, OrderPositionAdvancesAndWrapsWhileTheModuleSounds) {
  TMixer m(44100);
  TMusicPlayer player(m);
  // Three orders of four rows at one 20 ms tick a row: 80 ms an order, 240 ms a round.
  const uintptr_t h = player.SongLoadFromFile(Write("song.xm", testing::BuildXm()));
  ASSERT_NE(h, 0u);
  player.SongPlay(h);
  EXPECT_EQ(player.SongGetOrder(h), 0);

  std::vector<int> seen;
  bool sounded = false;
  for (int block = 0; block < 60; ++block) {  // 60 blocks of 10 ms
    const auto out = Render(m, 441);
    sounded = sounded || !Silent(out);
    const int o = player.SongGetOrder(h);
    if (seen.empty() || seen.back() != o) seen.push_back(o);
  }
  EXPECT_TRUE(sounded);
  // Over 600 ms the player goes round twice and more, by itself.
  ASSERT_GE(seen.size(), 7u);
  EXPECT_EQ(std::vector<int>(seen.begin(), seen.begin() + 7),
            (std::vector<int>{0, 1, 2, 0, 1, 2, 0}));

  player.SongFree(h);
  EXPECT_EQ(player.SongGetOrder(h), 0);
  EXPECT_TRUE(Silent(Render(m, 441)));
}

TEST_F(MusicPlayerTest, HandlesAreSmallAndFailuresGiveZero) {
  TMixer m(44100);
  TMusicPlayer player(m);
  const std::string song = Write("song.xm", testing::BuildXm());
  EXPECT_EQ(player.SongLoadFromFile((dir_ / "missing.xm").string()), 0u);
  EXPECT_EQ(player.SongLoadFromFile(Write("junk.xm", "Extended Module: but nothing else")), 0u);
  EXPECT_EQ(player.SongLoadFromFile(Write("cut.xm", testing::BuildXm().substr(0, 200))), 0u);
  const uintptr_t a = player.SongLoadFromFile(song);
  const uintptr_t b = player.SongLoadFromFile(song);
  EXPECT_EQ(a, 1u);
  EXPECT_EQ(b, 2u);
  player.SongFree(a);
  EXPECT_EQ(player.SongLoadFromFile(song), 1u);
  // Unknown handles are ignored.
  player.SongPlay(99);
  player.SongFree(99);
  EXPECT_EQ(player.SongGetOrder(99), 0);
  EXPECT_TRUE(Silent(Render(m, 441)));
}

TEST_F(MusicPlayerTest, PlayingAnotherModuleReplacesTheFirstAndARateChangeKeepsTheOrder) {
  TMixer m(22050);
  TMusicPlayer player(m);
  const std::string song = Write("song.xm", testing::BuildXm());
  const uintptr_t a = player.SongLoadFromFile(song);
  const uintptr_t b = player.SongLoadFromFile(song);
  player.SongPlay(a);
  Render(m, 2205 * 1);  // 100 ms: into the second order
  EXPECT_EQ(player.SongGetOrder(a), 1);
  player.SongPlay(b);
  Render(m, 2205);
  EXPECT_EQ(player.SongGetOrder(a), 1);  // no longer advancing
  EXPECT_EQ(player.SongGetOrder(b), 1);
  // A device well past what the module player renders at: the tempo stays the same.
  m.SetDeviceRate(96000);
  Render(m, 9600);  // 100 ms more: into the third order
  EXPECT_EQ(player.SongGetOrder(b), 2);
  EXPECT_FALSE(Silent(Render(m, 960)));
}

}  // namespace
}  // namespace tk
