// The heads-up display both play stages show: the energy bottle, the wooden plates behind
// the status texts, and the texts' style.
#pragma once

#include <cstdint>
#include <string>

#include "game/PondState.h"
#include "shell/MainForm.h"
#include "sprites/Sprites.h"

namespace tk::game {

constexpr uint32_t HudYellow = 0xFFFF00;
constexpr int BannerPointSize = 21;  // "Пауза", the level title
constexpr int StatusPointSize = 12;  // the status line

// Writes a HUD or banner text in the game's font, yellow, on a transparent background.
void HudText(TMainForm& form, int x, int y, const std::string& text1251, int pointSize);

// The frog's hunger as a bottle that empties one stage every Level jumps; past its last
// picture the frog starves.
class TBottle : public TImageSprite {
 public:
  TBottle(TSprite* parent, TPondState& pond);
  const char* ClassName() const override { return "TBottle"; }
  void Render() override;
  void Advance(int32_t moveCount) override;

  int32_t Stage = 0, PreviousStage = 0;

 private:
  TPondState& pond_;
};

// A plate behind the status texts, stretched to half the picture plus 30 px a width unit.
class TPanel : public TImageSprite {
 public:
  TPanel(TSprite* parent, double x, double widthUnits);
  const char* ClassName() const override { return "TPanel"; }
};

// The bottle and the three plates, as both play stages lay them out.
void CreateHud(TMainForm& form, TPondState& pond);

}  // namespace tk::game
