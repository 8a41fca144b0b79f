// The name entry at game over: the panel the banner's Timer1 opens when the score reaches
// the table, the name typed into it (the shell's key table does the typing), the send box,
// and the clicks that move between them.
#include <cmath>
#include <string>

#include "menus/MenuSprites.h"
#include "online/State.h"
#include "persist/Settings.h"

namespace tk::online {

namespace {

constexpr uint32_t kNameColour = 0x008000;  // green
constexpr int kNameSize = 20;

bool Within(const TMainForm& f, int left, int right, int top, int bottom) {
  return f.MouseX >= left && f.MouseX <= right && f.MouseY >= top && f.MouseY <= bottom;
}

}  // namespace

void GameEnterNameClick(TMainForm& f) {
  f.GameEnterName = !f.GameEnterName;
  if (!f.GameEnterName) return;
  f.Engine().Add<menus::TEnter_Name>();
  // A name remembered from the last game is kept until the player clicks into the field.
  f.GamegoEdit = f.Edit2.empty();
}

void GameSendResultClick(TMainForm& f) {
  f.GameSendResult = !f.GameSendResult;
  f.KillAll<menus::TEnter_Name_Send>();
  if (f.GameSendResult) f.Engine().Add<menus::TEnter_Name_Send>();
}

void GameOverTick(TMainForm& f) {
  f.SpriteEngine.Move(MoveUnits);
  f.SpriteEngine.FreeDead();
  f.FillSurface(0);
  f.SpriteEngine.Draw();
  if (!f.GameEnterName) return;
  f.PlayerName = f.Edit2;
  const std::string score = std::to_string(f.Score);
  f.TextOut(410 - 12 * static_cast<int>(score.size()), 225, score, kNameSize, kNameColour);
  const int width = f.TextWidth(f.PlayerName, kNameSize);
  // Half a pixel rounds to even, as every rounding of the game does.
  f.TextOut(400 - static_cast<int>(std::nearbyint(width / 2.0)), 310, f.PlayerName, kNameSize,
            kNameColour);
  // The caret stands right of the centred name.
  f.NameTextWidth = width;
}

void GameOverMouseDown(TMainForm& f, platform::MouseButton button) {
  if (button != platform::MouseButton::Left || f.Timer1.Enabled()) return;
  if (!NameEntryOpens(f.HighScores, f.Score)) {
    f.Wait(200);
    f.SwitchScene(SceneMainMenu);
    return;
  }
  if (!f.Edit2.empty()) f.GamegoEdit = false;
  if (Within(f, 250, 550, 315, 348)) {  // the name field
    f.GamegoEdit = true;
    f.PlaySound("button_down");
  } else if (Within(f, 245, 283, 367, 405)) {  // the send box
    GameSendResultClick(f);
    f.PlaySound("button_down");
  }
}

}  // namespace tk::online
