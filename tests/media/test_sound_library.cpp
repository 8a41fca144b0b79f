#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <vector>

#include "media/Container.h"
#include "media/Sound.h"
#include "platform/Cp1251.h"
#include "platform/Errors.h"

namespace tk {
namespace {

// The platform's side of the audio device: the test pulls the mixer by hand.
class FakeAudio : public platform::IAudioOutput {
 public:
  bool Open(Pull pull, int& rate) override {
    pull_ = std::move(pull);
    open_ = true;
    rate = Rate;
    return Succeeds;
  }
  void Close() override {
    open_ = false;
    pull_ = nullptr;
  }
  bool IsOpen() override { return open_; }
  // Plays n frames; returns the loudest sample.
  int Advance(int n) {
    std::vector<int16_t> buf(2 * static_cast<size_t>(n));
    if (pull_) pull_(buf.data(), n);
    int peak = 0;
    for (int16_t s : buf) peak = std::max(peak, std::abs(static_cast<int>(s)));
    return peak;
  }
  int Rate = 44100;
  bool Succeeds = true;

 private:
  Pull pull_;
  bool open_ = false;
};

struct SoundSpec {
  std::string name;
  int frames = 1000;
  bool looped = false;
  int maxPlaying = 0;
};

TWave Tone(int frames) {
  TWave w;
  w.Format = {1, 1, 44100, 88200, 2, 16};
  std::string bytes;
  for (int i = 0; i < frames; ++i) bytes += std::string("\xE8\x03", 2);  // 1000
  w.Data = std::make_shared<const std::string>(bytes);
  return w;
}

std::string Archive(const std::vector<SoundSpec>& specs) {
  TWaveCollection c;
  for (const auto& s : specs) {
    auto& it = c.Add();
    it.SetName(s.name);
    it.SetLooped(s.looped);
    it.SetMaxPlayingCount(s.maxPlaying);
    it.Wave = Tone(s.frames);
  }
  return c.SaveToBytes();
}

class SoundLibrary : public ::testing::Test {
 protected:
  void SetUp() override {
    list.SetDXSound(&sound);
    sound.Initialize();
  }
  TWaveCollectionItem& Load(const SoundSpec& s) {
    list.Items.LoadFromBytes(Archive({s}));
    return list.Items.FindSound(s.name);
  }
  int Voices() { return sound.Mixer().ActiveVoices(); }
  FakeAudio audio;
  TDXSound sound{audio};
  TDXWaveList list;
};

TEST_F(SoundLibrary, AtTheLimitTheOldestCopyStartsOverAndBecomesTheNewest) {
  auto& kvak = Load({"kvak", 1000, false, 2});
  kvak.PlayWave();
  audio.Advance(100);
  kvak.PlayWave();
  audio.Advance(100);
  ASSERT_EQ(kvak.ExtraBuffers().size(), 2u);
  TSoundBuffer* first = kvak.ExtraBuffers()[0].get();
  TSoundBuffer* second = kvak.ExtraBuffers()[1].get();
  EXPECT_EQ(first->Position(), 2u * 200);

  kvak.PlayWave();
  ASSERT_EQ(kvak.ExtraBuffers().size(), 2u);
  EXPECT_EQ(kvak.ExtraBuffers()[0].get(), second);
  EXPECT_EQ(kvak.ExtraBuffers()[1].get(), first);
  EXPECT_EQ(first->Position(), 0u);
  EXPECT_EQ(second->Position(), 2u * 100);
  EXPECT_EQ(Voices(), 2);
  EXPECT_FALSE(kvak.PrimaryBuffer()->Playing());  // copies play, the primary stays a template
}

TEST_F(SoundLibrary, WithoutALimitFinishedCopiesAreReusedBeforeNewOnesAreMade) {
  auto& food = Load({"food", 100});
  food.PlayWave();
  audio.Advance(60);
  food.PlayWave();
  audio.Advance(60);  // the first copy has finished, the second is still going
  TSoundBuffer* first = food.ExtraBuffers()[0].get();
  ASSERT_FALSE(first->Playing());

  food.PlayWave();
  ASSERT_EQ(food.ExtraBuffers().size(), 2u);
  EXPECT_TRUE(first->Playing());
  EXPECT_EQ(food.ExtraBuffers()[0].get(), first);  // reuse does not reorder

  food.PlayWave();  // all busy: a new copy
  food.PlayWave();
  EXPECT_EQ(food.ExtraBuffers().size(), 4u);
  EXPECT_EQ(Voices(), 4);
}

TEST_F(SoundLibrary, ALoopedSoundStartsOverInsteadOfOverlapping) {
  auto& fon = Load({"fon1", 1000, true});
  fon.PlayWave();
  audio.Advance(2500);  // round the loop and on
  EXPECT_TRUE(fon.PrimaryBuffer()->Playing());
  EXPECT_EQ(fon.PrimaryBuffer()->Position(), 2u * 500);
  fon.PlayWave();
  EXPECT_EQ(fon.PrimaryBuffer()->Position(), 0u);
  EXPECT_TRUE(fon.ExtraBuffers().empty());
  EXPECT_EQ(Voices(), 1);
}

TEST_F(SoundLibrary, ChangingLoopedStopsTheSound) {
  for (const bool loopedFirst : {true, false}) {
    SCOPED_TRACE(loopedFirst);
    auto& s = Load({"muha", 1000, loopedFirst});
    s.PlayWave();
    s.SetLooped(loopedFirst);  // no change: keeps playing
    EXPECT_EQ(Voices(), 1);
    s.SetLooped(!loopedFirst);
    EXPECT_EQ(Voices(), 0);
    EXPECT_TRUE(s.Looped() == !loopedFirst);
    EXPECT_EQ(audio.Advance(64), 0);
  }
}

TEST_F(SoundLibrary, MaxPlayingCountClampsAndAChangeFreesTheCopies) {
  auto& s = Load({"komar", 1000, false, 3});
  s.PlayWave();
  s.PlayWave();
  s.SetMaxPlayingCount(3);
  EXPECT_EQ(s.ExtraBuffers().size(), 2u);
  s.SetMaxPlayingCount(-5);
  EXPECT_EQ(s.MaxPlayingCount(), 0);
  EXPECT_TRUE(s.ExtraBuffers().empty());
  EXPECT_EQ(Voices(), 0);
  // In the archive a negative limit reads as 0 as well.
  EXPECT_EQ(Load({"pchel", 100, false, -2}).MaxPlayingCount(), 0);
}

TEST_F(SoundLibrary, StopWaveStopsThePrimaryAndEveryCopy) {
  auto& s = Load({"bell", 1000});
  s.PlayWave();
  s.PlayWave();
  ASSERT_EQ(Voices(), 2);
  s.StopWave();
  EXPECT_EQ(Voices(), 0);
  EXPECT_EQ(audio.Advance(64), 0);
}

TEST_F(SoundLibrary, AReloadDropsEveryOldBufferEvenPlayingOnes) {
  const std::string bytes = Archive({{"fon1", 1000, true}, {"kvak", 1000}});
  list.Items.LoadFromBytes(bytes);
  list.Items.FindSound("fon1").PlayWave();
  list.Items.FindSound("kvak").PlayWave();
  ASSERT_GT(audio.Advance(16), 0);

  list.Items.LoadFromBytes(bytes);
  EXPECT_EQ(Voices(), 0);
  EXPECT_EQ(audio.Advance(64), 0);
  // The new items are attached and uploaded at once, ready to play.
  auto& fon = list.Items.FindSound("fon1");
  EXPECT_TRUE(fon.Initialized());
  ASSERT_NE(fon.PrimaryBuffer(), nullptr);
  fon.PlayWave();
  EXPECT_GT(audio.Advance(16), 0);
}

TEST_F(SoundLibrary, LookupIgnoresCaseAndTheLastNamedDuplicateWins) {
  list.Items.LoadFromBytes(Archive({{"Kvak"}, {"kvak"}, {"brizg"}, {"a"}, {Cp("Квак")}}));
  auto& items = list.Items;
  EXPECT_EQ(items.FindSound("KVAK").Index(), 1);
  EXPECT_EQ(items.FindSound("Brizg").Index(), 2);
  EXPECT_EQ(items.FindSound("A").Index(), 3);
  EXPECT_EQ(items.FindSound(Cp("кВАК")).Index(), 4);
  items.Items(0).SetName("KVAK");  // renaming relinks it at the head of its bucket
  EXPECT_EQ(items.FindSound("kvak").Index(), 0);
  items.Items(0).SetName("brizg");
  EXPECT_EQ(items.FindSound("kvak").Index(), 1);
  EXPECT_EQ(items.FindSound("brizg").Index(), 0);
  try {
    items.FindSound("kva");
    ADD_FAILURE() << "found";
  } catch (const EWaveCollectionError& e) {
    EXPECT_STREQ(e.what(), "Wave 'kva' not found");
  }
  EXPECT_EQ(items.Find("kva"), nullptr);
}

TEST_F(SoundLibrary, DeviceNotificationsReleaseAttachAndDetach) {
  auto& s = Load({"kroco", 1000});
  s.PlayWave();
  sound.Finalize();
  EXPECT_FALSE(s.Initialized());
  EXPECT_EQ(s.PrimaryBuffer(), nullptr);
  EXPECT_TRUE(s.ExtraBuffers().empty());
  EXPECT_EQ(list.Items.Device(), nullptr);
  s.PlayWave();  // not initialised: nothing happens
  EXPECT_TRUE(s.ExtraBuffers().empty());

  audio.Rate = 22050;
  sound.Initialize();
  EXPECT_EQ(sound.Mixer().DeviceRate(), 22050);
  EXPECT_TRUE(s.Initialized());
  EXPECT_NE(s.PrimaryBuffer(), nullptr);  // restored: uploaded again
  s.PlayWave();
  EXPECT_EQ(Voices(), 1);
}

TEST(SoundDevice, LateListenersCatchUpAndADestroyedDeviceIsLetGo) {
  FakeAudio audio;
  audio.Succeeds = false;  // no device: silent, but sounds still start and run
  auto sound = std::make_unique<TDXSound>(audio);
  sound->Initialize();
  EXPECT_TRUE(sound->Initialized());

  TDXWaveList list;
  list.Items.LoadFromBytes(Archive({{"life", 100}}));
  EXPECT_FALSE(list.Items.Items(0).Initialized());
  list.SetDXSound(sound.get());  // registering with a running device attaches and uploads
  auto& life = list.Items.FindSound("life");
  EXPECT_TRUE(life.Initialized());
  life.PlayWave();
  EXPECT_EQ(sound->Mixer().ActiveVoices(), 1);

  sound.reset();
  EXPECT_EQ(list.Items.Device(), nullptr);
  EXPECT_FALSE(life.Initialized());
  EXPECT_EQ(life.PrimaryBuffer(), nullptr);
}

TEST(SoundArchive, SaveThenLoadKeepsEveryItem) {
  TWaveCollection saved;
  auto& a = saved.Add();
  a.SetName(Cp("жаба"));
  a.SetLooped(true);
  a.SetMaxPlayingCount(4);
  a.Wave = Tone(10);
  auto& b = saved.Add();
  b.SetName(std::string(300, 'x'));  // a long string
  b.Wave.Format = {1, 2, 11025, 22050, 2, 8};
  b.Wave.Data = std::make_shared<const std::string>("\x80\x81\x82", 3);
  const std::string bytes = saved.SaveToBytes();
  TComponentReader reader(bytes);
  EXPECT_EQ(reader.ClassName(), "TWaveCollectionComponent");

  TWaveCollection loaded;
  loaded.LoadFromBytes(bytes);
  ASSERT_EQ(loaded.Count(), 2);
  for (int i = 0; i < 2; ++i) {
    TWaveCollectionItem& x = saved.Items(i);
    TWaveCollectionItem& y = loaded.Items(i);
    EXPECT_EQ(y.Name(), x.Name());
    EXPECT_EQ(y.Index(), i);
    EXPECT_EQ(y.Looped(), x.Looped());
    EXPECT_EQ(y.MaxPlayingCount(), x.MaxPlayingCount());
    EXPECT_EQ(WriteWave(y.Wave), WriteWave(x.Wave));
  }
  EXPECT_EQ(loaded.SaveToBytes(), bytes);
}

// An archive with one item whose properties are written by the callback.
std::string ArchiveWith(const std::function<void(TStreamWriter&)>& item) {
  return MakeComponentResource("TWaveCollectionComponent", "", [&](TStreamWriter& w) {
    w.WritePropName("List");
    w.WriteCollectionBegin();
    w.WriteListBegin();
    w.WritePropName("Name");
    w.WriteString("first");
    w.WriteListEnd();
    w.WriteListBegin();
    item(w);
    w.WriteListEnd();
    w.WriteListEnd();
  });
}

TEST(SoundArchive, BadArchivesFailWithTheLibrariesMessages) {
  const struct {
    const char* what;
    std::function<void(TStreamWriter&)> item;
    std::string message;
  } cases[] = {
      {"wave payload is not RIFF",
       [](TStreamWriter& w) {
         w.WritePropName("Wave.WAVE");
         w.WriteBinary("RIFX....WAVE");
       },
       "Wave is invalid"},
      {"unknown property",
       [](TStreamWriter& w) {
         w.WritePropName("Volume");
         w.WriteInteger(3);
       },
       "Property Volume does not exist"},
      {"looped is not a boolean",
       [](TStreamWriter& w) {
         w.WritePropName("Looped");
         w.WriteString("yes");
       },
       "Invalid property value"},
      {"wave is not a byte block",
       [](TStreamWriter& w) {
         w.WritePropName("Wave.WAVE");
         w.WriteInteger(1);
       },
       "Invalid property value"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TWaveCollection items;
    items.LoadFromBytes(Archive({{"old"}}));
    try {
      items.LoadFromBytes(ArchiveWith(c.item));
      ADD_FAILURE() << "loaded";
    } catch (const EError& e) {
      EXPECT_EQ(e.what(), c.message);
    }
    // What was read before the fault stays.
    ASSERT_EQ(items.Count(), 2);
    EXPECT_EQ(items.Items(0).Name(), "first");
  }
  TWaveCollection items;
  const std::string good = Archive({{"kvak"}});
  EXPECT_THROW(items.LoadFromBytes(good.substr(0, good.size() - 5)), EReadError);
  EXPECT_THROW(items.LoadFromBytes("not an archive"), EFilerError);
}

TEST(SoundArchive, LoadArchiveReadsTheFileAndAMissingOneLeavesTheLibraryAlone) {
  const auto dir = std::filesystem::temp_directory_path() / "tk_sound_archive_test";
  std::filesystem::create_directories(dir / "Data");
  {
    std::ofstream f(dir / "Data" / "Music.dxw", std::ios::binary);
    f << Archive({{"kvak"}, {"brizg"}});
  }
  TWaveCollection items;
  items.LoadArchive((dir / "Data" / "Music.dxw").string());
  EXPECT_EQ(items.Count(), 2);
  EXPECT_THROW(items.LoadArchive((dir / "Data" / "Missing.dxw").string()), EFOpenError);
  EXPECT_EQ(items.Count(), 2);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tk
