// The whole game on the headless platform in a temporary folder with small archives: every
// picture the menu screens use, each a flat colour of its own, and the click sounds. The
// scenes of other modules build and draw nothing, so these tests see only the menus' side
// of a switch (their keys, pointer and leave steps stay).
#pragma once

#include "support/HeadlessGame.h"
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "assembly/Assembly.h"
#include "media/PictureCollection.h"
#include "menus/MenuState.h"
#include "menus/Typing.h"
#include "media/Sound.h"
#include "media/XmModule.h"
#include "platform/Cp1251.h"
#include "platform/Text.h"
#include "platform/headless/Headless.h"
#include "shell/MainForm.h"

namespace tk::testing {

// Sizes that matter to the tests; every other picture is 30 x 20.
inline const std::map<std::string, std::pair<int, int>>& PictureSizes() {
  static const std::map<std::string, std::pair<int, int>> sizes = {
      {"menu", {40, 40}},
      {"Exit_Main", {381, 201}},  // odd, so the centred panel lands on half pixels
      {"Enter_Name", {421, 320}},
      {"Help_arrows", {222, 96}},
      {"Help_Back_p", {207, 84}},
      {"Options_Display", {792, 36}},
      {"Options_window_mode", {175, 50}},
      {"Options_full_screen", {331, 50}},
      {"Options_Music_On", {86, 49}},
      {"Options_Music_Of", {123, 50}},
      {"Options_sound_on", {85, 52}},
      {"Options_sound_off", {122, 52}},
      {"HighScore_1", {19, 32}},
      {"HighScore_10", {40, 32}},
      {"palka", {26, 5}},
  };
  return sizes;
}

inline const std::vector<std::string>& PictureNames() {
  static const std::vector<std::string> names = {
      "logo_loading", "menu", "Pondlark_Word", "Orchardia_Word", "Orchardia_Word_d",
      "Start Game_n", "Start Game_d", "Options_n", "Options_d", "High Score_n", "High Score_d",
      "Help_n", "Help_d", "Visit Web Site_n", "Visit Web Site_d", "Exit_n", "Exit_d",
      "Help_word", "Help_arrows", "Help_Down", "Help_Up", "Help_back_n", "Help_Back_p",
      "kuvshinka_simple_1", "kuvshinka_hunter", "kuvshinka_pruginka", "kuvshinka_liapuchka",
      "1kroko", "1aist", "mushka", "muha", "komar", "vodomerka", "pchel", "logo",
      "Options_Word", "Options_Display", "Options_Music", "Options_Sound", "Options_Country",
      "Options_Back_n", "Options_window_mode", "Options_full_screen", "Options_Music_On",
      "Options_Music_Of", "Options_sound_on", "Options_sound_off", "palka",
      "HighScore_Word", "HighScore_Place", "HighScore_Name", "HighScore_Score", "HighScore_1",
      "HighScore_2", "HighScore_3", "HighScore_4", "HighScore_5", "HighScore_6", "HighScore_7",
      "HighScore_8", "HighScore_9", "HighScore_10", "HighScore_Table_row", "HighScore_Clear_n",
      "HighScore_Clear_d", "HighScore_View_n", "HighScore_View_d", "HighScore_Back_n",
      "HighScore_Back_d", "Exit_Main", "Exit_Main_Yes_d", "Exit_Main_No_d", "Exit_Main_Word",
      "HighScore_Clear_Word", "Enter_Name", "Enter_Name_Send"};
  return names;
}

// A colour of its own for each picture (never the black key colour).
inline uint32_t ColourOf(const std::string& name) {
  const auto& n = PictureNames();
  for (size_t i = 0; i < n.size(); ++i)
    if (n[i] == name) return 0x400000u | static_cast<uint32_t>((i + 1) * 0x0103u);
  return 0;
}

inline void WriteMenuArchives(TempGameDir& d) {
  TPictureCollection pics;
  for (const std::string& name : PictureNames()) {
    auto& it = pics.Add();
    it.SetName(name);
    auto size = std::pair<int, int>{30, 20};
    if (auto s = PictureSizes().find(name); s != PictureSizes().end()) size = s->second;
    it.Picture.ClassName = "TDIB";
    it.Picture.Width = size.first;
    it.Picture.Height = size.second;
    it.Picture.Pixels.assign(static_cast<size_t>(size.first) * size.second, ColourOf(name));
  }
  d.Write("Data/Graphic.dxg", pics.SaveToBytes());
  TWaveCollection waves;
  for (const char* name : {"button_up", "button_down", "pause", "after_pause"}) {
    auto& w = waves.Add();
    w.SetName(name);
    w.Wave.Data = std::make_shared<const std::string>(std::string(2000, '\x10'));
  }
  d.Write("Data/Music.dxw", waves.SaveToBytes());
  d.Write("Music/1.xm", BuildXm());
}

// One game, started and shown; foreign scenes are blanked.
class MenuGame : public HeadlessGame {
 public:
  MenuGame() {
    WriteMenuArchives(dir);
    RecordTexts();
    TMainFormOptions o;
    o.Seed = 7;
    o.RecordSounds = true;
    o.ScoreServer = "http://scores.test:8642";
    form = CreateGame(plat.Get(), o);
    for (uint8_t id : {ScenePond, SceneFeeding, SceneGameOver, SceneExitScreen}) {
      form->Scenes[id].Build = nullptr;
      form->Scenes[id].Tick = nullptr;
      form->Scenes[id].Timer1 = nullptr;
    }
    form->FormCreate();
    form->Show();
  }

  void Go(uint8_t scene) {
    form->SwitchScene(scene);
    Frames(1);
  }
  // Sounds started since the last call without the hover ticks a click's own move may add.
  std::vector<std::string> Heard() {
    std::vector<std::string> s;
    for (auto& n : Sounds())
      if (n != "button_up") s.push_back(n);
    return s;
  }
  platform::Cursor Pointer() { return form->Cursor(); }
  menus::TMenuState& Menus() { return form->Module<menus::TMenuState>(); }
  menus::TTyping& Typing() { return form->Module<menus::TTyping>(); }
};

inline int CountOf(const std::vector<std::string>& v, const std::string& s) {
  int n = 0;
  for (auto& x : v) n += x == s;
  return n;
}

}  // namespace tk::testing
