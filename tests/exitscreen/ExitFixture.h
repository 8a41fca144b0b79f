// The whole game on the headless platform in a temporary folder: the small menu archives,
// and an exit screen page written on the spot from a TPage. Every picture is a flat colour
// of its own, so a frame shows which state of which button was drawn where.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "assembly/Assembly.h"
#include "exitscreen/ExitScreen.h"
#include "media/Picture.h"
#include "menus/MenuFixture.h"
#include "platform/headless/Headless.h"
#include "shell/MainForm.h"

namespace tk::testing {

struct TPageButton {
  TExitRect Hover, Normal, Disabled;  // Disabled is written for the exit button only
  std::string NormalImage, HoverImage, DisabledImage, Target;
};

struct TPage {
  std::string Background = "wdata\\back.bmp";
  std::vector<TPageButton> Buttons;  // the last is the exit button
  int CentreX = 690, CentreY = 485;
  int Seconds = 5;
  int Red = 255, Green = 210, Blue = 63;
  std::string FontFlag = "TRUE";
  int FontSize = 18;

  std::string Text() const {
    auto rect = [](const TExitRect& r) {
      return std::to_string(r.X) + " " + std::to_string(r.Y) + " " + std::to_string(r.Width) +
             " " + std::to_string(r.Height) + "\r\n";
    };
    std::string t = std::to_string(Buttons.size()) + "\r\n" + Background + "\r\n";
    for (size_t i = 0; i < Buttons.size(); ++i) {
      const TPageButton& b = Buttons[i];
      t += rect(b.Hover) + rect(b.Normal);
      if (i + 1 == Buttons.size())
        t += rect(b.Disabled) + b.NormalImage + "\r\n" + b.HoverImage + "\r\n" +
             b.DisabledImage + "\r\n";
      else
        t += b.NormalImage + "\r\n" + b.HoverImage + "\r\n" + b.Target + "\r\n";
    }
    t += std::to_string(CentreX) + " " + std::to_string(CentreY) + "\r\n";
    t += std::to_string(Seconds) + "\r\n";
    t += std::to_string(Red) + " " + std::to_string(Green) + " " + std::to_string(Blue) + "\r\n";
    t += FontFlag + "\r\n";
    if (FontFlag == "TRUE") t += std::to_string(FontSize) + "\r\n";
    return t;
  }
};

// Two buttons that overlap in (150..300, 120..150), then the exit button. Hover pictures sit
// 5 pixels left of and above the normal ones, disabled ones 5 pixels right and below.
inline TPage SamplePage() {
  TPage p;
  p.Buttons = {
      {{95, 95, 200, 50}, {100, 100, 200, 50}, {}, "wdata\\a_n.dib", "wdata\\a_h.dib", "",
       "wdata\\a.url"},
      {{145, 115, 200, 50}, {150, 120, 200, 50}, {}, "wdata\\b_n.dib", "wdata\\b_h.dib", "",
       "wdata\\b.url"},
      {{495, 445, 230, 70}, {500, 450, 230, 70}, {505, 455, 230, 70}, "wdata\\exit_n.dib",
       "wdata\\exit_h.dib", "wdata\\exit_d.dib", ""},
  };
  return p;
}

// Colours of the pictures; the background's is 0x203040.
inline const std::map<std::string, uint32_t>& PageColours() {
  static const std::map<std::string, uint32_t> c = {
      {"wdata\\back.bmp", 0x203040}, {"wdata\\a_n.dib", 0x800000},
      {"wdata\\a_h.dib", 0xFF0000},  {"wdata\\b_n.dib", 0x008000},
      {"wdata\\b_h.dib", 0x00FF00},  {"wdata\\exit_n.dib", 0x000080},
      {"wdata\\exit_h.dib", 0x0000FF}, {"wdata\\exit_d.dib", 0x808080}};
  return c;
}

inline std::string FlatDib(int w, int h, uint32_t rgb) {
  TPicture p;
  p.Width = w;
  p.Height = h;
  p.Pixels.assign(static_cast<size_t>(w) * h, rgb);
  return EncodeDib24(p);
}

// A Windows bitmap file: the 14-byte file header in front of the bitmap.
inline std::string FlatBmp(int w, int h, uint32_t rgb) {
  const std::string dib = FlatDib(w, h, rgb);
  auto u32 = [](uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8),
                       static_cast<char>(v >> 16), static_cast<char>(v >> 24)};
  };
  return "BM" + u32(static_cast<uint32_t>(14 + dib.size())) + u32(0) + u32(54) + dib;
}

inline std::string Slashed(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

// Text of a fixed size: every character is CharWidth wide, every line LineHeight high.
class FixedText : public platform::ITextRenderer {
 public:
  explicit FixedText(std::vector<TextCall>& log) : log_(log) {}
  void Draw(uint32_t*, int, int, int, int x, int y, const std::string& text,
            const platform::TextStyle& style) override {
    log_.push_back({x, y, text, style.PointSize, style.Color});
    fonts.push_back(style.FontName);
  }
  int Width(const std::string& text, const platform::TextStyle&) override {
    return static_cast<int>(text.size()) * CharWidth;
  }
  int Height(const std::string&, const platform::TextStyle&) override { return LineHeight; }
  int CharWidth = 10, LineHeight = 20;
  std::vector<std::string> fonts;

 private:
  std::vector<TextCall>& log_;
};

class ExitGame : public HeadlessGame {
 public:
  // Writes the page (unless null), its pictures and its targets; Start starts the game.
  explicit ExitGame(const TPage* page = nullptr) {
    WriteMenuArchives(dir);
    dir.Write("play.url", "[InternetShortcut]\r\nURL=http://127.0.0.1/\r\n");
    if (page) {
      dir.Write("wdata/config.ini", page->Text());
      dir.Write("wdata/back.bmp", FlatBmp(800, 600, 0x203040));
      for (const auto& [name, colour] : PageColours())
        if (name != "wdata\\back.bmp") dir.Write(Slashed(name), FlatDib(40, 20, colour));
      for (const TPageButton& b : page->Buttons)
        if (!b.Target.empty()) dir.Write(Slashed(b.Target), "[InternetShortcut]\r\n");
    }
    auto fixed = std::make_unique<FixedText>(texts);
    text = fixed.get();
    plat.Get().Text = std::move(fixed);
  }

  // Without composing, the window draws nothing from its start, as in the replay check.
  void Start(bool composing = true) {
    TMainFormOptions o;
    o.Seed = 7;
    form = CreateGame(plat.Get(), o);
    form->SetComposing(composing);
    form->FormCreate();
    form->Show();
  }
  exitscreen::TShareScreen& Screen() { return *exitscreen::Find(*form); }

  void Enter() { form->SwitchScene(SceneExitScreen); }
  std::vector<std::string>& Opened() { return plat.Record().Opened; }

  FixedText* text = nullptr;
};

}  // namespace tk::testing
