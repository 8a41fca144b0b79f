// The replay viewer's window: each finished frame of the game on its way to the real
// display, with the viewer's marks drawn over a copy of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Platform.h"
#include "platform/Text.h"

namespace tk {

// What the viewer marks over the picture besides "Повтор".
enum class ViewerMark { Playing, Paused, Ended };

// Where the pause sign goes on a w x h picture (left, top, right, bottom; right and bottom
// exclusive): the top left, right of the stork's leg and left of the score panels, which
// on every screen of the game covers nothing the player needs.
struct TMarkRect {
  int X0, Y0, X1, Y1;
};
TMarkRect PauseSignRect(int w, int h);

// The real window, with a caption that says what is shown. The viewer's marks are drawn on
// a copy of each finished frame on its way to the window, so the game never sees them.
class ReplayDisplay : public platform::IDisplay {
 public:
  explicit ReplayDisplay(platform::IDisplay& d) : d_(d) {}
  void SetText(platform::ITextRenderer* text) { text_ = text; }
  // Shows the last frame again when the mark changes (a paused or ended replay draws no
  // frames of its own).
  void SetMark(ViewerMark m);
  bool Initialize(bool fullScreen) override { return d_.Initialize(fullScreen); }
  void Finalize() override { d_.Finalize(); }
  // Every tick in the journal ran with a window it could draw on; the viewer's own window
  // (still being mapped, or minimised) must not drop or freeze any of them.
  bool CanDraw() override { return true; }
  void Present(const uint32_t* p, int w, int h) override;
  void Show() override { d_.Show(); }
  void SetCaption(const std::string& c) override;
  void SetCursor(platform::Cursor) override {}  // the viewer's pointer stays as it is
  platform::WindowPlacement GetPlacement() override { return d_.GetPlacement(); }
  void SetPlacement(const platform::WindowPlacement& p) override { d_.SetPlacement(p); }
  bool IsMaximized() override { return d_.IsMaximized(); }
  void SetNormalState() override { d_.SetNormalState(); }
  void Destroy() override { d_.Destroy(); }

 private:
  void PresentMarked();
  void Label(uint32_t* px, int w, int h, int x, int y, const std::string& text1251,
             const platform::TextStyle& style);
  void DrawMarks(uint32_t* px, int w, int h);

  platform::IDisplay& d_;
  platform::ITextRenderer* text_ = nullptr;
  ViewerMark mark_ = ViewerMark::Playing;
  std::vector<uint32_t> frame_, shown_;
  int w_ = 0, h_ = 0;
};

}  // namespace tk
