#include "exitscreen/ExitScreen.h"

#include <cmath>
#include <cstdio>
#include <exception>
#include <string>

#include "media/Draw.h"
#include "media/Picture.h"
#include "platform/Errors.h"

namespace tk::exitscreen {

namespace {

const char* const CountdownFont = "Verdana";

// The decoded pixels become the surface's: no zero-filled surface copied over.
TSurface ToSurface(TPicture&& p) { return TSurface(p.Width, p.Height, std::move(p.Pixels)); }

// Unscaled and opaque, as the page's pictures are drawn.
void DrawPicture(TSurface& dest, int x, int y, const TSurface& picture) {
  if (picture.Empty()) return;
  BlitPattern(dest, x, y, TPatternRef{&picture, picture.ClientRect()});
}

// Round half to even, as the countdown is centred.
int32_t RoundEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

// The ExitCountdownTenths hook; a named type so that Find can recover the page from it.
struct TCountdownHook {
  TShareScreen* Screen;
  int32_t operator()() const { return Screen->CountdownTenths; }
};

}  // namespace

void TShareScreen::LoadExitScreen() {
  const TExitScreenDescription d = LoadExitScreenDescription("wdata\\config.ini");
  ScreenValid = d.ScreenValid;
  ButtonCount = d.ButtonCount;
  BackgroundPath = d.Background;
  Buttons.clear();
  for (const TExitButtonDescription& b : d.Buttons) {
    TButton& t = Buttons.emplace_back();
    t.Enabled = !b.IsExit;
    t.HoverRect = b.HoverRect;
    t.NormalRect = b.NormalRect;
    t.DisabledRect = b.DisabledRect;
    t.Target = b.Target;
    t.NormalImage = b.NormalImage;
    t.HoverImage = b.HoverImage;
    t.DisabledImage = b.DisabledImage;
    t.IsExit = b.IsExit;
  }
  CountdownTenths = d.CountdownTenths;
  FontSizeGiven = d.FontSizeGiven;
  FontSize = d.FontSize;
  CountdownX = d.CountdownX;
  CountdownY = d.CountdownY;
  CountdownColor = d.CountdownColor;
  pictures_.clear();
  Background = {};
  backgroundLoaded_ = false;
  if (!ScreenValid) return;
  try {
    // Only checked here: the page's first frame decodes it (ExitScreenTick), so start-up
    // does not wait for a picture shown on the way out, and a window that draws nothing
    // (the replay check) never decodes it.
    CheckPictureFile(BackgroundPath);
    backgroundLoaded_ = false;
  } catch (const std::exception& e) {
    // Without its background the page is not shown; the game still starts and, on the
    // way out, closes at once. Said on stderr so whoever made the page can see why.
    ScreenValid = false;
    const auto* located = dynamic_cast<const EError*>(&e);
    std::fprintf(stderr, "exit screen skipped: %s\n",
                 located ? located->FullMessage().c_str() : e.what());
  }
}

void TShareScreen::EnterExitScreen() {
  if (ScreenValid) {
    form_.sharetimer.SetEnabled(true);
    form_.SetCursor(platform::Cursor::Arrow);
  } else {
    CountdownTenths = 0;
    form_.Close();
  }
}

void TShareScreen::sharetimerTimer() {
  if (CountdownTenths > 0) --CountdownTenths;
}

void TShareScreen::UpdateHover() {
  for (TButton& b : Buttons) b.Hovered = b.NormalRect.Contains(form_.MouseX, form_.MouseY);
}

const TSurface* TShareScreen::ButtonPicture(const std::string& path) {
  if (auto it = pictures_.find(path); it != pictures_.end()) return it->second.get();
  // Remembered before loading, so a picture that fails is reported once, not every frame.
  auto& slot = pictures_[path];
  slot = std::make_unique<TSurface>(ToSurface(LoadPictureFile(path)));
  return slot.get();
}

void TShareScreen::ExitScreenTick() {
  if (!ScreenValid || !form_.DXDraw.Initialized()) return;
  if (!backgroundLoaded_ && form_.Composing()) {
    // Checked at start-up, so it loads as it did then (or the file changed since: said
    // once, and the page goes on without it).
    backgroundLoaded_ = true;
    Background = ToSurface(LoadPictureFile(BackgroundPath));
  }
  UpdateHover();
  TSurface& surface = form_.Surface();
  // A background smaller than the window would leave the previous scene showing round it.
  if (Background.Width() < surface.Width() || Background.Height() < surface.Height())
    form_.FillSurface(0);
  DrawPicture(surface, 0, 0, Background);

  // A button picture that cannot be loaded is left out; the rest of the frame still draws
  // and the error is raised once the frame is complete.
  std::exception_ptr failure;
  for (const TButton& b : Buttons) {
    if (!b.Visible) continue;
    const std::string* path;
    const TExitRect* at;
    if (b.Enabled && b.Hovered) {
      path = &b.HoverImage;
      at = &b.HoverRect;
    } else if (b.Enabled || !b.IsExit) {
      path = &b.NormalImage;
      at = &b.NormalRect;
    } else {
      path = &b.DisabledImage;
      at = &b.DisabledRect;
    }
    try {
      if (const TSurface* p = ButtonPicture(*path)) DrawPicture(surface, at->X, at->Y, *p);
    } catch (const std::exception&) {
      if (!failure) failure = std::current_exception();
    }
  }

  if (CountdownTenths == 0) {
    // Drawn enabled from the next frame on.
    if (!Buttons.empty() && Buttons.back().IsExit) Buttons.back().Enabled = true;
  } else if (CountdownTenths > 0) {
    const std::string number = std::to_string(CountdownTenths / 10 + 1);
    const int w = form_.TextWidth(number, FontSize, CountdownFont);
    const int h = form_.TextHeight(number, FontSize, CountdownFont);
    form_.TextOut(RoundEven(CountdownX - w / 2.0), RoundEven(CountdownY - h / 2.0), number,
                  FontSize, ColorToPixel(CountdownColor), CountdownFont);
  }
  if (failure) std::rethrow_exception(failure);
}

void TShareScreen::MouseDown(platform::MouseButton b) {
  if (b != platform::MouseButton::Left || !ScreenValid) return;
  // The pointer may have moved since the last frame: test where it is now, so a click
  // right after a move lands on the button under it.
  UpdateHover();
  for (const TButton& button : Buttons) {
    if (form_.Closed()) break;
    if (button.Hovered) ActivateButton(button);
  }
}

void TShareScreen::ActivateButton(const TButton& b) {
  // A disabled exit button still asks; the window refuses while the countdown runs.
  if (b.Target == "exit")
    form_.Close();
  else
    form_.OpenLinkFile(b.Target);
}

void Register(TMainForm& form) {
  TShareScreen* s = &form.AddModule<TShareScreen>(form);
  form.Hooks.LoadExitScreen = [s] { s->LoadExitScreen(); };
  form.Hooks.ExitCountdownTenths = TCountdownHook{s};
  form.sharetimer.OnTimer = [s] { s->sharetimerTimer(); };
  TSceneHandlers& scene = form.Scenes[SceneExitScreen];
  scene.Build = [s] { s->EnterExitScreen(); };
  scene.Tick = [s] { s->ExitScreenTick(); };
  scene.MouseDown = [s](platform::MouseButton b) { s->MouseDown(b); };
  // The window closes only once the countdown has run out; then the site's link opens.
  scene.CloseRequest = [s, f = &form] {
    if (s->CountdownTenths > 1) return false;
    f->DXTimer.SetEnabled(false);
    f->StopMusic();
    f->OpenLinkFile("play.url");
    return true;
  };
}

TShareScreen* Find(TMainForm& form) {
  const auto* hook = form.Hooks.ExitCountdownTenths.target<TCountdownHook>();
  return hook ? hook->Screen : nullptr;
}

}  // namespace tk::exitscreen
