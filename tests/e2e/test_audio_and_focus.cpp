// What a player hears and what happens while they are away: the mixed output of a run as a
// WAV file, the busiest moment of the game mixed from the built archives without reaching
// full scale, and both play stages standing still while the window is inactive or minimised.
#include <fstream>
#include <iterator>

#include "SimRun.h"
#include "media/Sound.h"
#include "platform/headless/Headless.h"

namespace tk::e2e {
namespace {

uint32_t Le32(const std::string& s, size_t at) {
  return static_cast<uint8_t>(s[at]) | static_cast<uint8_t>(s[at + 1]) << 8 |
         static_cast<uint8_t>(s[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(s[at + 3])) << 24;
}

TEST(Audio, TheSimWritesTheMixedRunAs44kHz16BitStereo) {
  const auto wav = TempFile("run.wav");
  SimResult r = RunSim("wait 3000\n", "--audio " + wav.string());
  ASSERT_EQ(r.Status, 0) << r.Output;
  std::ifstream in(wav, std::ios::binary);
  const std::string f((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(f.size(), 44u);
  EXPECT_EQ(f.substr(0, 4), "RIFF");
  EXPECT_EQ(Le32(f, 4), f.size() - 8);
  EXPECT_EQ(f.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(Le32(f, 20) & 0xFFFF, 1u);            // PCM
  EXPECT_EQ(Le32(f, 20) >> 16, 2u);               // stereo
  EXPECT_EQ(Le32(f, 24), 44100u);
  EXPECT_EQ(Le32(f, 32) >> 16, 16u);              // bits per sample
  EXPECT_EQ(f.substr(36, 4), "data");
  EXPECT_EQ(Le32(f, 40), 3000u * 441 / 10 * 4);   // three seconds of frames
  // The menu music sounds in it.
  int loud = 0;
  for (size_t i = 44; i + 1 < f.size(); i += 2) {
    const int16_t s = static_cast<int16_t>(static_cast<uint8_t>(f[i]) | static_cast<uint8_t>(f[i + 1]) << 8);
    loud += s > 1000 || s < -1000;
  }
  EXPECT_GT(loud, 10000);
  std::filesystem::remove(wav);
}

TEST(Audio, TheBusiestMomentNeverReachesFullScale) {
  // Every insect buzzing, a splash, the stork's catch, the tongue and the pond's music, all
  // from the built game folder, with the one-shot effects started again and again so they
  // meet the music's loudest notes.
  platform::HeadlessAudio out;
  TDXSound sound(out);
  TDXWaveList waves;
  waves.SetDXSound(&sound);
  sound.Initialize();
  waves.Items.LoadArchive(std::string(TK_GAME_DIR) + "/Data/Music.dxw");
  TMusicPlayer music(sound.Mixer());
  const uintptr_t song = music.SongLoadFromFile(std::string(TK_GAME_DIR) + "/Music/2.xm");
  ASSERT_NE(song, 0u);
  music.SongPlay(song);
  for (const char* loop : {"fon2", "mushka", "muha", "komar", "vodomerka", "pchel"})
    waves.Items.FindSound(loop).PlayWave();
  out.ResetStats();
  for (int k = 0; k < 40; ++k) {
    for (const char* once : {"brizg", "aist_eat", "food", "iazik", "bell"})
      waves.Items.FindSound(once).PlayWave();
    out.Render(250);
  }
  EXPECT_LT(out.Peak(), 32767);
  EXPECT_GT(out.Peak(), 16384) << "a busy moment is loud";
  music.SongFree(song);
  waves.SetDXSound(nullptr);
  sound.Finalize();
}

// Seed 4's first pond: two hops left, then up over a sticky lily to the stone.
const char* kToTheShore =
    "wait 4200\nkey Enter\nwait 3400\nticks 5\n"
    "down Left\nticks 2\nup Left\ndown Space\nticks 2\nup Space\nticks 35\n"
    "down Left\nticks 2\nup Left\ndown Space\nticks 2\nup Space\nticks 35\n"
    "down Up\nticks 2\nup Up\n"
    "down Space\nticks 2\nup Space\nticks 60\n"
    "down Space\nticks 2\nup Space\nticks 60\n"
    "down Space\nticks 2\nup Space\nticks 60\n"
    "down Space\nticks 2\nup Space\nticks 60\n"
    "down Space\nticks 2\nup Space\nticks 60\n";

bool SamePicture(const std::filesystem::path& a, const std::filesystem::path& b) {
  Png p(a), q(b);
  if (!p.Ok() || !q.Ok()) return false;
  for (int y = 0; y < 600; y += 2)
    for (int x = 0; x < 800; x += 2)
      if (p.At(x, y) != q.At(x, y)) return false;
  return true;
}

TEST(Away, BothPlayStagesStandStillWhileTheWindowIsInactiveOrMinimised) {
  std::vector<std::filesystem::path> shots;
  auto shot = [&](const std::string& name) {
    shots.push_back(TempFile(name + ".png"));
    return "shot " + shots.back().string() + "\n";
  };
  // The pond, away and back; then the shore the same way, once inactive and once minimised.
  std::string script = "wait 4200\nkey Enter\nwait 3400\nticks 5\nfocus off\n";
  script += shot("p0") + "wait 3000\nstate\n";
  script += shot("p1") + "focus on\nwait 3000\n";
  script += shot("p2") + "state\n";
  SimResult pond = RunSim(script, "--seed 4");
  ASSERT_EQ(pond.Status, 0) << pond.Output;
  ASSERT_EQ(pond.States.size(), 2u);
  EXPECT_EQ(pond.States[0]["scene"], "ScenePond");
  EXPECT_EQ(pond.States[0]["caption"], "Тиноквак [Пауза]");
  EXPECT_EQ(pond.States[1]["caption"], "Тиноквак");
  EXPECT_TRUE(SamePicture(shots[0], shots[1])) << "the pond stood still";
  EXPECT_FALSE(SamePicture(shots[1], shots[2])) << "and went on afterwards";

  // On the shore every second of the clock is counted exactly: a second after coming back
  // the clock has moved once, whatever part of its second was left when the window went.
  std::string shore = std::string(kToTheShore) + "state\nfocus off\nwait 3000\nstate\n";
  shore += shot("f0") + "wait 5000\nstate\n";
  shore += shot("f1") + "focus on\nwait 1000\nstate\n";
  shore += "minimize\nwait 5000\nstate\nrestore\nwait 1000\nstate\n";
  shore += "focus off\nminimize\nwait 8000\nrestore\nfocus on\nwait 1000\nstate\n";
  SimResult r = RunSim(shore, "--seed 4");
  ASSERT_EQ(r.Status, 0) << r.Output;
  ASSERT_EQ(r.States.size(), 7u);
  const auto& s = r.States;
  ASSERT_EQ(s[0]["scene"], "SceneFeeding") << "the script no longer reaches the shore";
  const int time = s[0]["timeLeft"];
  for (int i = 1; i < 7; ++i) {
    EXPECT_EQ(s[i]["scene"], "SceneFeeding") << i;
    EXPECT_EQ(s[i]["lives"], s[0]["lives"]) << i;
  }
  EXPECT_EQ(s[1]["timeLeft"], time) << "inactive: the clock stands";
  EXPECT_EQ(s[2]["timeLeft"], time);
  EXPECT_EQ(s[2]["score"], s[1]["score"]);
  EXPECT_TRUE(SamePicture(shots[3], shots[4])) << "and so does the picture";
  EXPECT_EQ(s[3]["timeLeft"], time - 1) << "back, it goes on from where it stopped";
  EXPECT_EQ(s[4]["timeLeft"], time - 1) << "minimised: the clock stands";
  EXPECT_EQ(s[5]["timeLeft"], time - 2);
  EXPECT_EQ(s[6]["timeLeft"], time - 3) << "both at once";
  for (const auto& p : shots) std::filesystem::remove(p);
}

}  // namespace
}  // namespace tk::e2e
