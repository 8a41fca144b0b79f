// Sound effects under the sound flag, music under the music flag and the rule that restarts
// a scene's tune once the module has played through, heard through the headless audio
// output.
#include <gtest/gtest.h>

#include "ShellFixture.h"
#include "media/XmModule.h"

namespace tk {
namespace {

struct AudioFixture : testing::ShellFixture {
  AudioFixture() {
    testing::XmShape shape;
    shape.orders = 3;
    shape.rows = 4;
    const std::string xm = testing::BuildXm(shape);
    for (const char* track : {"Music/1.xm", "Music/2.xm", "Music/3.xm"}) dir.Write(track, xm);
    Start();
  }
  // Loudness of what the device plays over the next ms.
  int PeakOver(uint64_t ms) {
    plat.Audio().ResetStats();
    plat.AdvanceTo(plat.Now() + ms);
    return plat.Audio().Peak();
  }
};

TEST_F(AudioFixture, SoundsPlayUnderTheSoundFlagAndStopAll) {
  form->StopMusic();
  form->GameSound = false;
  form->PlaySound("pause");
  EXPECT_TRUE(form->SoundLog.empty());
  EXPECT_EQ(PeakOver(20), 0);
  form->GameSound = true;
  form->DXWaveList->Items.FindSound("pause").SetLooped(true);
  form->PlaySound("pause");
  EXPECT_EQ(form->SoundLog, std::vector<std::string>{"pause"});
  EXPECT_GT(PeakOver(20), 0);
  form->GameSound = false;  // a looped sound already playing goes on
  EXPECT_GT(PeakOver(20), 0);
  form->StopSound("all");
  EXPECT_EQ(PeakOver(20), 0);
}

TEST_F(AudioFixture, ANamedSoundStopsAloneAndAMissingOneIsAnError) {
  form->StopMusic();
  form->DXWaveList->Items.FindSound("mushka").SetLooped(true);
  form->DXWaveList->Items.FindSound("pause").SetLooped(true);
  form->PlaySound("mushka");
  form->PlaySound("pause");
  form->StopSound("pause");
  EXPECT_GT(PeakOver(20), 0);  // the buzz goes on
  form->StopSound("mushka");
  EXPECT_EQ(PeakOver(20), 0);
  EXPECT_ANY_THROW(form->StopSound("no such sound"));
}

TEST_F(AudioFixture, MusicFollowsTheMusicFlag) {
  form->StopMusic();
  form->GameMusic = false;
  form->PlayMusic("2");
  EXPECT_EQ(form->MusicModule, 0u);
  form->GameMusic = true;
  form->PlayMusic("2");
  EXPECT_EQ(form->CurrentTrack(), "2");
  EXPECT_GT(PeakOver(50), 0);
  form->PlayMusic("missing");  // no file: no music, no message, the next call tries again
  EXPECT_EQ(form->MusicModule, 0u);
  EXPECT_TRUE(plat.Record().Messages.empty());
  form->PlayMusic("3");
  EXPECT_EQ(form->CurrentTrack(), "3");
}

TEST_F(AudioFixture, AModuleThatCannotBeLoadedIsToldOnceOnStderrAndTheGameGoesOn) {
  form->StopMusic();
  dir.Write("Music/2.xm", testing::BuildXm().substr(0, 100));  // cut inside its header
  dir.Write("Music/5.xm", "no module at all");
  std::filesystem::create_directories(dir.Path() / "Music/4.xm");
  ::testing::internal::CaptureStderr();
  for (int i = 0; i < 3; ++i) {
    form->PlayMusic("2");  // every start of the tune loads it again
    EXPECT_EQ(form->MusicModule, 0u);
    form->PlayMusic("4");
    form->PlayMusic("5");
    form->PlayMusic("missing");  // left out on purpose: nothing to say
  }
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Тиноквак: Music/2.xm: the module is damaged\n"
                 "Тиноквак: Cannot open file \"Music/4.xm\". Is a directory\n"
                 "Тиноквак: Music/5.xm: not a module format the player knows\n");
  EXPECT_TRUE(plat.Record().Messages.empty());
  form->PlayMusic("3");
  EXPECT_EQ(form->CurrentTrack(), "3");
  EXPECT_GT(PeakOver(50), 0);
}

// Plays frames until the module has wrapped twice and reports whether the check let the
// last order seen stay behind while the module was back at order 0.
bool KeptTheLastOrderAtTheWrap(AudioFixture& f, uint8_t scene, const char* tune) {
  f.form->Scenes[scene].Build = [] {};
  f.form->Scenes[scene].Music = tune;
  f.form->SwitchScene(scene);
  f.form->PlayMusic("1");
  bool seenPast = false, kept = false;
  for (int i = 0; i < 40; ++i) {
    f.Run(30);
    const int o = f.form->Music->SongGetOrder(f.form->MusicModule);
    if (f.form->LastMusicOrder > 0) seenPast = true;
    if (seenPast && o == 0 && f.form->LastMusicOrder > 0) kept = true;
  }
  EXPECT_TRUE(seenPast);
  return kept;
}

TEST_F(AudioFixture, AWrappedModuleRestartsOnlyInASceneWithATune) {
  EXPECT_FALSE(KeptTheLastOrderAtTheWrap(*this, SceneMainMenu, "1"));
  EXPECT_TRUE(KeptTheLastOrderAtTheWrap(*this, ScenePond, nullptr));
}

// The sound archive read after the first frame (the real game): nothing before the display's
// first tick, then from the game's loop or from the first sound asked for, the same sounds.
struct OptionsFixture : testing::ShellFixture {
  explicit OptionsFixture(void (*set)(TMainFormOptions&)) {
    TMainFormOptions o;
    o.Seed = 7;
    o.RecordSounds = true;
    set(o);
    form = std::make_unique<TMainForm>(plat.Get(), o);
  }
};
struct DeferredSounds : OptionsFixture {
  DeferredSounds() : OptionsFixture([](TMainFormOptions& o) { o.SoundsAfterFirstFrame = true; }) {}
  void TestBody() override {}
};

TEST(DeferredSoundsTest, ReadOnceAfterTheFirstFrameOrWhenASoundIsAskedFor) {
  DeferredSounds g;
  g.Start();
  EXPECT_EQ(g.form->DXWaveList->Items.Count(), 0);
  EXPECT_EQ(g.form->FramesTicked(), 0u);
  g.Frames(1);
  EXPECT_EQ(g.form->FramesTicked(), 1u);
  EXPECT_TRUE(g.form->LoadDeferredSounds());
  EXPECT_EQ(g.form->DXWaveList->Items.Count(), 5);
  EXPECT_FALSE(g.form->LoadDeferredSounds());  // once
}

TEST(DeferredSoundsTest, ASoundAskedForFirstReadsTheArchive) {
  DeferredSounds g;
  g.Start();
  g.form->PlaySound("pause");
  EXPECT_EQ(g.form->SoundLog, std::vector<std::string>{"pause"});
  EXPECT_EQ(g.form->DXWaveList->Items.Count(), 5);
  EXPECT_FALSE(g.form->LoadDeferredSounds());
  EXPECT_FALSE(g.form->StartFailed());
}

TEST(DeferredSoundsTest, ADamagedArchiveEndsTheGameAsAtStartUp) {
  DeferredSounds g;
  g.dir.Write("Data/Music.dxw", "damaged");
  g.Start();
  EXPECT_FALSE(g.form->Closed());
  EXPECT_TRUE(g.form->LoadDeferredSounds());
  EXPECT_TRUE(g.form->StartFailed());
  EXPECT_TRUE(g.form->Closed());
  const size_t said = g.plat.Record().Messages.size();
  EXPECT_EQ(said, 1u);
  g.form->PlaySound("pause");  // nothing more is said
  EXPECT_EQ(g.plat.Record().Messages.size(), said);
}

// A replay check mixes nothing: the sound archive is never read and a sound is only logged.
struct CheckOnlyGame : OptionsFixture {
  CheckOnlyGame() : OptionsFixture([](TMainFormOptions& o) { o.CheckOnly = true; }) {}
  void TestBody() override {}
};
struct PlayedGame : OptionsFixture {
  PlayedGame() : OptionsFixture([](TMainFormOptions&) {}) {}
  void TestBody() override {}
};

TEST(CheckOnlyAudio, NoArchiveReadSoundsLogged) {
  CheckOnlyGame g;
  g.dir.Write("Data/Music.dxw", "never read");
  g.Start();
  EXPECT_TRUE(g.plat.Record().Messages.empty());
  EXPECT_EQ(g.form->DXWaveList->Items.Count(), 0);
  g.form->PlaySound("pause");
  g.form->StopSound("pause");
  g.form->StopSound("all");
  EXPECT_EQ(g.form->SoundLog, std::vector<std::string>{"pause"});
}

// A check names the tune the game would play, and says on stderr what the game says of a
// tune it cannot load: a damaged module is no tune in either, whatever the file's name.
TEST(CheckOnlyAudio, NamesTheTuneExactlyAsTheGameDoes) {
  testing::XmShape shape;
  shape.orders = 3;
  shape.rows = 4;
  const std::string good = testing::BuildXm(shape);
  const struct {
    const char* what;
    std::string bytes;  // empty: no file
    const char* said;
  } cases[] = {
      {"a module", good, ""},
      {"cut inside its header", good.substr(0, 100),
       "Тиноквак: Music/2.xm: the module is damaged\n"},
      {"no module at all", "no module at all",
       "Тиноквак: Music/2.xm: not a module format the player knows\n"},
      {"no file", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::string track[2], said[2];
    CheckOnlyGame check;
    PlayedGame played;
    OptionsFixture* games[2] = {&played, &check};
    for (int i = 0; i < 2; ++i) {
      OptionsFixture& g = *games[i];
      g.dir.Write("Music/1.xm", good);
      if (!c.bytes.empty()) g.dir.Write("Music/2.xm", c.bytes);
      g.Start();
      ::testing::internal::CaptureStderr();
      for (int again = 0; again < 3; ++again) {  // said once, however often it starts
        g.form->PlayMusic("2");
        track[i] += "[" + g.form->CurrentTrack() + "]";
      }
      said[i] = ::testing::internal::GetCapturedStderr();
      g.form->PlayMusic("1");
      EXPECT_EQ(g.form->CurrentTrack(), "1");
      g.form->StopMusic();
      EXPECT_EQ(g.form->CurrentTrack(), "");
    }
    EXPECT_EQ(track[1], track[0]);
    EXPECT_EQ(track[0], c.bytes == good ? "[2][2][2]" : "[][][]");
    EXPECT_EQ(said[1], said[0]);
    EXPECT_EQ(said[0], c.said);
    EXPECT_EQ(check.form->MusicModule, 0u);  // nothing kept loaded in a check
  }
}

}  // namespace
}  // namespace tk
