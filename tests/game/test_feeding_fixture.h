// The whole game on the headless platform in a temporary folder holding small archives:
// every picture the asset manifests name, at its real cell size and frame count but in a
// flat colour of its own (so hits depend on rectangles only), every sound as a short
// buzz, and three tiny modules.
#pragma once

#include "support/HeadlessGame.h"
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "assembly/Assembly.h"
#include "game/FeedingState.h"
#include "game/PondState.h"
#include "media/PictureCollection.h"
#include "media/Sound.h"
#include "media/XmModule.h"
#include "platform/Cp1251.h"
#include "platform/Text.h"
#include "platform/headless/Headless.h"
#include "shell/MainForm.h"

namespace tk::feedtest {

namespace fs = std::filesystem;
using testing::TempGameDir;
using testing::TextCall;

// Sounds that loop in the real archive, so "still playing" means something.
inline bool LoopedSound(const std::string& name) {
  static const char* looped[] = {"fon1", "fon2", "mushka", "muha", "komar", "vodomerka", "pchel"};
  return std::any_of(std::begin(looped), std::end(looped), [&](const char* n) { return name == n; });
}

// Builds Data/Graphic.dxg, Data/Music.dxw and Music/1..3.xm from the manifests in assets/.
inline void WriteGameFolder(TempGameDir& d) {
  const fs::path assets = fs::path(TK_SOURCE_DIR) / "assets";
  std::vector<fs::path> manifests;
  for (auto& e : fs::directory_iterator(assets / "graphics"))
    if (e.path().extension() == ".json") manifests.push_back(e.path());
  std::sort(manifests.begin(), manifests.end());
  TPictureCollection pics;
  uint32_t n = 0;
  for (const fs::path& m : manifests) {
    std::ifstream in(m);
    const auto doc = nlohmann::json::parse(in);
    for (const auto& img : doc.at("images")) {
      auto& it = pics.Add();
      it.SetName(img.at("name").get<std::string>());
      it.Picture.ClassName = "TDIB";
      if (img.contains("cell")) {
        const int cw = img["cell"][0], ch = img["cell"][1];
        int count = img.contains("frames") ? static_cast<int>(img["frames"].size())
                                           : img.value("count", 1);
        const int columns = std::min(img.value("columns", count), count);
        it.PatternWidth = cw;
        it.PatternHeight = ch;
        it.Picture.Width = cw * columns;
        it.Picture.Height = ch * ((count + columns - 1) / columns);
      } else {
        it.Picture.Width = img.at("size")[0];
        it.Picture.Height = img.at("size")[1];
      }
      // Never the black key colour.
      ++n;
      const uint32_t colour = 0x204060u + n * 0x010305u;
      it.Picture.Pixels.assign(static_cast<size_t>(it.Picture.Width) * it.Picture.Height, colour);
    }
  }
  // Pictures the shell and the menus need whichever manifest ends up drawing them.
  for (const char* name : {"logo_loading", "menu"}) {
    if (pics.Find(name)) continue;
    auto& it = pics.Add();
    it.SetName(name);
    it.Picture.ClassName = "TDIB";
    it.Picture.Width = it.Picture.Height = 40;
    it.Picture.Pixels.assign(1600, 0x336699u);
  }
  d.Write("Data/Graphic.dxg", pics.SaveToBytes());
  TWaveCollection waves;
  for (auto& e : fs::directory_iterator(assets / "sounds")) {
    if (e.path().extension() != ".json") continue;
    auto& w = waves.Add();
    w.SetName(e.path().stem().string());
    w.SetLooped(LoopedSound(w.Name()));
    w.Wave.Data = std::make_shared<const std::string>(std::string(2000, '\x10'));
  }
  d.Write("Data/Music.dxw", waves.SaveToBytes());
  for (const char* track : {"1", "2", "3"}) d.Write(std::string("Music/") + track + ".xm", testing::BuildXm());
}

// One game, started and shown, with every module the assembly registers.
class Game : public testing::HeadlessGame {
 public:
  explicit Game(uint32_t seed = 7, bool recordSounds = true) {
    WriteGameFolder(dir);
    RecordTexts();
    TMainFormOptions o;
    o.Seed = seed;
    o.RecordSounds = recordSounds;
    o.ScoreServer = "http://127.0.0.1:9";
    form = CreateGame(plat.Get(), o);
    form->FormCreate();
    form->Show();
  }

  // A fresh game's feeding stage at the given level, with the head of the stork kept away
  // unless a test allows it.
  void StartFeeding(int level, bool storkAllowed = false) {
    form->Level = level;
    form->Score = 0;
    form->Lives = 3;
    Pond().Hunger = 0;
    Feeding().StorkAllowed = storkAllowed;
    form->SwitchScene(SceneFeeding);
  }
  void Hold(int key, bool held = true) { plat.SetKeyHeld(key, held); }
  game::TPondState& Pond() { return form->Module<game::TPondState>(); }
  game::TFeedingState& Feeding() { return form->Module<game::TFeedingState>(); }

  bool SoundPlaying(const std::string& name) {
    auto* b = form->DXWaveList->Items.FindSound(name).PrimaryBuffer();
    return b && b->Playing();
  }
  template <class T>
  T* First() {
    auto& e = form->Engine();
    for (int i = 0; i < e.ChildCount(); ++i)
      if (auto* s = dynamic_cast<T*>(e.Children(i)); s && !s->Killed()) return s;
    return nullptr;
  }
};

inline int CountOf(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<int>(std::count(v.begin(), v.end(), s));
}

}  // namespace tk::feedtest
