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
  if (Composing) {
    surface_ = TSurface(SurfaceWidth, SurfaceHeight, 0);
  } else {
    // Nothing is drawn (the replay check): the surface keeps its size, its pixels are never
    // touched, so none is set.
    TPixels unset;
    unset.resize(static_cast<size_t>(SurfaceWidth) * SurfaceHeight);
    surface_ = TSurface(SurfaceWidth, SurfaceHeight, std::move(unset));
  }
  shown_.clear();
  ForgetFrames();
  initialized_ = true;
  Notify(TDXDrawNotifyType::Initialize);
  // Every initialisation recreates the surfaces, so the pictures are uploaded again.
  Notify(TDXDrawNotifyType::Restore);
}

void TDXDraw::Finalize() {
  if (!initialized_) return;
  Notify(TDXDrawNotifyType::Finalize);
  initialized_ = false;
  ForgetFrames();
  display_.Finalize();
}

void TDXDraw::ForgetFrames() {
  queued_.clear();
  key_.clear();
  lastKey_.clear();
  untracked_ = true;
  settled_ = false;
}

void TDXDraw::Queue(std::string_view key, std::function<void(TSurface&)> step) {
  // A step's key is kept with its length, so two steps never read as another pair.
  const uint32_t len = static_cast<uint32_t>(key.size());
  key_.append(reinterpret_cast<const char*>(&len), sizeof len);
  key_.append(key);
  // After drawing that went straight onto the surface this frame, a step keeps its place
  // among it: carried out at once.
  if (untracked_) {
    step(surface_);
    return;
  }
  queued_.push_back(std::move(step));
}

void TDXDraw::RunQueued() {
  // A step may not queue another; take the list first all the same.
  std::vector<std::function<void(TSurface&)>> steps;
  steps.swap(queued_);
  for (auto& step : steps) step(surface_);
}

void TDXDraw::Untracked() {
  RunQueued();
  untracked_ = true;
}

bool TDXDraw::CanDraw() { return initialized_ && display_.CanDraw(); }

void TDXDraw::Flip() {
  if (!initialized_ || !Composing) {
    queued_.clear();
    key_.clear();
    untracked_ = true;
    settled_ = false;
    return;
  }
  const int w = surface_.Width(), h = surface_.Height();
  const size_t n = static_cast<size_t>(w) * h;
  // Whether the surface, before this frame's steps, still is the frame on screen.
  const bool shownValid = shown_.size() == n && display_.ShowsLastFrame();
  const bool tracked = !untracked_;
  const bool sameSteps = tracked && key_ == lastKey_;
  untracked_ = false;
  lastKey_.swap(key_);
  key_.clear();
  if (sameSteps && settled_ && shownValid && !AlwaysCompose) {
    queued_.clear();
    ++skipped_;
    ++uncomposed_;
    return;
  }
  // The same steps over the shown frame are known to leave it as it is only once a frame
  // composed from them over it came out the same (and not when a step fails halfway).
  settled_ = false;
  RunQueued();
  const uint32_t* now = surface_.Pixels();
  if (shownValid) {
    // The band of rows that differ from the frame on screen: down from the top to the first
    // that differs, up from the bottom to the last. An unchanged frame costs one read of it.
    const size_t rowBytes = static_cast<size_t>(w) * sizeof(uint32_t);
    const uint32_t* was = shown_.data();
    auto same = [&](int y) {
      return std::memcmp(was + static_cast<size_t>(y) * w, now + static_cast<size_t>(y) * w,
                         rowBytes) == 0;
    };
    int first = 0;
    while (first < h && same(first)) ++first;
    if (first == h) {
      ++skipped_;
      settled_ = sameSteps;
      return;
    }
    int end = h;
    while (end - 1 > first && same(end - 1)) --end;
    display_.PresentRows(now, w, h, first, end);
    if (display_.ShowsLastFrame())
      std::memcpy(shown_.data() + static_cast<size_t>(first) * w,
                  now + static_cast<size_t>(first) * w, static_cast<size_t>(end - first) * rowBytes);
    else
      shown_.clear();
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
