#include "platform/headless/Headless.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <map>
#include <thread>

#include "platform/Text.h"

namespace tk::platform {

class HeadlessClock : public IClock {
 public:
  explicit HeadlessClock(HeadlessPlatform& p) : p_(p) {}
  uint64_t NowMs() override { return p_.now_; }
  void Sleep(uint32_t ms) override { p_.AdvanceTo(p_.now_ + ms); }

 private:
  HeadlessPlatform& p_;
};

class HeadlessDisplay : public IDisplay {
 public:
  explicit HeadlessDisplay(HeadlessRecord& r) : r_(r) {}
  bool Initialize(bool fullScreen) override {
    r_.DisplayUp = true;
    r_.FullScreen = fullScreen;
    if (fullScreen) r_.Maximized = false;
    return true;
  }
  void Finalize() override { r_.DisplayUp = false; }
  bool CanDraw() override { return r_.DisplayUp && !r_.Destroyed && !r_.Minimized; }
  void Present(const uint32_t* pixels, int width, int height) override {
    ++r_.Presents;
    r_.Front.assign(pixels, pixels + static_cast<size_t>(width) * height);
    r_.FrameLost = false;
    r_.PresentedFirstRow = 0;
    r_.PresentedEndRow = height;
  }
  void PresentRows(const uint32_t* pixels, int width, int height, int firstRow,
                   int endRow) override {
    // Only the band is taken over: the rest of Front must already be the frame's.
    if (r_.Front.size() != static_cast<size_t>(width) * height) {
      Present(pixels, width, height);
      return;
    }
    ++r_.Presents;
    const size_t from = static_cast<size_t>(firstRow) * width, to = static_cast<size_t>(endRow) * width;
    std::copy(pixels + from, pixels + to, r_.Front.begin() + static_cast<std::ptrdiff_t>(from));
    r_.FrameLost = false;
    r_.PresentedFirstRow = firstRow;
    r_.PresentedEndRow = endRow;
  }
  bool ShowsLastFrame() override { return r_.KeepsFrame && !r_.FrameLost && r_.DisplayUp; }
  void Show() override { r_.Shown = true; }
  void SetCaption(const std::string& c) override { r_.Caption = c; }
  void SetCursor(Cursor c) override { r_.CurrentCursor = c; }
  WindowPlacement GetPlacement() override { return r_.Placement; }
  void SetPlacement(const WindowPlacement& p) override { r_.Placement = p; }
  bool IsMaximized() override { return r_.Maximized; }
  void SetNormalState() override { r_.Maximized = false; }
  void Destroy() override {
    r_.Destroyed = true;
    r_.DisplayUp = false;
  }

 private:
  HeadlessRecord& r_;
};

class HeadlessInput : public IInput {
 public:
  explicit HeadlessInput(HeadlessPlatform& p) : p_(p) {}
  bool IsKeyDown(int key) override { return p_.held_.count(key) != 0; }
  ControllerState Controller() override { return {}; }
  bool HasFocus() override { return p_.focus_; }

 private:
  HeadlessPlatform& p_;
};

class HeadlessShell : public IShell {
 public:
  explicit HeadlessShell(HeadlessRecord& r) : r_(r) {}
  void Open(const std::string& target) override { r_.Opened.push_back(target); }
  void Spawn(const std::string& program, const std::vector<std::string>& args) override {
    std::vector<std::string> v{program};
    v.insert(v.end(), args.begin(), args.end());
    r_.Spawned.push_back(v);
  }
  void MessageBox(const std::string& text, const std::string&, MessageStyle) override {
    r_.Messages.push_back(text);
  }

 private:
  HeadlessRecord& r_;
};

class HeadlessEvents : public IEventSource {
 public:
  explicit HeadlessEvents(HeadlessPlatform& p) : p_(p) {}
  void Pump(IEventSink& sink, uint32_t) override {
    while (!p_.events_.empty()) {
      HeadlessEvent e = p_.events_.front();
      p_.events_.pop_front();
      switch (e.Type) {
        case HeadlessEvent::KeyDown:
          p_.held_.insert(e.Key);
          sink.OnKeyDown(e.Key, e.Mods);
          break;
        case HeadlessEvent::KeyUp:
          p_.held_.erase(e.Key);
          sink.OnKeyUp(e.Key, e.Mods);
          break;
        case HeadlessEvent::Char: sink.OnChar(e.Ch); break;
        case HeadlessEvent::MouseMove: sink.OnMouseMove(e.X, e.Y); break;
        case HeadlessEvent::MouseDown: sink.OnMouseDown(e.Button, e.X, e.Y); break;
        case HeadlessEvent::MouseUp: sink.OnMouseUp(e.Button, e.X, e.Y); break;
        case HeadlessEvent::Close: sink.OnCloseRequest(); break;
        case HeadlessEvent::Activate:
          p_.focus_ = e.Active;
          sink.OnActivate(e.Active);
          break;
        case HeadlessEvent::Resize:
          p_.record_.Maximized = true;
          sink.OnResize();
          break;
      }
    }
  }

 private:
  HeadlessPlatform& p_;
};

namespace {

class VirtualTimeRequests : public IHttpRequests {
 public:
  VirtualTimeRequests(HeadlessPlatform& p, std::unique_ptr<IHttpRequests> inner)
      : p_(p), inner_(std::move(inner)) {}

  RequestId Start(HttpRequest request) override {
    const RequestId id = inner_->Start(std::move(request));
    pending_.push_back({id, p_.Now() + p_.HttpLatencyMs});
    return id;
  }

  std::vector<HttpCompletion> Poll() override {
    std::vector<HttpCompletion> out;
    while (!pending_.empty() && pending_.front().Due <= p_.Now()) {
      const RequestId id = pending_.front().Id;
      // Due: the virtual clock stands still until the real transfer has ended (it is
      // bounded by the client's own time limits).
      while (!finished_.count(id)) {
        for (auto& c : inner_->Poll()) finished_[c.Id] = std::move(c.Result);
        if (!finished_.count(id)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      out.push_back({id, std::move(finished_[id])});
      finished_.erase(id);
      pending_.pop_front();
    }
    return out;
  }

  void Cancel(RequestId id) override {
    inner_->Cancel(id);
    std::erase_if(pending_, [id](const Pending& p) { return p.Id == id; });
    finished_.erase(id);
  }

 private:
  struct Pending {
    RequestId Id;
    uint64_t Due;
  };
  HeadlessPlatform& p_;
  std::unique_ptr<IHttpRequests> inner_;
  std::deque<Pending> pending_;
  std::map<RequestId, HttpResult> finished_;
};

}  // namespace

std::unique_ptr<IHttpRequests> MakeVirtualTimeRequests(HeadlessPlatform& plat,
                                                       std::unique_ptr<IHttpRequests> inner) {
  return std::make_unique<VirtualTimeRequests>(plat, std::move(inner));
}

HeadlessPlatform::HeadlessPlatform(std::unique_ptr<ITextRenderer> text,
                                   std::unique_ptr<IHttpRequests> http) {
  platform_.Clock = std::make_unique<HeadlessClock>(*this);
  platform_.Display = std::make_unique<HeadlessDisplay>(record_);
  platform_.Input = std::make_unique<HeadlessInput>(*this);
  auto audio = std::make_unique<HeadlessAudio>();
  audio_ = audio.get();
  platform_.Audio = std::move(audio);
  platform_.Shell = std::make_unique<HeadlessShell>(record_);
  if (http) platform_.Http = MakeVirtualTimeRequests(*this, std::move(http));
  platform_.Text = std::move(text);
  platform_.Events = std::make_unique<HeadlessEvents>(*this);
}

HeadlessPlatform::~HeadlessPlatform() = default;

void HeadlessPlatform::AdvanceTo(uint64_t t) {
  if (t <= now_) return;
  if (RenderAudio) audio_->Render(t - now_);
  now_ = t;
}

void HeadlessPlatform::SetKeyHeld(int key, bool held) {
  if (held)
    held_.insert(key);
  else
    held_.erase(key);
}

bool HeadlessAudio::Open(Pull pull, int& rate) {
  pull_ = std::move(pull);
  open_ = true;
  rate = Rate;
  return true;
}

void HeadlessAudio::Close() {
  open_ = false;
  pull_ = nullptr;
}

void HeadlessAudio::ResetStats() {
  peak_ = 0;
  nonSilent_ = 0;
  frames_ = 0;
}

void HeadlessAudio::Render(uint64_t ms) {
  if (!open_ || !pull_) return;
  uint64_t total = ms * Rate + carry_;
  uint64_t frames = total / 1000;
  carry_ = total % 1000;
  while (frames > 0) {
    const int n = static_cast<int>(std::min<uint64_t>(frames, 4096));
    buf_.assign(static_cast<size_t>(n) * 2, 0);
    pull_(buf_.data(), n);
    if (Capture) Capture(buf_.data(), n);
    for (int i = 0; i < n; ++i) {
      const int l = std::abs(static_cast<int>(buf_[2 * i]));
      const int r = std::abs(static_cast<int>(buf_[2 * i + 1]));
      peak_ = std::max({peak_, l, r});
      if (l || r) ++nonSilent_;
    }
    frames_ += n;
    frames -= n;
  }
}

}  // namespace tk::platform
