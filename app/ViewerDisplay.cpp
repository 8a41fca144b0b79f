#include "ViewerDisplay.h"

#include <algorithm>

#include "platform/Cp1251.h"

namespace tk {

using namespace platform;

namespace {

// Darkens a rectangle so the marks read on any part of the pond.
void Shade(uint32_t* px, int w, int h, int x0, int y0, int x1, int y1) {
  for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(w, x1); ++x)
      px[static_cast<size_t>(y) * w + x] = (px[static_cast<size_t>(y) * w + x] >> 1) & 0x7F7F7F;
}

void Fill(uint32_t* px, int w, int h, int x0, int y0, int x1, int y1, uint32_t c) {
  for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
    for (int x = std::max(0, x0); x < std::min(w, x1); ++x) px[static_cast<size_t>(y) * w + x] = c;
}

}  // namespace

// The stork's legs come down the outer 40 pixels of the shore, the first score panel starts
// at x 140 and the bottle fills the top right corner; between the leg and the panel, in the
// top band of the pond where no lily rests, there is room for the sign on every screen.
TMarkRect PauseSignRect(int, int) { return {50, 4, 86, 40}; }

void ReplayDisplay::SetMark(ViewerMark m) {
  if (m == mark_) return;
  mark_ = m;
  if (!frame_.empty()) PresentMarked();
}

void ReplayDisplay::Present(const uint32_t* p, int w, int h) {
  frame_.assign(p, p + static_cast<size_t>(w) * h);
  w_ = w;
  h_ = h;
  PresentMarked();
}

void ReplayDisplay::SetCaption(const std::string& c) { d_.SetCaption(c + Cp(" — повтор")); }

void ReplayDisplay::PresentMarked() {
  if (!d_.CanDraw()) return;
  shown_ = frame_;
  DrawMarks(shown_.data(), w_, h_);
  d_.Present(shown_.data(), w_, h_);
}

void ReplayDisplay::Label(uint32_t* px, int w, int h, int x, int y, const std::string& text1251,
                          const TextStyle& style) {
  TextStyle shadow = style;
  shadow.Color = 0x000000;
  text_->Draw(px, w, h, w, x + 1, y + 1, text1251, shadow);
  text_->Draw(px, w, h, w, x, y, text1251, style);
}

// "Повтор" in the bottom left corner all the time, "Конец повтора — Esc" in its place at the
// end, a little smaller so that it ends before the high-score table the last picture most
// often shows; the pause sign in its own place at the top left.
void ReplayDisplay::DrawMarks(uint32_t* px, int w, int h) {
  if (text_) {
    const bool ended = mark_ == ViewerMark::Ended;
    TextStyle style;
    style.PointSize = ended ? 12 : 14;
    style.Color = 0xFFFFFF;
    const std::string label = Cp(ended ? "Конец повтора — Esc" : "Повтор");
    const int lw = text_->Width(label, style), lh = text_->Height(label, style);
    Shade(px, w, h, 4, h - lh - 10, lw + 12, h - 4);
    Label(px, w, h, 8, h - lh - 7, label, style);
  }
  if (mark_ == ViewerMark::Paused) {  // two upright bars on a shaded square
    const TMarkRect r = PauseSignRect(w, h);
    const int bar = (r.X1 - r.X0) * 2 / 9, gap = (r.X1 - r.X0 - 2 * bar) / 3;
    Shade(px, w, h, r.X0, r.Y0, r.X1, r.Y1);
    Fill(px, w, h, r.X0 + gap, r.Y0 + 6, r.X0 + gap + bar, r.Y1 - 6, 0xFFFFFF);
    Fill(px, w, h, r.X1 - gap - bar, r.Y0 + 6, r.X1 - gap, r.Y1 - 6, 0xFFFFFF);
  }
}

}  // namespace tk
