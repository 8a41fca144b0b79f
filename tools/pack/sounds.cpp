// Sound archives ("Data\Music.dxw") for tinokvak-pack. Unpacked, item i is i.wav (its wave
// as a plain RIFF file: the format record and the samples) and an entry in manifest.json
// with its name, looped flag and overlap limit; packing reads the same back.
#include "Kinds.h"
#include "media/Sound.h"
#include "media/Wave.h"
#include "platform/Errors.h"

namespace fs = std::filesystem;

namespace tk::pack {

namespace {

Json ItemProperties(const TWaveCollectionItem& it, int index) {
  return Json{{"index", index},
              {"name", ToUtf8(it.Name())},
              {"looped", it.Looped()},
              {"maxPlayingCount", it.MaxPlayingCount()}};
}

Json ListSounds(std::string_view archive) {
  TWaveCollection c;
  c.LoadFromBytes(archive);
  Json items = Json::array();
  for (int i = 0; i < c.Count(); ++i) {
    const TWaveCollectionItem& it = c.Items(i);
    Json j = ItemProperties(it, i);
    j["formatTag"] = it.Wave.Format.FormatTag;
    j["channels"] = it.Wave.Format.Channels;
    j["sampleRate"] = it.Wave.Format.SamplesPerSec;
    j["bitsPerSample"] = it.Wave.Format.BitsPerSample;
    j["dataBytes"] = it.Wave.Size();
    items.push_back(std::move(j));
  }
  return Json{{"format", "sounds"}, {"items", std::move(items)}};
}

int FindSound(std::string_view archive, const std::string& name) {
  TWaveCollection c;
  c.LoadFromBytes(archive);
  return c.FindSound(name).Index();
}

void UnpackSounds(std::string_view archive, const fs::path& dir) {
  TWaveCollection c;
  c.LoadFromBytes(archive);
  Json items = Json::array();
  for (int i = 0; i < c.Count(); ++i) {
    const TWaveCollectionItem& it = c.Items(i);
    Json j = ItemProperties(it, i);
    const std::string file = std::to_string(i) + ".wav";
    WriteFileBytes(dir / file, WriteWave(it.Wave));
    j["wav"] = file;
    items.push_back(std::move(j));
  }
  const Json manifest{{"format", "sounds"}, {"items", std::move(items)}};
  WriteFileBytes(dir / "manifest.json", manifest.dump(2) + "\n");
}

std::string PackSounds(const Json& manifest, const fs::path& dir) {
  TWaveCollection c;
  for (const Json& j : manifest.at("items")) {
    TWaveCollectionItem& it = c.Add();
    it.SetName(FromUtf8(j.value("name", std::string())));
    it.SetLooped(j.value("looped", false));
    it.SetMaxPlayingCount(j.value("maxPlayingCount", int32_t{0}));
    // An entry without a file is a sound without samples.
    if (j.contains("wav")) it.Wave = ParseWave(ReadFileBytes(dir / j.at("wav").get<std::string>()));
  }
  return c.SaveToBytes();
}

const TArchiveKindRegistrar kSounds({"TWaveCollectionComponent", "sounds", ListSounds, FindSound,
                                     UnpackSounds, PackSounds});

}  // namespace

}  // namespace tk::pack
