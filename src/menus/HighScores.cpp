// The high-score screen: the ten rows of the local table as text over the ruled picture,
// and the Clear, View and Back buttons.
#include <string>

#include "menus/HitTest.h"
#include "menus/MenuSprites.h"
#include "menus/Screens.h"

namespace tk::menus {

namespace {

constexpr uint32_t Yellow = 0xFFFF00;

constexpr THitRect ClearRect = Hit(29, 166, 215, 260);
constexpr THitRect ViewRect = Hit(28, 170, 316, 382);
constexpr THitRect BackRect = Hit(29, 169, 447, 474);

constexpr THoverTarget ScoreHover[] = {
    {ClearRect, Spawn<HighScore_Clear>},
    {ViewRect, Spawn<HighScore_View>},
    {BackRect, Spawn<HighScore_Back>},
};

const TClickTarget ScoreClicks[] = {
    {ClearRect,
     [](TMainForm& f, TMenuState&) {
       GameClearHighScoreClick(f);
       f.PlaySound("button_down");
     }},
    {ViewRect,
     [](TMainForm& f, TMenuState&) {
       f.GoWeb(HighScorePageAddress(f));
       f.PlaySound("button_down");
     }},
    {BackRect,
     [](TMainForm& f, TMenuState&) {
       BackToMainMenu(f);
       f.PlaySound("button_down");
     }},
};

struct TPlace {
  const char* Image;
  int Y;
};
constexpr TPlace Places[] = {
    {"HighScore_1", 221}, {"HighScore_2", 257}, {"HighScore_3", 294}, {"HighScore_4", 331},
    {"HighScore_5", 368}, {"HighScore_6", 405}, {"HighScore_7", 443}, {"HighScore_8", 478},
    {"HighScore_9", 516}, {"HighScore_10", 553},
};

}  // namespace

std::string HighScorePageAddress(const TMainForm& f) {
  std::string base = f.Options.ScoreServer;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return base + "/cgi/version.pl?prg=Pondlark&type=0&show";
}

void BuildHighScoreScreen(TMainForm& f) {
  if (f.MusicRestartPending) f.PlayMusic("1");
  f.MusicRestartPending = false;
  AddPicture(f, "HighScore_Place", 215, 182, 1);
  AddPicture(f, "HighScore_Name", 420, 183, 1);
  AddPicture(f, "HighScore_Score", 630, 183, 1);
  // Each place number is centred on x 275.
  for (const TPlace& p : Places)
    AddPicture(f, p.Image, 275 - f.FindImage(p.Image).CellWidth() / 2.0, p.Y, 2);
  AddPicture(f, "HighScore_Word", 343, 26, 2);
  AddPicture(f, "HighScore_Clear_n", 0, 197, 2);
  AddPicture(f, "HighScore_View_n", 0, 304, 2);
  AddPicture(f, "HighScore_Back_n", 0, 437, 2);
  // One stripe behind the column heads and one behind each row.
  for (int k = 0; k <= 10; ++k) AddPicture(f, "HighScore_Table_row", 205, 180 + 37 * k, 1);
  AddPicture(f, "Orchardia_Word", 5, 527, 0);
  AddPicture(f, "Pondlark_Word", 0, 0, 0);
  AddMenuBackground(f);
}

void HighScoreScreenTick(TMainForm& f) {
  f.SpriteEngine.Move(MoveUnits);
  f.SpriteEngine.FreeDead();
  f.FillSurface(0);
  f.SpriteEngine.Draw();
  if (f.GameClearHighScore) return;  // the dialog stands over the pictures alone
  for (int k = 0; k < 10; ++k) {
    const int y = 217 + 37 * k;
    f.TextOut(370, y, f.HighScores[k].Name, 16, Yellow);
    f.TextOut(620, y, std::to_string(f.HighScores[k].Score), 16, Yellow);
  }
}

void HighScoreHover(TMainForm& f, TMenuState& m) { HoverTest(f, m, ScoreHover); }

void HighScoreClick(TMainForm& f, TMenuState& m) { ClickTest(f, m, ScoreClicks); }

}  // namespace tk::menus
