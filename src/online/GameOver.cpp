// The game-over scene: the banner, then the name entry the banner's Timer1 opens when the
// score reaches the table (persist's NameEntryOpens), the name typed into it, the send box,
// Enter that records a result above the tenth row (ResultIsRecorded), and the way back to
// the main menu for a score that does not.
#include "online/GameOver.h"

#include <cmath>
#include <string>

#include "menus/MenuSprites.h"
#include "online/State.h"
#include "persist/Settings.h"
#include "platform/NameCharacters.h"

namespace tk::online {

namespace {

constexpr uint32_t kNameColour = 0x008000;  // green
constexpr int kNameSize = 20;

bool Within(const TMainForm& f, int left, int right, int top, int bottom) {
  return f.MouseX >= left && f.MouseX <= right && f.MouseY >= top && f.MouseY <= bottom;
}
// The name field shows the text pointer and takes the typing when clicked.
bool OverNameField(const TMainForm& f) { return Within(f, 250, 550, 315, 348); }

void PlaceWord(TImageSprite& s, const char* image, double x, double y) {
  s.Image = &Form(s).FindImage(image);
  s.PixelHit = true;
  s.Width = s.Image->CellWidth();
  s.Height = s.Image->CellHeight();
  s.X = x;
  s.Y = y;
  s.SetZ(1);
}

}  // namespace

TGame_Word::TGame_Word(TSprite* parent) : TImageSprite(parent) {
  PlaceWord(*this, "Game_Word", 149, 118);
}

TOver_Word::TOver_Word(TSprite* parent) : TImageSprite(parent) {
  PlaceWord(*this, "Over_Word", 164, 284);
}

void RegisterGameOver(TMainForm& form, TOnlineState& state, menus::TTyping& typing) {
  TMainForm* f = &form;
  TOnlineState* st = &state;
  menus::TTyping* t = &typing;
  auto& scene = form.Scenes[SceneGameOver];
  scene.Build = [f] { BuildGameOverScene(*f); };
  scene.Tick = [f, st, t] { GameOverTick(*f, *st, *t); };
  scene.Timer1 = [f, st] { GameOverTimer1(*f, *st); };
  scene.KeyDown = [f, st](int key, platform::KeyMods mods) { GameOverKeyDown(*f, *st, key, mods); };
  scene.KeyPress = [f, st](uint8_t ch) { GameOverKeyPress(*f, *st, ch); };
  scene.MouseMove = [f] { GameOverMouseMove(*f); };
  scene.MouseDown = [f, st](platform::MouseButton b) { GameOverMouseDown(*f, *st, b); };
  scene.Caret = [f, t](bool shown) { menus::BlinkCaret(*f, *t, shown); };
  scene.Leave = [f] { LeaveGameOver(*f); };
  scene.Music = "3";
}

void BuildGameOverScene(TMainForm& f) {
  auto* bg = f.Engine().Add<TBackgroundSprite>();
  bg->ResizeMap(1, 1);
  bg->Image = &f.FindImage("menu");
  bg->Wrap = true;
  bg->SetZ(-1);
  f.Engine().Add<TGame_Word>();
  f.Engine().Add<TOver_Word>();
  f.PlayMusic("3");
  // Restarted even when it was running, so the banner always gets its full time.
  f.Timer1.SetEnabled(false);
  f.Timer1.SetInterval(GameOverBannerMs);
  f.Timer1.SetEnabled(true);
}

void GameOverTimer1(TMainForm& f, TOnlineState& st) {
  // A score that ties the table's last row still opens the entry; Enter then decides.
  if (!NameEntryOpens(f.HighScores, f.Score)) return;
  f.KillAll<TGame_Word>();
  f.KillAll<TOver_Word>();
  f.SetCursor(platform::Cursor::Arrow);
  GameEnterNameClick(f, st);
}

void GameEnterNameClick(TMainForm& f, const TOnlineState& st) {
  f.GameEnterName = !f.GameEnterName;
  if (!f.GameEnterName) return;
  f.Engine().Add<menus::TEnter_Name>();
  // A name remembered from the last game is kept until the player clicks into the field.
  f.GamegoEdit = st.Edit2.empty();
}

void GameSendResultClick(TMainForm& f) {
  f.GameSendResult = !f.GameSendResult;
  f.KillAll<menus::TEnter_Name_Send>();
  if (f.GameSendResult) f.Engine().Add<menus::TEnter_Name_Send>();
}

void GameOverTick(TMainForm& f, const TOnlineState& st, menus::TTyping& t) {
  f.SpriteEngine.Move(MoveUnits);
  f.SpriteEngine.FreeDead();
  f.FillSurface(0);
  f.SpriteEngine.Draw();
  if (!f.GameEnterName) return;
  f.PlayerName = st.Edit2;
  const std::string score = std::to_string(f.Score);
  f.TextOut(410 - 12 * static_cast<int>(score.size()), 225, score, kNameSize, kNameColour);
  const int width = f.TextWidth(f.PlayerName, kNameSize);
  // Half a pixel rounds to even, as every rounding of the game does.
  f.TextOut(400 - static_cast<int>(std::nearbyint(width / 2.0)), 310, f.PlayerName, kNameSize,
            kNameColour);
  // The caret stands right of the centred name.
  t.NameTextWidth = width;
}

void GameOverKeyDown(TMainForm& f, TOnlineState& st, int key, platform::KeyMods mods) {
  namespace vk = platform::vk;
  const bool recorded = ResultIsRecorded(f.HighScores, f.Score);
  if ((key == vk::Esc || key == vk::Enter) && !recorded && !f.Timer1.Enabled()) {
    f.Wait(200);
    f.SwitchScene(SceneMainMenu);
  } else if (key == vk::Backspace && f.GamegoEdit) {
    if (!st.Edit2.empty()) st.Edit2.pop_back();
  } else if (key == vk::Enter && !mods.Alt && !f.PlayerName.empty() && recorded) {
    RecordHighScore(f, st);
  }
}

void GameOverKeyPress(TMainForm& f, TOnlineState& st, uint8_t ch) {
  if (f.GamegoEdit && st.Edit2.size() < 10 && IsNameCharacter(ch)) st.Edit2 += static_cast<char>(ch);
}

void GameOverMouseMove(TMainForm& f) {
  f.KillAll<menus::TMenuGame>();  // freed before the next draw
  f.SetCursor(OverNameField(f) ? platform::Cursor::IBeam : platform::Cursor::Arrow);
}

void GameOverMouseDown(TMainForm& f, const TOnlineState& st, platform::MouseButton button) {
  // The banner's five seconds run on Timer1; the panel takes clicks only after them.
  if (button != platform::MouseButton::Left || f.Timer1.Enabled()) return;
  if (!NameEntryOpens(f.HighScores, f.Score)) {
    f.Wait(200);
    f.SwitchScene(SceneMainMenu);
    return;
  }
  if (!st.Edit2.empty()) f.GamegoEdit = false;
  if (OverNameField(f)) {
    f.GamegoEdit = true;
    f.PlaySound("button_down");
  } else if (Within(f, 245, 283, 367, 405)) {  // the send box
    GameSendResultClick(f);
    f.PlaySound("button_down");
  }
}

void LeaveGameOver(TMainForm& f) {
  f.Engine().Clear();
  f.GameOver = false;
  f.GameEnterName = f.GamegoEdit = f.GameSendResult = false;
  f.SaveSettings();
}

}  // namespace tk::online
