// tinokvak-pack on sound archives built here: list, find, unpack then pack, and errors.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "media/Sound.h"
#include "platform/Cp1251.h"
#include "PackToolTest.h"

namespace fs = std::filesystem;
using Json = nlohmann::json;
using namespace tk;
using packtest::Result;
using packtest::Slurp;
using packtest::Spit;

namespace {

class SoundPack : public packtest::PackToolTest {};

// Three sounds: a looped stereo one with a Cyrillic name, a limited 8-bit one, and a later
// duplicate of the first name in other letter case.
std::string SampleArchive() {
  TWaveCollection c;
  auto& fon = c.Add();
  fon.SetName(Cp("Фон"));
  fon.SetLooped(true);
  fon.Wave.Format = {1, 2, 44100, 176400, 4, 16};
  fon.Wave.Data = std::make_shared<const std::string>("\x01\x02\x03\x04\x05\x06\x07\x08", 8);
  auto& kvak = c.Add();
  kvak.SetName("kvak");
  kvak.SetMaxPlayingCount(3);
  kvak.Wave.Format = {1, 1, 11025, 11025, 1, 8};
  kvak.Wave.Data = std::make_shared<const std::string>("\x80\x90\xA0", 3);
  auto& again = c.Add();
  again.SetName(Cp("фОН"));
  again.Wave = kvak.Wave;
  return c.SaveToBytes();
}

TEST_F(SoundPack, ListDescribesEveryItem) {
  Spit(dir / "m.dxw", SampleArchive());
  const Result r = Run({"list", (dir / "m.dxw").string()});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const Json j = Json::parse(r.Out);
  EXPECT_EQ(j["format"], "sounds");
  ASSERT_EQ(j["items"].size(), 3u);
  EXPECT_EQ(j["items"][0], Json::parse(R"({"index":0,"name":"Фон","looped":true,
      "maxPlayingCount":0,"formatTag":1,"channels":2,"sampleRate":44100,"bitsPerSample":16,
      "dataBytes":8})"));
  EXPECT_EQ(j["items"][1]["maxPlayingCount"], 3);
  EXPECT_EQ(j["items"][1]["bitsPerSample"], 8);
  EXPECT_EQ(j["items"][1]["dataBytes"], 3);
  // Keys in the documented order.
  EXPECT_EQ(r.Out.rfind(R"({"format":"sounds","items":[{"index":0,"name":"Фон","looped":true,)", 0),
            0u);
}

TEST_F(SoundPack, FindUsesTheLibraryLookup) {
  Spit(dir / "m.dxw", SampleArchive());
  const std::string a = (dir / "m.dxw").string();
  EXPECT_EQ(Run({"find", a, "KVAK"}).Out, "1\n");
  EXPECT_EQ(Run({"find", a, "фон"}).Out, "2\n");  // the later duplicate wins
  const Result missing = Run({"find", a, "жаба"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Err, "Wave 'жаба' not found\n");
}

TEST_F(SoundPack, UnpackThenPackGivesTheSameArchive) {
  const std::string original = SampleArchive();
  Spit(dir / "m.dxw", original);
  ASSERT_EQ(Run({"unpack", (dir / "m.dxw").string(), (dir / "out").string()}).Status, 0);
  const Json manifest = Json::parse(Slurp(dir / "out" / "manifest.json"));
  EXPECT_EQ(manifest["format"], "sounds");
  EXPECT_EQ(manifest["items"][0], Json::parse(R"({"index":0,"name":"Фон","looped":true,
      "maxPlayingCount":0,"wav":"0.wav"})"));
  // Each file is a plain WAVE file of the item's samples.
  const TWave kvak = ParseWave(Slurp(dir / "out" / "1.wav"));
  EXPECT_EQ(kvak.Format.SamplesPerSec, 11025u);
  EXPECT_EQ(*kvak.Data, "\x80\x90\xA0");

  ASSERT_EQ(
      Run({"pack", (dir / "out" / "manifest.json").string(), (dir / "b.dxw").string()}).Status, 0);
  EXPECT_EQ(Slurp(dir / "b.dxw"), original);

  // A hand-written manifest: defaults for what it leaves out, a negative limit read as 0.
  Spit(dir / "out" / "edited.json",
       R"({"format":"sounds","items":[{"name":"a","wav":"1.wav","maxPlayingCount":-4},
           {"name":"b"}]})");
  ASSERT_EQ(Run({"pack", (dir / "out" / "edited.json").string(), (dir / "c.dxw").string()}).Status,
            0);
  TWaveCollection c;
  c.LoadFromBytes(Slurp(dir / "c.dxw"));
  ASSERT_EQ(c.Count(), 2);
  EXPECT_FALSE(c.Items(0).Looped());
  EXPECT_EQ(c.Items(0).MaxPlayingCount(), 0);
  EXPECT_EQ(*c.Items(0).Wave.Data, "\x80\x90\xA0");
  EXPECT_EQ(c.Items(1).Wave.Size(), 0u);
}

TEST_F(SoundPack, ErrorsGiveTheLibraryMessageAndStatusOne) {
  std::string badWave = SampleArchive();
  badWave[badWave.find("RIFF")] = 'X';  // the first item's wave payload
  Spit(dir / "bad.dxw", badWave);
  for (const auto& args : {std::vector<std::string>{"list", (dir / "bad.dxw").string()},
                           std::vector<std::string>{"unpack", (dir / "bad.dxw").string(),
                                                    (dir / "x").string()}}) {
    const Result r = Run(args);
    EXPECT_EQ(r.Status, 1) << args[0];
    EXPECT_EQ(r.Err, "Wave is invalid\n") << args[0];
    EXPECT_EQ(r.Out, "") << args[0];
  }
  Spit(dir / "junk.wav", "RIFF\x04\0\0\0WAVE");
  Spit(dir / "m.json", R"({"format":"sounds","items":[{"name":"a","wav":"junk.wav"}]})");
  const Result r = Run({"pack", (dir / "m.json").string(), (dir / "o.dxw").string()});
  EXPECT_EQ(r.Status, 1);
  EXPECT_EQ(r.Err, "Wave is invalid\n");
  EXPECT_FALSE(fs::exists(dir / "o.dxw"));
}

}  // namespace
