// The sprites of the menu screens. Two families exist so a whole group can be removed by
// class: TMenuGame holds the highlights a pointer move throws away, TMenu the overlays a
// screen removes when it redraws or closes them (option marks, dialog panels, name entry).
#pragma once

#include <string_view>

#include "menus/Typing.h"
#include "shell/MainForm.h"
#include "sprites/Sprites.h"

namespace tk::menus {

// Shows the first pattern of the named image with its top-left corner at (x, y).
void PlaceImage(TImageSprite& s, std::string_view image, double x, double y, int32_t z);
// The same, centred on the 800 x 600 surface and raised by `lift` pixels.
void CentreImage(TImageSprite& s, std::string_view image, double lift, int32_t z);

// Plain pictures the screens build once.
TImageSprite& AddPicture(TMainForm& f, std::string_view image, double x, double y, int32_t z);
// The tiled "menu" background beneath everything of Z 0 (it is created last).
void AddMenuBackground(TMainForm& f);

class TMenuGame : public TImageSprite {
 public:
  using TImageSprite::TImageSprite;
  const char* ClassName() const override { return "TMenuGame"; }
};

class TMenu : public TImageSprite {
 public:
  using TImageSprite::TImageSprite;
  const char* ClassName() const override { return "TMenu"; }
};

#define TK_MENU_SPRITE(Name, Base, Image, X, Y, Z)           \
  class Name : public Base {                                 \
   public:                                                   \
    explicit Name(TSprite* parent) : Base(parent) {          \
      PlaceImage(*this, Image, X, Y, Z);                     \
    }                                                        \
    const char* ClassName() const override { return #Name; } \
  }

// Highlights.
TK_MENU_SPRITE(Start_Game, TMenuGame, "Start Game_d", 328, 136, 1);
TK_MENU_SPRITE(Options, TMenuGame, "Options_d", 413, 213, 1);
TK_MENU_SPRITE(High_Score, TMenuGame, "High Score_d", 354, 288, 1);
TK_MENU_SPRITE(Help, TMenuGame, "Help_d", 434, 386, 1);
TK_MENU_SPRITE(Visit_Web_Site, TMenuGame, "Visit Web Site_d", 307, 435, 1);
TK_MENU_SPRITE(Exit_, TMenuGame, "Exit_d", 451, 525, 1);
TK_MENU_SPRITE(Orchardia, TMenuGame, "Orchardia_Word_d", 5, 527, 1);
TK_MENU_SPRITE(HelpGame_Down, TMenuGame, "Help_Down", 567, 505, 2);
TK_MENU_SPRITE(HelpGame_Up, TMenuGame, "Help_Up", 561, 545, 2);
TK_MENU_SPRITE(HighScore_Clear, TMenuGame, "HighScore_Clear_d", 0, 190, 3);
TK_MENU_SPRITE(HighScore_View, TMenuGame, "HighScore_View_d", 0, 283, 3);
TK_MENU_SPRITE(HighScore_Back, TMenuGame, "HighScore_Back_d", 0, 411, 3);
TK_MENU_SPRITE(TMainExit_Yes, TMenuGame, "Exit_Main_Yes_d", 287, 297, 802);
TK_MENU_SPRITE(TMainExit_No, TMenuGame, "Exit_Main_No_d", 427, 296, 802);

// Dialog questions, option marks and the name entry's tick.
TK_MENU_SPRITE(TMainExit_Word, TMenu, "Exit_Main_Word", 288, 248, 802);
TK_MENU_SPRITE(TClearHighScore_Word, TMenu, "HighScore_Clear_Word", 260, 241, 802);
TK_MENU_SPRITE(Options_window_mode, TMenu, "Options_window_mode", 253, 207, 900);
TK_MENU_SPRITE(Options_full_screen, TMenu, "Options_full_screen", 458, 207, 900);
TK_MENU_SPRITE(Options_music_on, TMenu, "Options_Music_On", 255, 270, 2900);
TK_MENU_SPRITE(Options_music_off, TMenu, "Options_Music_Of", 339, 269, 2900);
TK_MENU_SPRITE(Options_sound_on, TMenu, "Options_sound_on", 254, 327, 900);
TK_MENU_SPRITE(Options_sound_off, TMenu, "Options_sound_off", 341, 327, 900);
TK_MENU_SPRITE(TEnter_Name_Send, TMenu, "Enter_Name_Send", 243, 362, 1);

#undef TK_MENU_SPRITE

// The lit Back button of the help and options screens stands on the bottom edge.
class HelpGame_Back : public TMenuGame {
 public:
  explicit HelpGame_Back(TSprite* parent);
  const char* ClassName() const override { return "HelpGame_Back"; }
};

// The dialog panel, centred 5 pixels above the middle.
class TMainExit : public TMenu {
 public:
  explicit TMainExit(TSprite* parent) : TMenu(parent) { CentreImage(*this, "Exit_Main", 5, 801); }
  const char* ClassName() const override { return "TMainExit"; }
};

class TClearHighScore : public TMenu {
 public:
  explicit TClearHighScore(TSprite* parent) : TMenu(parent) {
    CentreImage(*this, "Exit_Main", 5, 801);
  }
  const char* ClassName() const override { return "TClearHighScore"; }
};

class TEnter_Name : public TMenu {
 public:
  explicit TEnter_Name(TSprite* parent) : TMenu(parent) { CentreImage(*this, "Enter_Name", 0, 0); }
  const char* ClassName() const override { return "TEnter_Name"; }
};

// The text caret; the caret's blink adds one per tick while it shows. It places itself just
// right of the country text on the options screen and under the centred name at game over.
class Palka : public TImageSprite {
 public:
  Palka(TSprite* parent, const TTyping& typing);
  const char* ClassName() const override { return "Palka"; }
  void Advance(int32_t moveCount) override;

 private:
  void Follow();
  const TTyping& typing_;
};

// Every frame tick, whatever the scene: the caret's blink counts down, 14 ticks shown and 16
// hidden, and the current scene's Caret entry hears each tick's phase.
void CaretStep(TMainForm& f, TTyping& typing);
// One step of the caret's blink for a scene with a text field: while shown, one more caret
// each tick the field takes typing (GamegoEdit); while hidden, none.
void BlinkCaret(TMainForm& f, const TTyping& typing, bool shown);

}  // namespace tk::menus
