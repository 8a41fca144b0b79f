#include "media/DXDraw.h"

namespace tk {

TDXDraw::~TDXDraw() {
  if (initialized_) Finalize();
  Notify(TDXDrawNotifyType::Destroying);
}

void TDXDraw::Initialize() {
  if (initialized_) Finalize();
  Notify(TDXDrawNotifyType::Initializing);
  if (!display_.Initialize(FullScreen)) return;
  surface_ = TSurface(SurfaceWidth, SurfaceHeight, 0);
  initialized_ = true;
  Notify(TDXDrawNotifyType::Initialize);
  // Every initialisation recreates the surfaces, so the pictures are uploaded again.
  Notify(TDXDrawNotifyType::Restore);
}

void TDXDraw::Finalize() {
  if (!initialized_) return;
  Notify(TDXDrawNotifyType::Finalize);
  initialized_ = false;
  display_.Finalize();
}

bool TDXDraw::CanDraw() { return initialized_ && display_.CanDraw(); }

void TDXDraw::Flip() {
  if (!initialized_ || !Composing) return;
  display_.Present(surface_.Pixels(), surface_.Width(), surface_.Height());
}

int TDXDraw::RegisterNotifyEvent(Listener l) {
  int id = nextId_++;
  listeners_.push_back({id, std::move(l)});
  return id;
}

void TDXDraw::UnRegisterNotifyEvent(int id) {
  std::erase_if(listeners_, [id](const Entry& e) { return e.Id == id; });
}

void TDXDraw::Notify(TDXDrawNotifyType t) {
  // A listener may unregister itself while being told; walk a copy of the ids.
  std::vector<int> ids;
  for (auto& e : listeners_) ids.push_back(e.Id);
  for (int id : ids) {
    for (auto& e : listeners_) {
      if (e.Id == id) {
        auto fn = e.Fn;
        fn(t);
        break;
      }
    }
  }
}

}  // namespace tk
