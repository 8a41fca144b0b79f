// A main window on the headless platform, in a temporary game folder holding small
// archives made on the spot.
#pragma once

#include "support/HeadlessGame.h"
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

struct ShellFixture : ::testing::Test, HeadlessGame {
  using HeadlessGame::Run;  // not the test's own

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
};

}  // namespace tk::testing
