#include "Sim.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <nlohmann/json.hpp>
#include <chrono>
#include <set>
#include <sstream>
#include <stdexcept>

#include "AudioCapture.h"
#include "ShotFile.h"
#include "Soak.h"
#include "Trace.h"
#include "assembly/Assembly.h"
#include "assembly/ScriptKeys.h"
#include "game/FeedingState.h"
#include "game/Lily.h"
#include "game/PondState.h"
#include "menus/MenuState.h"
#include "menus/Typing.h"
#include "online/Online.h"
#include "online/State.h"
#include "platform/Cp1251.h"
#include "shell/Replay.h"

namespace fs = std::filesystem;

namespace tk::sim {

namespace {

using platform::HeadlessEvent;

const TSprite* FindStorkHead(TMainForm& f) {
  for (int i = 0; i < f.Engine().ChildCount(); ++i)
    if (auto* s = f.Engine().Children(i); !s->Killed() && std::string_view(s->ClassName()) == "TAist")
      return s;
  return nullptr;
}

}  // namespace

Simulator::Simulator(const SimOptions& o, std::ostream& out)
    : Simulator(o, out, platform::MakeHeadlessHttp(), platform::MakeHeadlessText()) {}

bool Simulator::Finished() const { return form_->Closed(); }

void Simulator::Deliver() {
  plat_.Get().Events->Pump(*form_, 0);
}

void Simulator::Advance(uint64_t ms) { platform::RunFor(plat_, *form_, ms); }

void Simulator::Execute(const std::string& rawLine) {
  std::string line = rawLine.substr(0, rawLine.find('#'));
  std::istringstream in(line);
  std::string cmd;
  if (!(in >> cmd)) return;
  auto push = [this](HeadlessEvent e) {
    plat_.Push(e);
    Deliver();
  };
  auto num = [&](const char* what) {
    long long v;
    if (!(in >> v)) throw std::runtime_error(std::string("missing ") + what + " in: " + rawLine);
    return v;
  };
  if (cmd == "wait") {
    const long long ms = num("milliseconds");
    if (ms < 0) throw std::runtime_error("negative wait");
    Advance(static_cast<uint64_t>(ms));
  } else if (cmd == "ticks") {
    const long long n = num("tick count");
    if (n < 0) throw std::runtime_error("negative tick count");
    Advance(static_cast<uint64_t>(n) * FramePeriodMs);
  } else if (cmd == "key" || cmd == "down" || cmd == "up") {
    std::string k;
    if (!(in >> k)) throw std::runtime_error("missing key in: " + rawLine);
    const TScriptKey ks = ParseScriptKey(k);
    if (cmd != "up") push({HeadlessEvent::KeyDown, ks.Key, ks.Mods});
    if (cmd != "down") push({HeadlessEvent::KeyUp, ks.Key, ks.Mods});
  } else if (cmd == "type") {
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    for (char c : Utf8ToCp1251(rest)) {
      HeadlessEvent e{HeadlessEvent::Char};
      e.Ch = static_cast<uint8_t>(c);
      push(e);
    }
  } else if (cmd == "move" || cmd == "click" || cmd == "press") {
    HeadlessEvent e{HeadlessEvent::MouseMove};
    e.X = static_cast<int>(num("x"));
    e.Y = static_cast<int>(num("y"));
    std::string b;
    in >> b;
    e.Button = ParseScriptButton(b);
    push(e);
    if (cmd != "move") {
      e.Type = HeadlessEvent::MouseDown;
      push(e);
    }
    if (cmd == "click") {
      e.Type = HeadlessEvent::MouseUp;
      push(e);
    }
  } else if (cmd == "release") {
    std::string b;
    in >> b;
    HeadlessEvent e{HeadlessEvent::MouseUp};
    e.Button = ParseScriptButton(b);
    e.X = form_->MouseX;
    e.Y = form_->MouseY;
    push(e);
  } else if (cmd == "close") {
    push({HeadlessEvent::Close});
  } else if (cmd == "focus") {
    std::string v;
    in >> v;
    if (v != "on" && v != "off") throw std::runtime_error("focus on|off");
    HeadlessEvent e{HeadlessEvent::Activate};
    e.Active = v == "on";
    push(e);
  } else if (cmd == "maximize") {
    push({HeadlessEvent::Resize});
  } else if (cmd == "minimize" || cmd == "restore") {
    // Only drawing stops; focus changes come separately ("focus"), as window managers
    // send them.
    plat_.Record().Minimized = cmd == "minimize";
  } else if (cmd == "shot") {
    std::string f;
    if (!(in >> f)) throw std::runtime_error("missing file in: " + rawLine);
    int w = 0, h = 0;
    if (in >> w) {
      if (!(in >> h) || w <= 0 || h <= 0) throw std::runtime_error("shot FILE [WIDTH HEIGHT]");
    }
    Shot(f, w, h);
  } else if (cmd == "state") {
    form_->Recorder->Mark();
    PrintState();
  } else if (cmd == "peek") {
    PrintPeek();
  } else {
    throw std::runtime_error("unknown command: " + cmd);
  }
}

void Simulator::Shot(const std::string& file, int width, int height) {
  fs::path p(file);
  if (p.is_relative()) p = startDir_ / p;
  TSurface& s = form_->Surface();
  if (s.Empty()) throw std::runtime_error("no picture yet: the display is not up");
  WriteShot(s, p, width, height);
}

void Simulator::PrintPeek() {
  // What a scripted player needs to decide its next move; not a point of a recording.
  using nlohmann::json;
  TMainForm& f = *form_;
  const auto& pond = f.Module<game::TPondState>();
  const auto& feeding = f.Module<game::TFeedingState>();
  json j;
  j["t"] = plat_.Now();
  j["scene"] = SceneName(f.CurrentScene);
  j["level"] = f.Level;
  j["score"] = f.Score;
  j["lives"] = f.Lives;
  j["hunger"] = pond.Hunger;
  j["timeLeft"] = feeding.TimeLeft;
  j["paused"] = f.Paused;
  j["exitPrompt"] = f.GameMainExit;
  j["enterName"] = f.GameEnterName;
  j["timer1"] = f.Timer1.Enabled();
  j["frogColumn"] = pond.FrogColumn;
  j["frogFacing"] = pond.FrogFacing;
  j["stoneRow"] = pond.StoneRow;
  j["stickyTries"] = pond.StickyTries;
  j["stuck"] = pond.StuckToLily;
  j["scrolling"] = pond.Scrolling || pond.UpJumpPending || pond.SpringJumpPending;
  j["controllable"] = pond.FrogControllable && !pond.FrogFrozen && !pond.FrogCaught;
  j["aimAngle"] = feeding.AimAngle;
  j["tongue"] = {feeding.TongueBaseX, feeding.TongueBaseY - feeding.TongueLift,
                 feeding.TongueLength};
  json grid = json::array();
  for (auto& row : pond.LilyGrid) {
    json r = json::array();
    for (auto& cell : row) r.push_back({cell.LilyKind, cell.Pickup});
    grid.push_back(r);
  }
  j["grid"] = grid;
  json actors = json::array();
  for (int i = 0; i < f.Engine().ChildCount(); ++i) {
    const TSprite* s = f.Engine().Children(i);
    if (s->Killed()) continue;
    actors.push_back({s->ClassName(), s->X, s->Y, s->Width, s->Height});
  }
  j["actors"] = actors;
  // Where each lily is in its dive, so a player can tell when a pad will go under.
  json lilies = json::array();
  for (int i = 0; i < f.Engine().ChildCount(); ++i) {
    const auto* l = dynamic_cast<const tk::game::TKuvshinka*>(f.Engine().Children(i));
    if (!l || l->Killed()) continue;
    lilies.push_back({l->Row, l->Column, l->KindName, l->FramePos, l->FrameSpeed, l->BaseSpeed,
                      l->SlowPhase, l->FrameCount});
  }
  j["lilies"] = lilies;
  if (f.CurrentScene == ScenePond || f.CurrentScene == SceneFeeding)
    j["bottleStages"] = f.FindImage("energi").CountPatterns();
  out_ << j.dump() << std::endl;
}

int Simulator::Soak(uint64_t ticks, uint32_t seed, const std::string& shotDir, int shotWidth,
                    int shotHeight) {
  if (!StartGame(*form_)) {
    for (auto& m : plat_.Record().Messages) std::cerr << Cp1251ToUtf8(m) << "\n";
    return 1;
  }
  SoakPlayer player(plat_, *form_, seed);
  std::set<uint8_t> shot;
  int busiest = 0;
  auto save = [&](const std::string& name) {
    Shot((fs::path(shotDir) / (name + ".png")).string(), shotWidth, shotHeight);
  };
  if (!shotDir.empty()) {
    fs::create_directories(fs::path(shotDir).is_relative() ? startDir_ / shotDir : fs::path(shotDir));
    player.AfterTick = [&](uint8_t scene, uint64_t inScene) {
      // Each scene a few seconds in, when it has something to show.
      const uint64_t settle = scene == SceneFeeding ? 500 : scene == ScenePond ? 200 : 40;
      if (inScene == settle && shot.insert(scene).second) save(SceneName(scene));
      // And the busiest moment of all feeding stages; the stork's head counts the more the
      // lower it hangs.
      if (scene == SceneFeeding && !form_->Paused && !form_->GameMainExit) {
        int busy = form_->Engine().ChildCount();
        if (auto* head = FindStorkHead(*form_)) busy += 20 + static_cast<int>(head->Y + head->Height) / 30;
        if (busy > busiest) {
          busiest = busy;
          save("SceneFeeding-busiest");
        }
      }
    };
  }
  std::ofstream trace;
  uint64_t tick = 0;
  if (!opt_.TraceFile.empty()) {
    trace.open(opt_.TraceFile);
    if (!trace) {
      std::cerr << "cannot write " << opt_.TraceFile << "\n";
      return 1;
    }
    auto shots = std::move(player.AfterTick);
    player.AfterTick = [&, shots](uint8_t scene, uint64_t inScene) {
      if (shots) shots(scene, inScene);
      ++tick;
      char line[64];
      std::snprintf(line, sizeof line, "%llu %016llx", static_cast<unsigned long long>(tick),
                    static_cast<unsigned long long>(StateDigest(*form_)));
      trace << line;
      // The picture too, every few seconds of play (hashing it every tick would be slow).
      if (tick % 250 == 0) {
        std::snprintf(line, sizeof line, " frame %016llx",
                      static_cast<unsigned long long>(FrameDigest(form_->Surface())));
        trace << line;
      }
      trace << '\n';
    };
  }
  const auto start = std::chrono::steady_clock::now();
  const size_t heapAtStart = HeapInUse();
  size_t peakHeap = heapAtStart;
  constexpr uint64_t chunk = 1000;
  for (uint64_t done = 0; done < ticks;) {
    const uint64_t n = std::min(chunk, ticks - done);
    player.Play(n);
    done += n;
    peakHeap = std::max(peakHeap, HeapInUse());
    const SoakReport& r = player.Report();
    if (r.Closed || r.Stuck || r.Ticks < done) break;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const SoakReport& r = player.Report();
  using nlohmann::json;
  json j;
  j["ticks"] = r.Ticks;
  j["seconds"] = seconds;
  j["ticksPerSecond"] = seconds > 0 ? r.Ticks / seconds : 0.0;
  j["peakSprites"] = r.PeakSprites;
  j["peakSpritesScene"] = r.PeakSpritesScene;
  j["ticksByScene"] = r.TicksByScene;
  j["games"] = r.Games;
  j["ponds"] = r.PondStages;
  j["feedingStages"] = r.FeedingStages;
  j["gameOvers"] = r.GameOvers;
  j["nameEntries"] = r.NameEntries;
  j["recorded"] = r.Recorded;
  j["maxLevel"] = r.MaxLevel;
  json msgs = json::array();
  for (auto& m : r.Messages) msgs.push_back(Cp1251ToUtf8(m));
  j["messages"] = msgs;
  j["closed"] = r.Closed;
  j["stuck"] = r.Stuck ? json(r.StuckScene) : json(nullptr);
  j["heapAtStart"] = heapAtStart;
  j["peakHeap"] = peakHeap;
  j["menuHeap"] = r.MenuHeap;
  out_ << j.dump() << std::endl;
  return r.Messages.empty() && !r.Closed && !r.Stuck && r.Ticks == ticks ? 0 : 1;
}

int Simulator::Run(std::istream& script) {
  if (!StartGame(*form_)) {
    // Start-up failed: the game reported it and would exit.
    for (auto& m : plat_.Record().Messages) std::cerr << Cp1251ToUtf8(m) << "\n";
    return 1;
  }
  std::string line;
  int n = 0;
  while (std::getline(script, line)) {
    ++n;
    if (Finished()) {
      // The game has closed: the run is over, but a "state" line still prints how it ended
      // (closed, and what was opened on the way out).
      std::istringstream words(line.substr(0, line.find('#')));
      std::string cmd;
      if (words >> cmd && cmd == "state") PrintState();
      continue;
    }
    try {
      Execute(line);
    } catch (const std::exception& e) {
      std::cerr << "line " << n << ": " << e.what() << "\n";
      return 1;
    }
  }
  if (!opt_.RecordFile.empty()) {
    // A game still running when the script ends is recorded as far as it went.
    form_->Recorder->Finish();
    if (!recorded_) {
      std::cerr << "no game was started: nothing recorded\n";
      return 1;
    }
    fs::path p(opt_.RecordFile);
    if (p.is_relative()) p = startDir_ / p;
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    const std::string bytes = replay::WriteReplay(*recorded_);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) {
      std::cerr << "cannot write " << p.string() << "\n";
      return 1;
    }
  }
  // What the game sent is seen through before the run ends, as a game left open would:
  // each request ends within its time limit, the clock standing still meanwhile.
  while (!Finished() && form_->RequestsInFlight()) platform::RunFor(plat_, *form_, 30);
  return 0;
}

}  // namespace tk::sim
