// The options screen: display, music and sound pairs, each marked by an indicator that is
// re-created from the flags every frame, and the country field.
#include "menus/HitTest.h"
#include "menus/MenuSprites.h"
#include "menus/Screens.h"

namespace tk::menus {

using platform::Cursor;

namespace {

constexpr uint32_t Yellow = 0xFFFF00;
constexpr THitRect BackRect = Hit(375, 513, 525, 562);

// The choice rows and the text field only change the pointer.
struct TPointerTarget {
  THitRect Rect;
  Cursor Pointer;
};
constexpr TPointerTarget OptionRows[] = {
    {Hit(274, 421, 218, 248), Cursor::Hand},  {Hit(466, 782, 218, 248), Cursor::Hand},
    {Hit(257, 334, 278, 310), Cursor::Hand},  {Hit(349, 455, 278, 310), Cursor::Hand},
    {Hit(256, 332, 339, 370), Cursor::Hand},  {Hit(348, 456, 339, 370), Cursor::Hand},
    {Hit(400, 775, 400, 445), Cursor::IBeam},
};
constexpr THoverTarget BackHover[] = {{BackRect, Spawn<HelpGame_Back>}};

// A click on the half that is already chosen does nothing, without sound.
const TClickTarget OptionClicks[] = {
    {Hit(274, 421, 218, 248),
     [](TMainForm& f, TMenuState&) {
       if (!f.GameFullScreen) return;
       f.GameFullScreenClick();
       f.PlaySound("button_down");
     }},
    {Hit(466, 782, 218, 248),
     [](TMainForm& f, TMenuState&) {
       if (f.GameFullScreen) return;
       f.GameFullScreenClick();
       f.PlaySound("button_down");
     }},
    {Hit(257, 334, 280, 310),
     [](TMainForm& f, TMenuState&) {
       if (f.GameMusic) return;
       f.GameMusicClick();
       f.PlaySound("button_down");
       f.PlayMusic("1");
     }},
    {Hit(349, 455, 280, 310),
     [](TMainForm& f, TMenuState&) {
       if (!f.GameMusic) return;
       f.GameMusicClick();
       f.PlaySound("button_down");
       f.StopMusic();
     }},
    {Hit(256, 332, 338, 370),
     [](TMainForm& f, TMenuState&) {
       if (f.GameSound) return;
       f.GameSoundClick();
       f.PlaySound("button_down");
     }},
    {Hit(348, 456, 338, 370),
     [](TMainForm& f, TMenuState&) {
       if (!f.GameSound) return;
       f.GameSoundClick();
       f.PlaySound("button_down");  // silent: sound is off by now
     }},
    {Hit(400, 775, 400, 445),
     [](TMainForm& f, TMenuState&) {
       f.GamegoEdit = true;
       f.PlaySound("button_down");
     }},
    {BackRect,
     [](TMainForm& f, TMenuState&) {
       BackToMainMenu(f);
       f.PlaySound("button_down");
     }},
};

}  // namespace

void BuildOptionsScreen(TMainForm& f, TTyping& t) {
  AddPicture(f, "Orchardia_Word", 5, 527, 0);
  AddPicture(f, "Pondlark_Word", 0, 0, 0);
  AddMenuBackground(f);
  AddPicture(f, "Options_Word", 355, 0, 1);
  AddPicture(f, "Options_Display", 0, 215, 1);
  AddPicture(f, "Options_Music", 0, 276, 1);
  AddPicture(f, "Options_Sound", 0, 333, 1);
  AddPicture(f, "Options_Country", 0, 386, 1);
  AddPicture(f, "Options_Back_n", 347, 521, 1);
  // The caret shows at once; an empty field takes the typing straight away.
  t.CaretBlink = 30;
  f.GamegoEdit = t.Edit1.empty();
}

void OptionsScreenTick(TMainForm& f, TTyping& t) {
  f.SpriteEngine.Move(MoveUnits);
  f.SpriteEngine.FreeDead();
  f.FillSurface(0);
  f.SpriteEngine.Draw();
  t.PlayerCountry = t.Edit1;
  t.NameTextWidth = f.TextWidth(t.PlayerCountry, 20);
  f.TextOut(400, 403, t.PlayerCountry, 20, Yellow);
  // Marks made now are drawn next frame, after this set has been freed.
  f.KillAll<TMenu>();
  if (f.GameFullScreen)
    f.Engine().Add<Options_full_screen>();
  else
    f.Engine().Add<Options_window_mode>();
  if (f.GameSound)
    f.Engine().Add<Options_sound_on>();
  else
    f.Engine().Add<Options_sound_off>();
  if (f.GameMusic)
    f.Engine().Add<Options_music_on>();
  else
    f.Engine().Add<Options_music_off>();
}

void OptionsHover(TMainForm& f, TMenuState& m) {
  f.SetCursor(Cursor::Arrow);
  bool inRow = false;
  for (const TPointerTarget& t : OptionRows) {
    if (!t.Rect.ContainsY(f.MouseY)) continue;
    inRow = true;
    if (t.Rect.Contains(f.MouseX, f.MouseY)) f.SetCursor(t.Pointer);
  }
  // The choice rows leave the hover latch as it is; everywhere else Back's rule applies.
  if (!inRow) HoverGroup(f, BackHover, m.HoverSoundArmed);
}

void OptionsClick(TMainForm& f, TMenuState& m) {
  // A click anywhere ends typing into a field that holds something.
  if (!f.Module<TTyping>().Edit1.empty()) f.GamegoEdit = false;
  ClickTest(f, m, OptionClicks);
}

}  // namespace tk::menus
