// The game-over scene, whole: the banner over the menu background and, after five seconds,
// the name entry when the score earns a place in the table; its keys, typing, pointer,
// caret and leave steps. Enter on a qualifying name records the result
// (online::RecordHighScore).
#pragma once

#include "menus/Typing.h"
#include "shell/MainForm.h"
#include "sprites/Sprites.h"

namespace tk::online {

struct TOnlineState;

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

// Fills the scene table's SceneGameOver row. The name is typed into st.Edit2; the caret and
// the width of the name are the menus' text fields' (typing).
void RegisterGameOver(TMainForm& form, TOnlineState& st, menus::TTyping& typing);

void BuildGameOverScene(TMainForm& f);
void GameOverTimer1(TMainForm& f, TOnlineState& st);
void GameOverTick(TMainForm& f, const TOnlineState& st, menus::TTyping& typing);
void GameOverKeyDown(TMainForm& f, TOnlineState& st, int key, platform::KeyMods mods);
void GameOverKeyPress(TMainForm& f, TOnlineState& st, uint8_t ch);
void GameOverMouseMove(TMainForm& f);
void GameOverMouseDown(TMainForm& f, const TOnlineState& st, platform::MouseButton button);
void LeaveGameOver(TMainForm& f);

void GameEnterNameClick(TMainForm& f, const TOnlineState& st);
void GameSendResultClick(TMainForm& f);

}  // namespace tk::online
