// The drawing-surface component: the 800 x 600 back surface, its life cycle on the
// platform display, and the notifications the image library and sprite engine follow.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "media/Surface.h"
#include "platform/Platform.h"

namespace tk {

enum class TDXDrawNotifyType { Initializing, Initialize, Finalize, Restore, Destroying };

class TDXDraw {
 public:
  using Listener = std::function<void(TDXDrawNotifyType)>;
  static constexpr int SurfaceWidth = 800, SurfaceHeight = 600;

  explicit TDXDraw(platform::IDisplay& display) : display_(display) {}
  ~TDXDraw();
  TDXDraw(const TDXDraw&) = delete;
  TDXDraw& operator=(const TDXDraw&) = delete;

  // Brings the display up (in full screen when FullScreen is set) and notifies, in this
  // order: Initializing, Initialize, Restore. Finalizes first when already up.
  void Initialize();
  void Finalize();  // notifies Finalize, then takes the display down
  bool Initialized() const { return initialized_; }
  bool CanDraw();
  // Presents the back surface; skipped when it is byte for byte the frame the window
  // still shows (nothing moved), which leaves an idle screen nearly free.
  void Flip();
  uint64_t SkippedFlips() const { return skipped_; }

  TSurface& Surface() { return surface_; }
  platform::IDisplay& Display() { return display_; }

  bool FullScreen = false;  // the mode the next Initialize uses
  // Off for runs that only check a game's outcome: nothing is drawn or presented.
  bool Composing = true;

  int RegisterNotifyEvent(Listener l);
  void UnRegisterNotifyEvent(int id);

 private:
  void Notify(TDXDrawNotifyType t);
  platform::IDisplay& display_;
  TSurface surface_;
  bool initialized_ = false;
  std::vector<uint32_t> shown_;  // the last frame presented, while the display keeps it
  uint64_t skipped_ = 0;
  struct Entry {
    int Id;
    Listener Fn;
  };
  std::vector<Entry> listeners_;
  int nextId_ = 1;
};

}  // namespace tk
