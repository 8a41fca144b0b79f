// The game-over scene: the banner over the menu background and, after five seconds, the
// name entry when the score earns a place in the table.
#pragma once

#include "shell/MainForm.h"
#include "sprites/Sprites.h"

namespace tk::game {

constexpr uint32_t GameOverBannerMs = 5000;

class TGame_Word : public TImageSprite {
 public:
  explicit TGame_Word(TSprite* parent);
  const char* ClassName() const override { return "TGame_Word"; }
};

class TOver_Word : public TImageSprite {
 public:
  explicit TOver_Word(TSprite* parent);
  const char* ClassName() const override { return "TOver_Word"; }
};

// Fills the scene table's SceneGameOver builder and Timer1 handler; the scene's tick and
// the name entry belong to the online module.
void RegisterGameOver(TMainForm& form);

void BuildGameOverScene(TMainForm& form);
void GameOverTimer1(TMainForm& form);

}  // namespace tk::game
