#include "media/DXDraw.h"

#include <cstring>

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
  shown_.clear();
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
  const size_t n = static_cast<size_t>(surface_.Width()) * surface_.Height();
  // A plain compare stops at the first difference; an unchanged frame costs one read of it.
  if (shown_.size() == n && display_.ShowsLastFrame() &&
      std::memcmp(shown_.data(), surface_.Pixels(), n * sizeof(uint32_t)) == 0) {
    ++skipped_;
    return;
  }
  display_.Present(surface_.Pixels(), surface_.Width(), surface_.Height());
  // Kept only for a display that keeps its picture; others are presented every frame.
  if (display_.ShowsLastFrame())
    shown_.assign(surface_.Pixels(), surface_.Pixels() + n);
  else
    shown_.clear();
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
