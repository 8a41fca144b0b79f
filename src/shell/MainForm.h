// The main window: owns every component, the fields and flags more than one layer reads,
// the scene table, SwitchScene, the frame tick, the window timers, keyboard dispatch,
// start-up and close. Scenes plug their builders, ticks and handlers into the table and
// keep what only they use in their own module state.
#pragma once

#include <array>
#include <bitset>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <typeindex>
#include <typeinfo>
#include <vector>

#include "media/DXDraw.h"
#include "media/PictureCollection.h"
#include "platform/NameCharacters.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "protocol/HighScores.h"
#include "shell/Timer.h"
#include "sprites/Sprites.h"

namespace tk {

class TDXSound;
class TDXWaveList;
class TMusicPlayer;
class TReplayRecorder;
namespace replay {
struct TReplayStart;
}

enum TSceneId : uint8_t {
  SceneNone = 0,
  SceneLogo = 1,
  SceneMainMenu = 2,
  ScenePond = 3,
  SceneFeeding = 4,
  SceneHelp = 5,
  SceneOptions = 6,
  SceneHighScores = 7,
  SceneGameOver = 9,
  SceneExitScreen = 10,
};
const char* SceneName(uint8_t id);  // "SceneMainMenu", ...

constexpr int32_t MoveUnits = 16;
constexpr uint32_t FramePeriodMs = 30;

// What a scene plugs into the table: everything the shell does differently from one scene
// to the next goes through the current scene's row. Empty entries do nothing.
struct TSceneHandlers {
  std::function<void()> Build;
  std::function<void()> Tick;
  // After MouseX and MouseY are set to the pointer: the scene's highlights and pointer.
  std::function<void()> MouseMove;
  // Tested at the last move position (MouseX, MouseY), not at the click's.
  std::function<void(platform::MouseButton)> MouseDown;
  // The scene's rows of the key table; Alt+Enter is handled after them for every scene.
  std::function<void(int key, platform::KeyMods mods)> KeyDown;
  std::function<void(uint8_t ch)> KeyPress;  // a typed Windows-1251 character
  // Timer1 fired while this scene is current (Timer1 has already disabled itself).
  std::function<void()> Timer1;
  // The scene's leave steps, run by SwitchScene before the next scene is built.
  std::function<void()> Leave;
  // The window's close button while the scene is current: true lets the window close.
  // Empty: the common rule (refused; unless the exit prompt is already open, a pause ends
  // through Pause and the exit prompt is asked for).
  std::function<bool()> CloseRequest;
  // Flips Paused together with what the scene stops while paused (its P key, and a close
  // request that ends a pause).
  std::function<void()> Pause;
  // Every frame tick, the text caret's blink: shown for 14 ticks, hidden for 16.
  std::function<void(bool shown)> Caret;
  // The tune the frame tick starts again once the module has played through; null: none.
  const char* Music = nullptr;
  // The stage clock (LevelTimer) stands still while the window is inactive or minimised.
  bool ClockStopsWhileAway = false;
};

// Operations that live in the layers above the shell; each module fills its own.
struct TGameHooks {
  std::function<void()> LoadSettings;
  std::function<void()> SaveSettings;
  std::function<void()> ResetHighScores;
  // The exit prompt (menus): opens or closes it where a scene has one; over a play scene the
  // pointer's moves and clicks go to it through the other two.
  std::function<void()> GameMainExitClick;
  std::function<void()> ExitPromptMouseMove;
  std::function<void()> ExitPromptMouseDown;
  std::function<void()> LoadExitScreen;
  std::function<int32_t()> ExitCountdownTenths;
  // Every frame tick, in every scene, before the scene's tick, in the order the modules
  // registered them: what a module keeps current whatever the scene (the pond's cooldowns,
  // the tongue's aim, the caret's blink).
  std::vector<std::function<void()>> FrameSteps;
  // Each module's part of the state a replay starts from: kept when recording starts, put
  // back before the journal runs.
  std::vector<std::function<void(replay::TReplayStart&)>> SaveReplayStart;
  std::vector<std::function<void(const replay::TReplayStart&)>> RestoreReplayStart;
  // The idle step's part for the layers above, after the network's results are in: work
  // that waits for its time outside any scene (a request sent again later). It may start
  // requests and nothing else; a replay, which feeds the journal, never runs it.
  std::function<void()> IdleStep;
};

// Polled logical inputs, one snapshot per frame tick.
struct TInputState {
  bool Up = false, Down = false, Left = false, Right = false, Fire = false;
  bool AltLeft = false, AltRight = false;
};

// Shared fields of the game: the main window's own and those more than one layer reads.
struct TGameState {
  uint8_t CurrentScene = SceneNone;
  // Flags (the hidden menu items' check marks).
  bool GameFullScreen = false, GameSound = true, GameMusic = true, GameMainExit = false,
       GameEnterName = false, GameSendResult = false, GamegoEdit = false,
       GameClearHighScore = false;
  // Game fields.
  int32_t Level = 0, Score = 0, Lives = 0;
  // Frame-tick fields.
  int32_t MouseX = 0, MouseY = 0;
  bool Paused = false, FireHeld = false, AppInactive = false, ResizePending = false,
       MusicRestartPending = false, GameOver = false;
  int32_t LastMusicOrder = 0;
  uintptr_t MusicModule = 0;
  // Play ticks.
  bool LevelTitleShown = false;
  // The player's name as last entered: the settings file, the table, the score submission
  // and the replay's trailer read it.
  std::string PlayerName;
  THighScoreTable HighScores{};
};

struct TMainFormOptions {
  std::optional<uint32_t> Seed;  // fixed seed (tests, tinokvak-sim); else the clock
  std::string ScoreServer = "http://127.0.0.1:8642";
  bool RecordSounds = false;  // keep the names of started sounds (tinokvak-sim)
  // Played only to check a replay's result: nothing is mixed, so the sound archive is never
  // read and a sound is only logged (its data still counts in the replay's data hash).
  bool CheckOnly = false;
  // The sound archive is read once the first frame is on screen (LoadDeferredSounds, which
  // the game's loop calls while it waits, and any sound started before that), rather than
  // when the display comes up: the real game's start-up.
  bool SoundsAfterFirstFrame = false;
  // Neither a tune started nor Config.cfg written before the first frame holds it up: the
  // tune is loaded and the file written (durably, as always) once the frame is on screen
  // (StartDeferredTune, SaveDeferredSettings, which the game's loop calls while it waits).
  // A write asked for after the first frame is made at once, so a high score is on disk
  // before anything is sent about it.
  bool TuneAndSettingsAfterFirstFrame = false;
  // Config.cfg outside the game folder (an installed game); empty: the game folder's own.
  std::filesystem::path SettingsFile;
};

class TMainForm : public TSpriteOwner, public platform::IEventSink, public TGameState {
 public:
  TMainForm(platform::Platform& platform, TMainFormOptions options = {});
  ~TMainForm() override;
  TMainForm(const TMainForm&) = delete;
  TMainForm& operator=(const TMainForm&) = delete;

  // ---- Components
  platform::Platform& Plat;
  TMainFormOptions Options;
  TDXDraw DXDraw;
  TDXImageList ImageList;
  TDXSpriteEngine SpriteEngine;
  std::unique_ptr<TDXSound> DXSound;
  std::unique_ptr<TDXWaveList> DXWaveList;
  std::unique_ptr<TMusicPlayer> Music;
  TTimer DXTimer, Timer1, Timer2, LevelTimer, sharetimer;
  TInputState DXInput;

  std::array<TSceneHandlers, 11> Scenes;
  TGameHooks Hooks;
  // Each scene module keeps its own state alive with the window, one object per type;
  // its sprites get a reference when they are made, tools and tests find it by type.
  template <class T, class... Args>
  T& AddModule(Args&&... args) {
    auto p = std::make_shared<T>(std::forward<Args>(args)...);
    modules_[std::type_index(typeid(T))] = p;
    return *p;
  }
  template <class T>
  T* FindModule() const {
    auto it = modules_.find(std::type_index(typeid(T)));
    return it == modules_.end() ? nullptr : static_cast<T*>(it->second.get());
  }
  // For callers that know the module is registered (the assembled game).
  template <class T>
  T& Module() const {
    T* m = FindModule<T>();
    if (!m) throw std::logic_error(std::string("module not registered: ") + typeid(T).name());
    return *m;
  }

  TSpriteEngine& Engine() { return SpriteEngine.Engine(); }
  TPictureCollection& Images() { return ImageList.Items; }
  TPictureCollectionItem& FindImage(std::string_view name) { return Images().FindImage(name); }
  TSurface& Surface() { return DXDraw.Surface(); }
  const TSurface& Picture() { return DXDraw.Picture(); }  // to read; see TDXDraw::Picture

  // ---- Life cycle
  void FormCreate();  // the window-created steps; throws on a start-up error
  void Show();        // the window is shown: the display comes up unless it already is
  // The application's idle step: fires due window timers, then the frame timer.
  void Idle();
  // Milliseconds until the next timer is due (for the loop's wait), 0 when one is due.
  uint32_t MsUntilNextDue();
  bool Closed() const { return closed_; }
  // Reads the sound archive put off by SoundsAfterFirstFrame; says whether it did. An
  // archive that cannot be read ends the game as it would have at start-up: said, closed,
  // and StartFailed.
  bool LoadDeferredSounds();
  // The tune and the Config.cfg write put off by TuneAndSettingsAfterFirstFrame; each says
  // whether it did anything. Once the first frame is on screen, and before the game ends.
  bool StartDeferredTune();
  bool SaveDeferredSettings();
  // Writes Config.cfg through the settings' hook (nothing without one, as in a replay).
  void SaveSettings();
  bool StartFailed() const { return startFailed_; }
  // Frame ticks run so far (each ends with its frame presented, or kept when unchanged).
  uint64_t FramesTicked() const { return framesTicked_; }
  void Close();  // asks to close: the close-request rules decide

  // ---- Scene manager
  void SwitchScene(uint8_t id);
  void FrameTick();
  // The current scene's row of the table.
  TSceneHandlers& CurrentHandlers() {
    return Scenes[CurrentScene < Scenes.size() ? CurrentScene : size_t{SceneNone}];
  }

  // ---- Replays (shell/Replay.h)
  // Journals games while its Enabled is set (the real game) or after its Start (tools).
  std::unique_ptr<TReplayRecorder> Recorder;
  // Set while a replay drives the game: the replay's seed stands for the clock's, and its
  // journal for the network (nothing is sent).
  bool Replaying = false;
  // When false, nothing is composed or presented: collisions still use the pictures' masks.
  void SetComposing(bool on) { DXDraw.Composing = on; }
  bool Composing() const { return DXDraw.Composing; }
  // A recorded frame tick: its polled inputs and whether it found the window maximised.
  void ReplayTick(const TInputState& polled, bool maximized);
  void FireTimer(int id);  // a recorded firing: 0 Timer1, 1 Timer2, 2 LevelTimer, 3 sharetimer
  uint32_t DrawSeed() { return rng_(); }
  void Reseed(uint32_t seed) { rng_.seed(seed); }

  // ---- Network: requests that never hold up a frame (platform/HttpRequests.h)
  // A module names each request by a purpose number of its own and gets the result through
  // the handler it put in NetReplies for that purpose, from the idle step. A result handed
  // over while a game is recorded is journaled with its purpose, and a replay hands over
  // the journaled results instead: while Replaying, StartRequest starts nothing.
  static constexpr size_t NetPurposes = 8;
  std::array<std::function<void(const platform::HttpResult&)>, NetPurposes> NetReplies;
  // Purposes whose replies belong to no game (what an earlier run left to send): never
  // journaled, so never replayed.
  std::bitset<NetPurposes> OutsideGames;
  // The request's handle, or 0 when nothing was started (a replay, an unknown purpose).
  platform::RequestId StartRequest(uint8_t purpose, platform::HttpRequest request);
  void CancelRequest(platform::RequestId id);
  bool RequestsInFlight() const { return !inFlight_.empty() || !refused_.empty(); }
  // Hands a result to its purpose's handler, journaled (the replay player calls it too).
  void DeliverNetReply(uint8_t purpose, const platform::HttpResult& result);

  // ---- Flags' handlers
  void GameFullScreenClick();  // the full-screen switch
  void GameSoundClick() { GameSound = !GameSound; }
  void GameMusicClick() { GameMusic = !GameMusic; }
  void GamegoEditClick() { GamegoEdit = !GamegoEdit; }

  // ---- Audio (sound effects by name, music by track)
  void PlaySound(const std::string& name);
  void StopSound(const std::string& name);  // "all" stops every sound
  void PlayMusic(const std::string& track);
  void StopMusic();
  void MusicCheck();  // the frame tick's restart rule
  void LoadSoundArchive();
  std::vector<std::string> SoundLog;  // names started, for tinokvak-sim
  std::string CurrentTrack() const;   // "" when no module plays

  // ---- Helpers for scenes
  int32_t Random(int32_t n);  // 0 .. n - 1
  void Randomize();           // reseed from the clock (no-op with a fixed seed)
  void SetCursor(platform::Cursor c);
  platform::Cursor Cursor() const { return cursor_; }
  void SetCaption(const std::string& caption1251);
  const std::string& Caption() const { return caption_; }
  void Wait(uint32_t ms) { Plat.Clock->Sleep(ms); }  // blocking wait of the play ticks
  void FillSurface(uint32_t pixel = 0);
  void TextOut(int x, int y, const std::string& text1251, int pointSize, uint32_t rgb,
               const std::string& font = "Festival Nights JL");
  int TextWidth(const std::string& text1251, int pointSize,
                const std::string& font = "Festival Nights JL");
  int TextHeight(const std::string& text1251, int pointSize,
                 const std::string& font = "Festival Nights JL");
  // Kills every top-level sprite of class T (subclasses included).
  template <class T>
  void KillAll() {
    auto& e = Engine();
    for (int i = 0; i < e.ChildCount(); ++i)
      if (auto* s = SpriteAs<T>(e.Children(i))) s->Kill();
  }
  template <class T>
  int CountLive() {
    int n = 0;
    auto& e = Engine();
    for (int i = 0; i < e.ChildCount(); ++i)
      if (auto* s = SpriteAs<T>(e.Children(i)); s && !s->Killed()) ++n;
    return n;
  }
  // Live top-level sprites whose ClassName is the given one.
  int CountLiveByClassName(std::string_view cls);
  void OpenLinkFile(const std::string& fileName);  // when the file exists
  void GoWeb(const std::string& address);
  // Reports an error as the application's default handling does and carries on.
  void HandleException(const std::exception& e);

  // ---- Events from the platform
  void OnKeyDown(int key, platform::KeyMods mods) override;
  void OnKeyUp(int key, platform::KeyMods mods) override;
  void OnChar(uint8_t ch) override;
  void OnMouseMove(int x, int y) override;
  void OnMouseDown(platform::MouseButton b, int x, int y) override;
  void OnMouseUp(platform::MouseButton b, int x, int y) override;
  void OnCloseRequest() override;
  void OnActivate(bool active) override;
  void OnResize() override;

  void PollInput();  // frame tick step 2
  bool StageClockFrozen();  // the feeding stage waits for the window to come back
  void HoldStageClock();    // holds LevelTimer meanwhile

 private:
  bool CloseQuery();
  void FormClose();
  void DisplayNotify(TDXDrawNotifyType t);
  void TickSteps(bool maximized);  // the frame tick after its input poll
  template <class F>
  void Guard(F&& f) {
    try {
      f();
    } catch (const std::exception& e) {
      HandleException(e);
    }
  }

  void PollNetwork();  // the idle step's first part
  std::map<platform::RequestId, uint8_t> inFlight_;  // handle -> purpose
  // Requests made without an HTTP client: they fail at the next poll, as any other would.
  std::vector<std::pair<platform::RequestId, uint8_t>> refused_;
  platform::RequestId nextRefused_ = 0x80000000u;
  std::map<std::type_index, std::shared_ptr<void>> modules_;
  std::mt19937 rng_;
  platform::Cursor cursor_ = platform::Cursor::Arrow;
  std::string caption_;
  bool closed_ = false;
  bool soundsDeferred_ = false, soundsLoadedOnce_ = false, startFailed_ = false;
  uint64_t framesTicked_ = 0;
  bool shown_ = false;
  std::optional<platform::WindowPlacement> savedPlacement_;
  int drawListener_ = 0;
  std::string currentTrack_;
  std::string deferredTune_;     // started before the first frame, loaded after it
  bool settingsDeferred_ = false;  // a Config.cfg write asked for before the first frame
  // A check's tunes: whether each file loads, by its path, tried once (TuneLoads).
  std::map<std::string, bool> tuneLoads_;
  bool TuneLoads(const std::string& file);
  uintptr_t LoadTune(const std::string& file);  // says on stderr why one does not load
};

// The main window of the engine that owns a sprite.
inline TMainForm& Form(const TSprite& s) {
  return static_cast<TMainForm&>(*s.Engine()->Owner());
}

}  // namespace tk
