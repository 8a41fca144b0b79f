// A main window on the headless platform, in a temporary game folder holding small
// archives made on the spot.
#pragma once

#include "support/RunLoop.h"
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "media/PictureCollection.h"
#include "media/Sound.h"
#include "platform/headless/Headless.h"
#include "shell/MainForm.h"

namespace tk::testing {

class TempGameDir {
 public:
  TempGameDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tk-shell-XXXXXX").string();
    dir_ = mkdtemp(tmpl.data());
    old_ = std::filesystem::current_path();
    std::filesystem::create_directories(dir_ / "Data");
    std::filesystem::current_path(dir_);
  }
  ~TempGameDir() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
    std::filesystem::remove_all(dir_, ec);
  }
  const std::filesystem::path& Path() const { return dir_; }
  void Write(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories((dir_ / name).parent_path());
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }

 private:
  std::filesystem::path dir_, old_;
};

// Archives with one 20 x 10 "logo_loading" picture and one short sound.
inline void WriteSmallArchives(TempGameDir& d) {
  TPictureCollection pics;
  auto& it = pics.Add();
  it.SetName("logo_loading");
  it.Picture.ClassName = "TDIB";
  it.Picture.Width = 20;
  it.Picture.Height = 10;
  it.Picture.Pixels.assign(200, 0x00FF00u);
  d.Write("Data/Graphic.dxg", pics.SaveToBytes());
  TWaveCollection waves;
  for (const char* name : {"button_up", "button_down", "pause", "after_pause", "mushka"}) {
    auto& w = waves.Add();
    w.SetName(name);
    w.Wave.Data = std::make_shared<const std::string>(std::string(2000, '\x10'));
  }
  d.Write("Data/Music.dxw", waves.SaveToBytes());
}

struct ShellFixture : ::testing::Test {
  TempGameDir dir;
  platform::HeadlessPlatform plat;
  std::unique_ptr<TMainForm> form;

  ShellFixture() {
    WriteSmallArchives(dir);
    TMainFormOptions o;
    o.Seed = 7;
    o.RecordSounds = true;
    form = std::make_unique<TMainForm>(plat.Get(), o);
  }
  void Start() {
    form->FormCreate();
    form->Show();
  }
  // Advances virtual time, firing timers and frame ticks as the real loop does.
  void Run(uint64_t ms) { ::tk::testing::RunFor(plat, *form, ms); }
  void Key(int key, platform::KeyMods mods = {}) {
    form->OnKeyDown(key, mods);
    form->OnKeyUp(key, mods);
  }
};

}  // namespace tk::testing
