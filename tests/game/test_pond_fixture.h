// A main window with only the pond registered, in a temporary game folder whose archives
// hold every picture and sound the pond uses, in the sizes and frame counts of the real art.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "game/FeedingState.h"
#include "game/Frog.h"
#include "game/Grid.h"
#include "game/Hud.h"
#include "game/Lily.h"
#include "game/Pond.h"
#include "game/PondScenery.h"
#include "game/PondState.h"
#include "game/Water.h"
#include "shell/ShellFixture.h"

namespace tk::testing {

struct PondImage {
  const char* name;
  int width, height, frames;
};

// Sizes and frame counts as the pond's art has them.
inline const std::vector<PondImage>& PondImages() {
  static const std::vector<PondImage> images = {
      {"logo_loading", 20, 10, 1},      {"bg1", 200, 200, 1},
      {"sample", 8, 8, 1},              {"stone", 250, 150, 1},
      {"brevno1", 150, 45, 1},          {"brevno2", 150, 45, 1},
      {"kuvshinka_simple_1", 130, 80, 7}, {"kuvshinka_simple_2", 130, 80, 7},
      {"kuvshinka_simple_3", 130, 80, 7}, {"kuvshinka_hunter", 130, 80, 6},
      {"kuvshinka_pruginka", 130, 80, 5}, {"kuvshinka_liapuchka", 130, 80, 5},
      {"liapuchka_l", 165, 70, 1},      {"liapuchka_p", 165, 70, 1},
      {"liapuchka_c", 130, 105, 1},     {"kroco_yes", 70, 40, 4},
      {"kroko", 300, 150, 8},           {"dollar", 40, 40, 1},
      {"life", 40, 40, 1},              {"frog", 67, 104, 5},
      {"razvod1", 170, 196, 5},         {"razvod2", 190, 176, 5},
      {"razvod3", 210, 196, 5},         {"brizgi", 100, 100, 6},
      {"energi", 50, 90, 8},            {"panel", 230, 32, 1},
  };
  return images;
}

// Every frame opaque, each image in its own colour.
inline std::string PondGraphicArchive() {
  static const std::string bytes = [] {
    TPictureCollection pics;
    uint32_t colour = 0x204060;
    for (const PondImage& im : PondImages()) {
      auto& it = pics.Add();
      it.SetName(im.name);
      it.Picture.ClassName = "TDIB";
      it.Picture.Width = im.width * im.frames;
      it.Picture.Height = im.height;
      it.Picture.Pixels.assign(size_t(im.width) * im.frames * im.height, colour);
      colour += 0x010305;
      if (im.frames > 1) {
        it.PatternWidth = im.width;
        it.PatternHeight = im.height;
      }
    }
    return pics.SaveToBytes();
  }();
  return bytes;
}

inline void WritePondArchives(TempGameDir& d) {
  d.Write("Data/Graphic.dxg", PondGraphicArchive());
  TWaveCollection waves;
  for (const char* name :
       {"button_down", "button_up", "pause", "after_pause", "food", "aist_eat", "brizg",
        "kuv_eat", "kroco", "dollar", "life", "frog_bir", "kvak", "bell", "iazik", "bottle_up",
        "bottle_down", "fon1", "fon2", "mushka", "muha", "komar", "vodomerka", "pchel"}) {
    auto& w = waves.Add();
    w.SetName(name);
    w.Wave.Data = std::make_shared<const std::string>(std::string(400, '\x10'));
  }
  d.Write("Data/Music.dxw", waves.SaveToBytes());
}

template <class T>
std::vector<T*> SpritesOf(TMainForm& f) {
  std::vector<T*> out;
  auto& e = f.Engine();
  for (int i = 0; i < e.ChildCount(); ++i)
    if (auto* s = dynamic_cast<T*>(e.Children(i)); s && !s->Killed()) out.push_back(s);
  return out;
}

struct PondFixture : ::testing::Test, HeadlessGame {
  using HeadlessGame::Run;  // not the test's own

  explicit PondFixture(uint32_t seed = 7) {
    WritePondArchives(dir);
    TMainFormOptions o;
    o.Seed = seed;
    o.RecordSounds = true;
    form = std::make_unique<TMainForm>(plat.Get(), o);
    game::RegisterPond(*form, form->AddModule<game::TPondState>(),
                       form->AddModule<game::TFeedingState>());
    form->FormCreate();
    form->Show();
  }

  // A new game at the given level, as the main menu starts one; the title still shows.
  game::TPondState& Pond() { return form->Module<game::TPondState>(); }

  void EnterPond(int level = 1) {
    form->Level = level;
    form->Score = 0;
    form->Lives = 3;
    form->SwitchScene(ScenePond);
  }

  // The pond rebuilt in BuildPond's order with a layout of our own instead of a random
  // one, the title gone and play running. Rows -1..4 top to bottom, four cells each:
  // '1' '2' '3' simple looks, '$' and 'L' look 1 carrying a dollar or a life, 'H' hunter,
  // 'S' spring, 'T' sticky, 'C' crocodile. Every simple lily is held still and afloat.
  void Layout(const std::vector<std::string>& rows, int frogColumn) {
    EXPECT_EQ(rows.size(), 6u);
    auto& e = form->Engine();
    e.Clear();
    e.Add<game::TSample>(Pond());
    e.Add<game::TStone>(Pond(), 135.0 - 300.0 * (form->Level - 1));
    Pond().StoneRow = 2 - 2 * (form->Level - 1);
    e.Add<game::TScrollBackground>(Pond());
    for (int r = 0; r < 6; ++r)
      for (int c = 0; c < 4; ++c) {
        game::TLilyCell& cell = Pond().Lily(r - 1, c + 1);
        cell.Pickup = 0;
        switch (rows[r][c]) {
          case '1': cell.LilyKind = 0; break;
          case '2': cell.LilyKind = 10; break;
          case '3': cell.LilyKind = 20; break;
          case '$': cell.LilyKind = 0; cell.Pickup = 2; break;
          case 'L': cell.LilyKind = 0; cell.Pickup = 1; break;
          case 'H': cell.LilyKind = 1; break;
          case 'S': cell.LilyKind = 2; break;
          case 'T': cell.LilyKind = 3; break;
          case 'C': cell.LilyKind = 4; break;
          default: ADD_FAILURE() << "bad cell " << rows[r][c];
        }
      }
    Pond().FirstLilyBuild = true;
    game::CreateLilySprites(*form, Pond());
    HoldSimpleLilies();
    e.Add<game::TPlayerSprite>(Pond());
    game::CreateHud(*form, Pond());
    Pond().FrogColumn = static_cast<uint8_t>(frogColumn);
    Frog()->X = game::LilyCentre(4, frogColumn + 1).x;
    Pond().Hunger = 0;
    form->Timer1.SetEnabled(false);
    form->LevelTitleShown = false;
  }
  void HoldSimpleLilies() {
    for (auto* l : SpritesOf<game::TKuvshinka>(*form))
      if (l->KindName == "simple") {
        l->FramePos = 0;
        l->BaseSpeed = 0;
        l->FrameSpeed = 0;
        l->SlowPhase = true;
      }
  }

  game::TPlayerSprite* Frog() {
    auto frogs = SpritesOf<game::TPlayerSprite>(*form);
    return frogs.empty() ? nullptr : frogs.front();
  }
  std::vector<game::TKuvshinka*> LiliesAt(int row, int column) {
    std::vector<game::TKuvshinka*> out;
    for (auto* l : SpritesOf<game::TKuvshinka>(*form))
      if (l->Row == row && l->Column == column) out.push_back(l);
    return out;
  }
  template <class T>
  int Count() {
    return static_cast<int>(SpritesOf<T>(*form).size());
  }

  void Ticks(int n) {
    for (int i = 0; i < n; ++i) form->FrameTick();
  }
  // Ticks until the condition holds; the number of ticks, or -1 after the limit.
  template <class F>
  int TicksUntil(F done, int limit = 400) {
    for (int i = 1; i <= limit; ++i) {
      form->FrameTick();
      if (done()) return i;
    }
    return -1;
  }
  void Hold(int key, bool held) { plat.SetKeyHeld(key, held); }
  // One jump: fire held for one tick.
  void Jump() {
    form->FireHeld = true;
    Ticks(1);
    form->FireHeld = false;
  }
  void Face(int key) {
    Hold(key, true);
    Ticks(1);
    Hold(key, false);
  }
  int SoundCount(const std::string& name) {
    int n = 0;
    for (auto& s : form->SoundLog) n += s == name;
    return n;
  }
};

}  // namespace tk::testing
