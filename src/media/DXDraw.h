// The drawing-surface component: the 800 x 600 back surface, its life cycle on the
// platform display, and the notifications the image library and sprite engine follow.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
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
  //
  // Drawing that can be told by its inputs (a picture's pattern at a place, a text, a
  // fill) is queued with Queue and carried out at the latest here. When a tick queues
  // exactly what the tick before did, every drawing of the frame was queued, nothing
  // touched the surface since, and composing those same steps over the surface last time
  // left it unchanged, the frame is neither composed nor compared: the surface already
  // holds it and the window shows it.
  void Flip();
  uint64_t SkippedFlips() const { return skipped_; }
  // Of those, the frames that were not even composed.
  uint64_t UncomposedFrames() const { return uncomposed_; }

  // One step of the frame, with a key that says everything the step's pixels depend on.
  void Queue(std::string_view key, std::function<void(TSurface&)> step);
  // Drawing that no key describes follows: the queued steps are carried out first and
  // this frame is composed whatever the keys say.
  void Untracked();
  // Compose every frame (the keys are still gathered): for checking the shortcut.
  bool AlwaysCompose = false;

  // Anyone who takes the surface may draw on it: the queue is carried out first and the
  // frame counts as untracked.
  TSurface& Surface() {
    Untracked();
    return surface_;
  }
  // The back surface to read: the queued steps are carried out first (doing them early
  // changes nothing), and the frame stays tracked.
  const TSurface& Picture() {
    RunQueued();
    return surface_;
  }
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
  uint64_t skipped_ = 0, uncomposed_ = 0;
  void RunQueued();
  void ForgetFrames();
  std::vector<std::function<void(TSurface&)>> queued_;
  std::string key_, lastKey_;  // this frame's keys so far, and the last flipped frame's
  bool untracked_ = false;     // something drew or took the surface outside the queue
  bool settled_ = false;       // lastKey_'s steps, composed over the surface, changed nothing
  struct Entry {
    int Id;
    Listener Fn;
  };
  std::vector<Entry> listeners_;
  int nextId_ = 1;
};

}  // namespace tk
