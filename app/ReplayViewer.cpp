#include "ReplayViewer.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "assembly/Assembly.h"
#include "platform/Cp1251.h"
#include "platform/Text.h"

namespace tk {

using namespace platform;

void TViewerKeys::OnKeyDown(int key, KeyMods) {
  if (key == vk::Space) Paused = !Paused;
  if (key == vk::Right) Fast = true;
  if (key == 'R') Restart = true;
  if (key == vk::Esc) Leave = true;
}

void TViewerKeys::OnKeyUp(int key, KeyMods) {
  if (key == vk::Right) Fast = false;
}

// The game's time: where the replay has got to. A wait of the game passes on this clock as
// it did when the game was recorded (and as it does in tinokvak-sim): what the game does
// after the wait, such as starting a timer, happens at the time it happened then.
class TReplayViewer::Clock : public IClock {
 public:
  uint64_t NowMs() override { return Now; }
  void Sleep(uint32_t ms) override { Now += ms; }
  uint64_t Now = 0;
};

namespace {

class NoInput : public IInput {
 public:
  bool IsKeyDown(int) override { return false; }
  ControllerState Controller() override { return {}; }
  bool HasFocus() override { return true; }
};

}  // namespace

// A replay opens nothing, starts nothing and sends nothing; what the game would have said
// in a message box goes to stderr, and both are kept for the game's state.
class TReplayViewer::Shell : public IShell {
 public:
  void Open(const std::string& target) override { Opened.push_back(target); }
  void Spawn(const std::string&, const std::vector<std::string>&) override {}
  void MessageBox(const std::string& text, const std::string& caption, MessageStyle) override {
    Messages.push_back(text);
    std::fprintf(stderr, "%s: %s\n", Cp1251ToUtf8(caption).c_str(), Cp1251ToUtf8(text).c_str());
  }
  std::vector<std::string> Messages, Opened;
};

TReplayViewer::TReplayViewer(Platform& real, const replay::TReplay& r, bool recordSounds)
    : real_(real), r_(r) {
  auto clock = std::make_unique<Clock>();
  clock_ = clock.get();
  clock_->Now = r_.StartClock;
  p_.Clock = std::move(clock);
  auto display = std::make_unique<ReplayDisplay>(*real_.Display);
  viewer_ = display.get();
  p_.Display = std::move(display);
  p_.Input = std::make_unique<NoInput>();
  p_.Audio = std::move(real_.Audio);
  auto shell = std::make_unique<Shell>();
  shell_ = shell.get();
  p_.Shell = std::move(shell);
  // No HTTP client: what the network said comes from the journal, and nothing connects.
  p_.Text = std::move(real_.Text);
  viewer_->SetText(p_.Text.get());
  TMainFormOptions options;
  options.ScoreServer = DefaultScoreServer();
  options.RecordSounds = recordSounds;
  form_ = CreateGame(p_, options);
  form_->Replaying = true;
  form_->Hooks.SaveSettings = nullptr;  // a replay never writes the player's settings
  player_ = std::make_unique<TReplayPlayer>(*form_, r_);
  // A journal that fires its timers off their schedule is not this game's: it stops there.
  player_->CheckTimers = true;
  at_ = r_.StartClock;
}

TReplayViewer::~TReplayViewer() {
  player_.reset();
  form_.reset();
  // What the real platform lent goes back, for the next viewer or the game.
  real_.Audio = std::move(p_.Audio);
  real_.Text = std::move(p_.Text);
}

bool TReplayViewer::Start() {
  if (!StartGame(*form_)) return false;
  player_->OnMark = [this] {
    if (OnMark) OnMark();
  };
  player_->Setup();
  return true;
}

void TReplayViewer::Run(uint64_t wallMs, bool paused, bool fast) {
  TReplayPlayer& player = *player_;
  if (!paused) at_ += wallMs * (fast ? 4 : 1);
  // Nothing ran for more than a second only while the recorded window was minimised: the
  // replay skips that wait.
  if (!paused && !player.Done() && player.NextClock() > at_ + 1000) at_ = player.NextClock();
  // Entries due by now; a tick that another tick follows in the same batch is not drawn, so
  // a fast replay keeps up with the viewer's clock.
  size_t lastTick = SIZE_MAX;
  for (size_t i = player.Position(); i < r_.Entries.size() && r_.StartClock + r_.Entries[i].Time <= at_; ++i)
    if (r_.Entries[i].Type == replay::TEntry::Tick) lastTick = i;
  while (!player.Done() && player.NextClock() <= at_ && !form_->Closed()) {
    const bool isTick = player.Next().Type == replay::TEntry::Tick;
    form_->SetComposing(!isTick || player.Position() == lastTick);
    clock_->Now = std::max(clock_->Now, player.NextClock());
    player.Step();
  }
  form_->SetComposing(true);
  // The last picture stays, marked as the end, until the viewer leaves.
  viewer_->SetMark(player.Done() ? ViewerMark::Ended : paused ? ViewerMark::Paused : ViewerMark::Playing);
}

uint64_t TReplayViewer::MsUntilNext() const {
  if (player_->Done() || form_->Closed()) return 1000;
  const uint64_t next = player_->NextClock();
  if (next <= at_) return 0;
  return std::min<uint64_t>(next - at_, 1000);
}

uint64_t TReplayViewer::GameNow() const { return clock_->Now; }

const std::vector<std::string>& TReplayViewer::Messages() const { return shell_->Messages; }

const std::vector<std::string>& TReplayViewer::Opened() const { return shell_->Opened; }

}  // namespace tk
