// The whole game on the headless platform with the real data of the build's game folder
// (the pictures, sounds and music the build made from assets/), and the real letters.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "assembly/Assembly.h"
#include "support/HeadlessGame.h"

namespace tk::testing {

class RealGame : public HeadlessGame {
 public:
  // `adjust` may change the platform before the main window is made.
  explicit RealGame(const std::function<void(platform::Platform&)>& adjust = {}) {
    for (const char* name : {"Data/Graphic.dxg", "Data/Music.dxw", "Music/1.xm", "Music/2.xm",
                             "Music/3.xm"}) {
      std::ifstream in(std::filesystem::path(TK_GAME_DIR) / name, std::ios::binary);
      if (!in) ADD_FAILURE() << "no " << TK_GAME_DIR << "/" << name << ": build the game first";
      std::stringstream bytes;
      bytes << in.rdbuf();
      dir.Write(name, bytes.str());
    }
    RecordTexts();
    if (adjust) adjust(plat.Get());
    TMainFormOptions o;
    o.Seed = 4;
    form = CreateGame(plat.Get(), o);
    form->FormCreate();
    form->Show();
  }
};

}  // namespace tk::testing
