// The promotional exit screen (SceneExitScreen): the last page before the window closes,
// described by "wdata\config.ini". A background, picture buttons that open files, and an
// exit button that stays disabled while a countdown runs.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "exitscreen/Description.h"
#include "media/Surface.h"
#include "shell/MainForm.h"

namespace tk::exitscreen {

// One picture button of the page.
struct TButton {
  bool Hovered = false;  // the pointer is inside NormalRect (recomputed every frame)
  bool Enabled = true;   // false at first for the exit button only
  bool Visible = true;
  TExitRect HoverRect;     // only X and Y: where the hover image goes
  TExitRect NormalRect;    // the normal image's position and the clickable area
  TExitRect DisabledRect;  // only X and Y: where the disabled image goes
  std::string Target;      // "exit", or a file to open
  std::string NormalImage, HoverImage, DisabledImage;
  bool IsExit = false;
};

class TShareScreen {
 public:
  explicit TShareScreen(TMainForm& form) : form_(form) {}
  TShareScreen(const TShareScreen&) = delete;
  TShareScreen& operator=(const TShareScreen&) = delete;

  // Start-up: reads the description and loads the background. A missing description or a
  // background that cannot be loaded leaves the page invalid; errors reading an existing
  // description propagate.
  void LoadExitScreen();
  // The builder of SceneExitScreen: starts the countdown, or closes at once without a page.
  void EnterExitScreen();
  void sharetimerTimer();
  void ExitScreenTick();
  // The window's mouse-down while the page is current: every hovered button, in list order.
  void MouseDown(platform::MouseButton b);
  void ActivateButton(const TButton& b);

  bool ScreenValid = false;
  int32_t ButtonCount = 0;
  std::string BackgroundPath;
  TSurface Background;
  std::vector<TButton> Buttons;  // file order
  int32_t CountdownTenths = 0;
  bool FontSizeGiven = false;
  int32_t FontSize = 0;
  int32_t CountdownX = 0, CountdownY = 0;
  uint32_t CountdownColor = 0;  // 0x00BBGGRR

 private:
  void UpdateHover();
  // The picture of a button state, loaded on first use and kept for the rest of the run.
  // A picture that fails to load throws its error once; later frames leave it out.
  const TSurface* ButtonPicture(const std::string& path);

  TMainForm& form_;
  std::map<std::string, std::unique_ptr<TSurface>> pictures_;
  bool backgroundLoaded_ = false;  // only checked while the window draws nothing
};

// Plugs the page into the window: the module object, the LoadExitScreen and
// ExitCountdownTenths hooks, sharetimer's handler and the scene's Build, Tick, MouseDown and
// CloseRequest.
void Register(TMainForm& form);

// The page registered on this window, or null.
TShareScreen* Find(TMainForm& form);

}  // namespace tk::exitscreen
