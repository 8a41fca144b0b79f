// The five help pages: sample pictures built once, lines of text drawn every frame.
#include <span>
#include <string>

#include "menus/HitTest.h"
#include "menus/MenuSprites.h"
#include "menus/Screens.h"
#include "platform/Cp1251.h"

namespace tk::menus {

namespace {

constexpr uint32_t Yellow = 0xFFFF00;
constexpr uint8_t LastHelpPage = 5;

struct TSample {
  const char* Image;
  int X, Y, Z;
};

struct TLine {
  int X, Y, Size;
  const char* Text;  // UTF-8 here, drawn in the game's code page
};

// The enemies page shows small pictures of its own (the "1" ones), drawn to sit beside
// their captions: the pond's lilies, 130 pixels wide, would run into the texts and into
// one another at these places.
constexpr TSample EnemySamples[] = {
    {"1kuvshinka_simple_1", 300, 250, 1}, {"1kuvshinka_hunter", 300, 340, 1},
    {"1kuvshinka_pruginka", 300, 380, 1}, {"1kuvshinka_liapuchka", 550, 260, 1},
    {"1kroko", 540, 355, 1},              {"1aist", 560, 410, 1},
};
constexpr TSample FoodSamples[] = {
    {"mushka", 320, 285, 1}, {"muha", 308, 350, 1},     {"komar", 290, 430, 1},
    {"vodomerka", 535, 270, 1}, {"pchel", 560, 345, 1},
};
constexpr TSample AboutSamples[] = {{"logo", 280, 270, 0}};

// The texts keep the game's own wording, slips included.
constexpr TLine Page1[] = {
    {260, 180, 14, "ОПИСАНИЕ ИГРЫ"},
    {260, 240, 7, "Сделай первые шаги в мир опасности и приключений"},
    {260, 260, 7, "вместе с маленькой симпатичной лягушкой."},
    {260, 290, 7, "Перепрыгивай с одной водяной лилии на другую, чтобы"},
    {260, 310, 7, "добраться до еды."},
    {260, 340, 7, "Уровень энергии пополняется в зависимости от того,"},
    {260, 360, 7, "на сколько питательна еда. Будь осторожен в болоте"},
    {260, 380, 7, "водятся опасные существа, которые могут тебя съесть!"},
    {260, 410, 7, "Никто не останется равнодушным к этой веселой и"},
    {260, 430, 7, "захватывающей игреб которая подарит вам много"},
    {260, 450, 7, "удовольствия и веселья!"},
};

constexpr TLine Page2[] = {
    {260, 180, 14, "УПРАВЛЕНИЕ"},
    {260, 220, 10, "В МЕНЮ"},
    {260, 250, 7, "Используй стрелки или мышь, что перемещать курсор вверх"},
    {260, 270, 7, "и вниз. Нажми \"Enter\" или любую клавишу мыши, чтобы"},
    {260, 290, 7, "войти в подменю."},
    {260, 310, 7, "Используй \"Влево\", \"Вправо\" или любую клавишу"},
    {260, 330, 7, "мыши, чтобы переключать страницы подменю."},
    {260, 350, 7, "Используй \"Esc\", чтобы вернуться в основное меню."},
    {260, 370, 10, "В ИГРЕ"},
    {260, 400, 7, "Используй \"Up Arrow\", \"Left Arrow\" and \"Right Arrow\","},
    {260, 420, 7, "чтобы перемещать лягушку. Используй мышь, чтобы"},
    {260, 440, 7, "поймать еду. Используй \"P\" для паузы и продолжения"},
    {260, 460, 7, "игры. Используй \"Esc\", чтобы выйти из игры."},
    {260, 480, 7, "Используй \"Alt\"+\"Enter\", чтобы сменить режим экрана."},
};

constexpr TLine Page3[] = {
    {260, 180, 14, "ПРОТИВНИКИ"},
    {380, 280, 7, "Водяная лилия"},
    {380, 355, 7, "Водяная лиля,"},
    {380, 375, 7, "которая ест лягушек"},
    {380, 440, 7, "Водяная лилия"},
    {380, 460, 7, "с пружиной"},
    {650, 280, 7, "Липкая"},
    {650, 300, 7, "водяная лилия"},
    {650, 355, 7, "Водяная лилия"},
    {650, 375, 7, "с крокодилом"},
    {650, 440, 7, "Цапля"},
};

constexpr TLine Page4[] = {
    {260, 180, 14, "ЕДА"},
    {400, 280, 7, "Мошка"},
    {400, 300, 7, "+5 очков"},
    {400, 365, 7, "Муха"},
    {400, 385, 7, "+10 очков"},
    {400, 450, 7, "Москит"},
    {400, 470, 7, "+15 очков"},
    {680, 280, 7, "Водомерка"},
    {680, 300, 7, "+20 очков"},
    {680, 365, 7, "Пчела"},
    {680, 385, 7, "+25 очков"},
};

constexpr THitRect BackRect = Hit(375, 513, 525, 562);

constexpr THoverTarget BackHover[] = {{BackRect, Spawn<HelpGame_Back>}};
constexpr THoverTarget ArrowHover[] = {
    {Hit(581, 747, 513, 531), Spawn<HelpGame_Down>},
    {Hit(572, 754, 554, 573), Spawn<HelpGame_Up>},
};

// The arrows' click rectangles are smaller than, or shifted from, their lit ones.
const TClickTarget HelpClicks[] = {
    {BackRect,
     [](TMainForm& f, TMenuState&) {
       BackToMainMenu(f);
       f.PlaySound("button_down");
     }},
    {Hit(613, 709, 509, 535),
     [](TMainForm& f, TMenuState& m) {
       if (m.HelpPage >= LastHelpPage) return;
       ++m.HelpPage;
       f.SwitchScene(SceneHelp);
       f.PlaySound("button_down");
     }},
    {Hit(578, 749, 552, 577),
     [](TMainForm& f, TMenuState& m) {
       if (m.HelpPage <= 1) return;
       --m.HelpPage;
       f.SwitchScene(SceneHelp);
       f.PlaySound("button_down");
     }},
};

std::span<const TSample> SamplesOf(uint8_t page) {
  switch (page) {
    case 3: return EnemySamples;
    case 4: return FoodSamples;
    case 5: return AboutSamples;
    default: return {};
  }
}

void DrawLines(TMainForm& f, std::span<const TLine> lines) {
  for (const TLine& l : lines) f.TextOut(l.X, l.Y, Cp(l.Text), l.Size, Yellow);
}

}  // namespace

void BuildHelpScreen(TMainForm& f, TMenuState& m) {
  for (const TSample& s : SamplesOf(m.HelpPage)) AddPicture(f, s.Image, s.X, s.Y, s.Z);
  AddPicture(f, "Help_word", 371, 0, 1);
  AddPicture(f, "Help_arrows", 554, TDXDraw::SurfaceHeight - f.FindImage("Help_arrows").CellHeight(),
             1);
  AddPicture(f, "Help_back_n", 347, 521, 1);
  AddPicture(f, "Orchardia_Word", 5, 527, 0);
  AddPicture(f, "Pondlark_Word", 0, 0, 0);
  AddMenuBackground(f);
}

void HelpScreenTick(TMainForm& f, TMenuState& m) {
  f.SpriteEngine.Move(MoveUnits);
  f.SpriteEngine.FreeDead();
  f.FillSurface(0);
  f.SpriteEngine.Draw();
  DrawHelpPage(f, m);
}

void DrawHelpPage(TMainForm& f, TMenuState& m) {
  switch (m.HelpPage) {
    case 1: DrawLines(f, Page1); break;
    case 2: DrawLines(f, Page2); break;
    case 3: DrawLines(f, Page3); break;
    case 4: DrawLines(f, Page4); break;
    case 5:
      f.TextOut(260, 180, Cp("ОБ ИГРЕ"), 14, Yellow);
      f.TextOut(375, 260, Cp("Тиноквак"), 12, Yellow);
      f.TextOut(375, 290, Cp("© 2026 Квакша"), 10, Yellow);
      f.TextOut(375, 310, f.Options.ScoreServer, 10, Yellow);
      break;
    default:
      break;
  }
}

void HelpHover(TMainForm& f, TMenuState& m) {
  f.SetCursor(platform::Cursor::Arrow);
  // Back keeps a latch of its own, so moving between Back and an arrow sounds each time.
  HoverGroup(f, BackHover, m.HelpBackHoverArmed);
  HoverGroup(f, ArrowHover, m.HoverSoundArmed);
}

void HelpClick(TMainForm& f, TMenuState& m) { ClickTest(f, m, HelpClicks); }

}  // namespace tk::menus
