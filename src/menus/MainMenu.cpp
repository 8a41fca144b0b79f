// The main menu: six painted buttons and the publisher's word, lit under the pointer.
#include "menus/HitTest.h"
#include "menus/MenuSprites.h"
#include "menus/Screens.h"

namespace tk::menus {

namespace {

constexpr THitRect StartGameRect = Hit(361, 726, 166, 202);
constexpr THitRect OptionsRect = Hit(464, 627, 242, 279);
constexpr THitRect HighScoreRect = Hit(431, 657, 316, 352);
constexpr THitRect HelpRect = Hit(444, 650, 393, 430);
constexpr THitRect VisitWebSiteRect = Hit(344, 747, 460, 495);
constexpr THitRect OrchardiaRect = Hit(5, 230, 527, 596);

constexpr THoverTarget MenuHover[] = {
    {StartGameRect, Spawn<Start_Game>},
    {OptionsRect, Spawn<Options>},
    {HighScoreRect, Spawn<High_Score>},
    {HelpRect, Spawn<Help>},
    {VisitWebSiteRect, Spawn<Visit_Web_Site>},
    {Hit(460, 630, 533, 571), Spawn<Exit_>},
    {OrchardiaRect, Spawn<Orchardia>},
};

const TClickTarget MenuClick[] = {
    {StartGameRect,
     [](TMainForm& f, TMenuState&) {
       StartGame(f);
       f.PlaySound("button_down");
     }},
    {OptionsRect,
     [](TMainForm& f, TMenuState&) {
       f.SwitchScene(SceneOptions);
       f.PlaySound("button_down");
     }},
    {HighScoreRect,
     [](TMainForm& f, TMenuState&) {
       f.SwitchScene(SceneHighScores);
       f.PlaySound("button_down");
     }},
    {HelpRect,
     [](TMainForm& f, TMenuState&) {
       f.SwitchScene(SceneHelp);
       f.PlaySound("button_down");
     }},
    {VisitWebSiteRect,
     [](TMainForm& f, TMenuState&) {
       f.OpenLinkFile("moregames.url");
       f.PlaySound("button_down");
     }},
    // The click rectangle of Exit is a little wider and shorter than its hover one.
    {Hit(459, 632, 533, 570),
     [](TMainForm& f, TMenuState&) {
       GameMainExitClick(f);
       f.PlaySound("button_down");
     }},
    {OrchardiaRect,
     [](TMainForm& f, TMenuState&) {
       f.OpenLinkFile("website.url");
       f.PlaySound("button_down");
     }},
};

}  // namespace

void StartGame(TMainForm& f) { f.SwitchScene(ScenePond); }

void BackToMainMenu(TMainForm& f) { f.SwitchScene(SceneMainMenu); }

void BuildMainMenu(TMainForm& f, TMenuState& m) {
  f.SetCursor(platform::Cursor::Arrow);
  if (f.MusicRestartPending) f.PlayMusic("1");
  f.MusicRestartPending = false;
  m.HelpPage = 1;
  AddPicture(f, "Start Game_n", 355, 161, 0);
  AddPicture(f, "Options_n", 423, 240, 0);
  AddPicture(f, "High Score_n", 374, 312, 0);
  AddPicture(f, "Help_n", 434, 386, 0);
  AddPicture(f, "Visit Web Site_n", 326, 455, 0);
  AddPicture(f, "Exit_n", 451, 525, 0);
  AddPicture(f, "Orchardia_Word", 5, 527, 0);
  AddPicture(f, "Pondlark_Word", 0, 0, 0);
  AddMenuBackground(f);
}

void MainMenuTick(TMainForm& f) {
  // No fill: the tiled background covers the whole surface.
  f.SpriteEngine.Move(MoveUnits);
  f.SpriteEngine.FreeDead();
  f.SpriteEngine.Draw();
}

void MainMenuHover(TMainForm& f, TMenuState& m) {
  if (f.GameMainExit)
    ExitPromptHover(f, m);
  else
    HoverTest(f, m, MenuHover);
}

void MainMenuClick(TMainForm& f, TMenuState& m) {
  if (f.GameMainExit)
    ExitPromptClick(f, m);
  else
    ClickTest(f, m, MenuClick);
}

}  // namespace tk::menus
