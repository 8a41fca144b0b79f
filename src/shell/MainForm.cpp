#include "shell/MainForm.h"

#include <chrono>
#include <cstdio>
#include <utility>

#include "media/Sound.h"
#include "platform/Cp1251.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "shell/Replay.h"

namespace tk {

const char* SceneName(uint8_t id) {
  switch (id) {
    case SceneLogo: return "SceneLogo";
    case SceneMainMenu: return "SceneMainMenu";
    case ScenePond: return "ScenePond";
    case SceneFeeding: return "SceneFeeding";
    case SceneHelp: return "SceneHelp";
    case SceneOptions: return "SceneOptions";
    case SceneHighScores: return "SceneHighScores";
    case SceneGameOver: return "SceneGameOver";
    case SceneExitScreen: return "SceneExitScreen";
    default: return "SceneNone";
  }
}

namespace {

replay::TEntry TimerEntry(int id) {
  replay::TEntry e{replay::TEntry::Timer};
  e.TimerIndex = static_cast<uint8_t>(id);
  return e;
}

replay::TEntry MouseEntry(replay::TEntry::Kind k, platform::MouseButton b, int x, int y) {
  replay::TEntry e{k};
  e.Button = static_cast<uint8_t>(b);
  e.X = x;
  e.Y = y;
  return e;
}

}  // namespace

TMainForm::TMainForm(platform::Platform& platform, TMainFormOptions options)
    : Plat(platform), Options(std::move(options)), DXDraw(*platform.Display), SpriteEngine(this) {
  for (TTimer* t : {&DXTimer, &Timer1, &Timer2, &LevelTimer, &sharetimer})
    t->Attach(Plat.Clock.get());
  DXTimer.SetInterval(FramePeriodMs);
  DXTimer.OnTimer = [this] { FrameTick(); };
  DXTimer.SetEnabled(true);
  Timer1.SetInterval(2000);
  Timer1.OnTimer = [this] {
    Timer1.SetEnabled(false);
    if (auto& h = Scenes[CurrentScene].Timer1) h();
  };
  Timer2.SetInterval(4000);  // the logo's: the scene sets its handler
  LevelTimer.SetInterval(1000);  // the feeding stage's clock: the stage sets its handler
  sharetimer.SetInterval(100);

  ImageList.SetDXDraw(&DXDraw);
  SpriteEngine.SetDXDraw(&DXDraw);
  // Registered after the image library and the sprite engine, so they attach first.
  drawListener_ = DXDraw.RegisterNotifyEvent([this](TDXDrawNotifyType t) { DisplayNotify(t); });

  DXSound = std::make_unique<TDXSound>(*Plat.Audio);
  DXWaveList = std::make_unique<TDXWaveList>();
  DXWaveList->SetDXSound(DXSound.get());
  Music = std::make_unique<TMusicPlayer>(DXSound->Mixer());
  DXSound->Initialize();
  Recorder = std::make_unique<TReplayRecorder>(*this);

  rng_.seed(Options.Seed ? *Options.Seed : static_cast<uint32_t>(Plat.Clock->NowMs()));
}

TMainForm::~TMainForm() {
  DXDraw.UnRegisterNotifyEvent(drawListener_);
  if (MusicModule) Music->SongFree(MusicModule);
  MusicModule = 0;
  Engine().Clear();
  if (DXDraw.Initialized()) DXDraw.Finalize();
  DXWaveList->SetDXSound(nullptr);
  DXSound->Finalize();
}

void TMainForm::FormCreate() {
  ResizePending = false;
  Randomize();
  SetCursor(platform::Cursor::Hidden);
  // Pictures are decoded when first drawn or tested: start-up reads the archive once and
  // checks each picture's header.
  Images().DecodeWhenUsed = true;
  // A check reads of the archive only what it parses and the pictures its tests touch.
  Images().MapArchive = Options.CheckOnly;
  Images().LoadArchive("Data\\Graphic.dxg", false,
                       [](std::shared_ptr<const TFileBytes> b) {
                         NoteGameData("Data\\Graphic.dxg", std::move(b));
                       });
  Images().BuildColorTable();
  GameOver = false;
  Paused = false;
  AppInactive = false;
  GamegoEdit = GameMainExit = GameEnterName = GameSendResult = GameClearHighScore = false;
  GameFullScreen = false;
  GameSound = GameMusic = true;
  SetCaption(Cp("Тиноквак"));
  if (Hooks.ResetHighScores) Hooks.ResetHighScores();
  if (Hooks.LoadSettings) Hooks.LoadSettings();
  if (Hooks.LoadExitScreen) Hooks.LoadExitScreen();
  SwitchScene(SceneLogo);
}

void TMainForm::Show() {
  if (shown_) return;
  shown_ = true;
  Plat.Display->Show();
  if (!DXDraw.Initialized()) DXDraw.Initialize();
}

void TMainForm::DisplayNotify(TDXDrawNotifyType t) {
  switch (t) {
    case TDXDrawNotifyType::Initialize:
      Plat.Display->SetNormalState();
      DXTimer.SetEnabled(true);
      if (Options.SoundsAfterFirstFrame && !soundsLoadedOnce_) soundsDeferred_ = true;
      else LoadSoundArchive();
      break;
    case TDXDrawNotifyType::Finalize:
      DXTimer.SetEnabled(false);
      break;
    default:
      break;
  }
}

void TMainForm::HandleException(const std::exception& e) {
  // The box keeps the library's own message; stderr also says where.
  const auto* located = dynamic_cast<const EError*>(&e);
  std::fprintf(stderr, "%s: %s\n", Cp1251ToUtf8(Cp("Тиноквак")).c_str(),
               located ? located->FullMessage().c_str() : e.what());
  Plat.Shell->MessageBox(e.what(), Cp("Тиноквак"), platform::MessageStyle::Error);
}

void TMainForm::Idle() {
  if (closed_) return;
  PollNetwork();
  if (closed_) return;
  if (Hooks.IdleStep && !Replaying) Guard([&] { Hooks.IdleStep(); });
  HoldStageClock();
  // Window timers first, earliest due first; each fires at most once per pass.
  TTimer* timers[] = {&Timer1, &Timer2, &LevelTimer, &sharetimer};
  bool fired[4] = {false, false, false, false};
  for (;;) {
    const uint64_t now = Plat.Clock->NowMs();
    int best = -1;
    for (int i = 0; i < 4; ++i) {
      if (fired[i] || !timers[i]->Running() || timers[i]->DueAt() > now) continue;
      if (best < 0 || timers[i]->DueAt() < timers[best]->DueAt()) best = i;
    }
    if (best < 0) break;
    fired[best] = true;
    // Journaled at the clock the poll saw, which its next due time counts from.
    TJournalScope journal(Recorder.get(), TimerEntry(best), now);
    Guard([&] { timers[best]->Poll(now); });
    if (closed_) return;
  }
  const uint64_t now = Plat.Clock->NowMs();
  if (DXTimer.Enabled() && DXTimer.DueAt() <= now) Guard([&] { DXTimer.Poll(now); });
}

// ---- Network

platform::RequestId TMainForm::StartRequest(uint8_t purpose, platform::HttpRequest request) {
  if (Replaying || purpose >= NetPurposes) return 0;  // a replay's results come from its journal
  if (!Plat.Http) {
    refused_.push_back({nextRefused_, purpose});
    return nextRefused_++;
  }
  const platform::RequestId id = Plat.Http->Start(std::move(request));
  inFlight_[id] = purpose;
  return id;
}

void TMainForm::CancelRequest(platform::RequestId id) {
  if (id == 0) return;
  std::erase_if(refused_, [id](const auto& r) { return r.first == id; });
  if (inFlight_.erase(id) && Plat.Http) Plat.Http->Cancel(id);
}

void TMainForm::PollNetwork() {
  if (Replaying) {
    // Only the journal speaks in a replay: anything started before it is dropped.
    for (const auto& [id, purpose] : std::exchange(inFlight_, {}))
      if (Plat.Http) Plat.Http->Cancel(id);
    refused_.clear();
    return;
  }
  std::vector<std::pair<uint8_t, platform::HttpResult>> ready;
  for (const auto& r : std::exchange(refused_, {})) {
    platform::HttpResult failed;
    failed.Error = "no HTTP client";
    ready.push_back({r.second, failed});
  }
  if (Plat.Http && !inFlight_.empty()) {
    for (auto& c : Plat.Http->Poll()) {
      auto it = inFlight_.find(c.Id);
      if (it == inFlight_.end()) continue;  // cancelled meanwhile
      ready.push_back({it->second, std::move(c.Result)});
      inFlight_.erase(it);
    }
  }
  for (const auto& [purpose, result] : ready) {
    DeliverNetReply(purpose, result);
    if (closed_) return;
  }
}

void TMainForm::DeliverNetReply(uint8_t purpose, const platform::HttpResult& result) {
  replay::TEntry e;
  e.Type = replay::TEntry::Net;
  e.Purpose = purpose;
  e.Reply = {result.Ok, result.Status, result.Body, result.Error};
  replay::ClipNetReply(e.Reply);  // what the journal keeps is what the game is handed
  TJournalScope journal(purpose < NetPurposes && OutsideGames[purpose] ? nullptr : Recorder.get(), e);
  if (purpose >= NetPurposes || !NetReplies[purpose]) return;
  const platform::HttpResult r{e.Reply.Ok, e.Reply.Status, e.Reply.Body, e.Reply.Error};
  Guard([&] { NetReplies[purpose](r); });
}

uint32_t TMainForm::MsUntilNextDue() {
  // A window that came back (or went) while nothing else was due: the stage clock is held
  // or let go at once rather than at the next frame.
  if (LevelTimer.Held() != StageClockFrozen()) return 0;
  const uint64_t now = Plat.Clock->NowMs();
  uint64_t best = UINT64_MAX;
  for (TTimer* t : {&DXTimer, &Timer1, &Timer2, &LevelTimer, &sharetimer})
    if (t->Running() && t->Interval() > 0) best = std::min(best, t->DueAt());
  if (best == UINT64_MAX) return 100;
  return best <= now ? 0 : static_cast<uint32_t>(std::min<uint64_t>(best - now, 100));
}

// ---- Scenes

void TMainForm::SaveSettings() {
  if (!Hooks.SaveSettings) return;
  if (Options.TuneAndSettingsAfterFirstFrame && framesTicked_ == 0) {
    settingsDeferred_ = true;
    return;
  }
  settingsDeferred_ = false;  // this write holds everything the put-off one would have
  Hooks.SaveSettings();
}

bool TMainForm::SaveDeferredSettings() {
  if (!settingsDeferred_) return false;
  settingsDeferred_ = false;
  if (Hooks.SaveSettings) Guard([&] { Hooks.SaveSettings(); });
  return true;
}

void TMainForm::SwitchScene(uint8_t id) {
  if (Recorder) Recorder->SceneSwitch(CurrentScene, id);
  if (auto& leave = CurrentHandlers().Leave) leave();
  CurrentScene = id;
  if (id < Scenes.size() && Scenes[id].Build) Scenes[id].Build();
}

void TMainForm::FrameTick() {
  if (!DXDraw.CanDraw()) return;
  ++framesTicked_;
  Plat.Display->FrameTicked();
  PollInput();
  // The window's state is read here, once, so the journal holds what the tick saw.
  const bool maximized = ResizePending && Plat.Display->IsMaximized();
  replay::TEntry tick;
  tick.Type = replay::TEntry::Tick;
  tick.Input = InputBits(DXInput) | (maximized ? replay::InMaximized : 0);
  TJournalScope journal(Recorder.get(), tick);
  TickSteps(maximized);
}

void TMainForm::ReplayTick(const TInputState& polled, bool maximized) {
  DXInput = polled;
  TickSteps(maximized);
}

void TMainForm::FireTimer(int id) {
  TTimer* timers[] = {&Timer1, &Timer2, &LevelTimer, &sharetimer};
  if (id < 0 || id > 3 || !timers[id]->OnTimer) return;
  // As its poll would: the next firing is due a period from now.
  if (timers[id]->Running()) {
    timers[id]->SetEnabled(false);
    timers[id]->SetEnabled(true);
  }
  Guard([&] { timers[id]->OnTimer(); });
}

void TMainForm::TickSteps(bool maximized) {
  for (auto& step : Hooks.FrameSteps) step();
  if (ResizePending) {
    ResizePending = false;
    if (maximized) GameFullScreenClick();
  }
  if (auto& tick = CurrentHandlers().Tick) tick();
  DXDraw.Flip();
  MusicCheck();
}

// ---- Display modes

void TMainForm::GameFullScreenClick() {
  GameFullScreen = !GameFullScreen;
  GamegoEdit = false;
  if (GameFullScreen) {
    DXDraw.Finalize();
    if (!DXDraw.FullScreen) savedPlacement_ = Plat.Display->GetPlacement();
    DXDraw.FullScreen = true;
    DXDraw.Initialize();
  } else {
    DXDraw.Finalize();
    if (DXDraw.FullScreen && savedPlacement_) {
      Plat.Display->SetPlacement(*savedPlacement_);
      savedPlacement_.reset();
    }
    DXDraw.FullScreen = false;
    DXDraw.Initialize();
    Plat.Display->SetNormalState();
  }
}

// ---- Close

void TMainForm::Close() {
  if (closed_) return;
  if (!CloseQuery()) return;
  FormClose();
}

bool TMainForm::CloseQuery() {
  TSceneHandlers& scene = CurrentHandlers();
  if (scene.CloseRequest) return scene.CloseRequest();
  if (GameMainExit) return false;
  if (Paused) {
    // Ends the pause as P does, so the stage clock cannot stay stopped for good.
    if (scene.Pause)
      scene.Pause();
    else
      Paused = false;
  }
  if (Hooks.GameMainExitClick) Hooks.GameMainExitClick();
  return false;
}

void TMainForm::FormClose() {
  closed_ = true;
  for (TTimer* t : {&DXTimer, &Timer1, &Timer2, &LevelTimer, &sharetimer}) t->SetEnabled(false);
  if (FileExists("fscommand\\wlaunch.exe")) {
    const auto path = ResolvePath("fscommand\\wlaunch.exe");
    std::error_code ec;
    const auto perms = std::filesystem::status(path, ec).permissions();
    const bool executable =
        !ec && (perms & std::filesystem::perms::owner_exec) != std::filesystem::perms::none;
    if (executable)
      Plat.Shell->Spawn(path.string(), {"target=\"_blank\""});
    else
      Plat.Shell->Open(path.string());
  }
  if (DXDraw.Initialized()) DXDraw.Finalize();
  Plat.Display->Destroy();
}

// ---- Events

void TMainForm::OnCloseRequest() {
  TJournalScope journal(Recorder.get(), {replay::TEntry::Close});
  Guard([&] { Close(); });
}

void TMainForm::OnActivate(bool active) {
  replay::TEntry e{replay::TEntry::Activate};
  e.Active = active;
  TJournalScope journal(Recorder.get(), e);
  AppInactive = !active;
  SetCaption(active ? Cp("Тиноквак") : Cp("Тиноквак [Пауза]"));
  HoldStageClock();
}

bool TMainForm::StageClockFrozen() {
  // The feeding stage's clock stops while the player is away (the window inactive or
  // minimised), as its sprites do, and goes on with what was left of its second.
  return CurrentHandlers().ClockStopsWhileAway && (AppInactive || !DXDraw.CanDraw());
}

void TMainForm::HoldStageClock() { LevelTimer.SetHeld(StageClockFrozen()); }

void TMainForm::OnResize() {
  TJournalScope journal(Recorder.get(), {replay::TEntry::Resize});
  ResizePending = true;
}

void TMainForm::OnMouseMove(int x, int y) {
  TJournalScope journal(Recorder.get(), MouseEntry(replay::TEntry::MouseMove, {}, x, y));
  Guard([&] {
    MouseX = x;
    MouseY = y;
    if (auto& move = CurrentHandlers().MouseMove) move();
  });
}

void TMainForm::OnMouseDown(platform::MouseButton b, int x, int y) {
  TJournalScope journal(Recorder.get(), MouseEntry(replay::TEntry::MouseDown, b, x, y));
  Guard([&] {
    if (auto& down = CurrentHandlers().MouseDown) down(b);
  });
}

void TMainForm::OnMouseUp(platform::MouseButton b, int x, int y) {
  TJournalScope journal(Recorder.get(), MouseEntry(replay::TEntry::MouseUp, b, x, y));
  FireHeld = false;
}

// ---- Helpers

int32_t TMainForm::Random(int32_t n) {
  if (n <= 0) return 0;
  return static_cast<int32_t>((static_cast<uint64_t>(rng_()) * static_cast<uint64_t>(n)) >> 32);
}

void TMainForm::Randomize() {
  // A fixed seed keeps its sequence for repeatable runs; so does a recorded game, whose
  // file holds the one seed it was played with.
  if (Options.Seed || Replaying || (Recorder && Recorder->Active())) return;
  rng_.seed(static_cast<uint32_t>(
      std::chrono::steady_clock::now().time_since_epoch().count() ^ Plat.Clock->NowMs()));
}

void TMainForm::SetCursor(platform::Cursor c) {
  cursor_ = c;
  Plat.Display->SetCursor(c);
}

void TMainForm::SetCaption(const std::string& caption) {
  caption_ = caption;
  Plat.Display->SetCaption(caption);
}

void TMainForm::FillSurface(uint32_t pixel) {
  if (!DXDraw.Composing) return;
  if (!DXDraw.Initialized()) {
    Surface().Fill(pixel);
    return;
  }
  std::string key = "F";
  key.append(reinterpret_cast<const char*>(&pixel), sizeof pixel);
  DXDraw.Queue(key, [pixel](TSurface& s) { s.Fill(pixel); });
}

void TMainForm::TextOut(int x, int y, const std::string& text, int pointSize, uint32_t rgb,
                        const std::string& font) {
  if (!DXDraw.Initialized() || !DXDraw.Composing) return;
  // Queued with everything its pixels depend on; the renderer lives as long as the window.
  std::string key = "T";
  for (int32_t v : {x, y, pointSize, static_cast<int32_t>(rgb),
                    static_cast<int32_t>(text.size()), static_cast<int32_t>(font.size())})
    key.append(reinterpret_cast<const char*>(&v), sizeof v);
  key += text;
  key += font;
  platform::ITextRenderer* renderer = Plat.Text.get();
  DXDraw.Queue(key, [renderer, x, y, text, pointSize, rgb, font](TSurface& s) {
    renderer->Draw(s.Pixels(), s.Width(), s.Height(), s.Width(), x, y, text,
                   {font, pointSize, rgb});
  });
}

int TMainForm::TextWidth(const std::string& text, int pointSize, const std::string& font) {
  return Plat.Text->Width(text, {font, pointSize, 0});
}

int TMainForm::TextHeight(const std::string& text, int pointSize, const std::string& font) {
  return Plat.Text->Height(text, {font, pointSize, 0});
}

int TMainForm::CountLiveByClassName(std::string_view cls) {
  int n = 0;
  auto& e = Engine();
  for (int i = 0; i < e.ChildCount(); ++i)
    if (!e.Children(i)->Killed() && cls == e.Children(i)->ClassName()) ++n;
  return n;
}

void TMainForm::OpenLinkFile(const std::string& fileName) {
  if (!FileExists(fileName)) return;
  Plat.Shell->Open(ResolvePath(fileName).string());
}

void TMainForm::GoWeb(const std::string& address) { Plat.Shell->Open(address); }

}  // namespace tk
