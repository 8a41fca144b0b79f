#include "web/WebWatch.h"

#include <emscripten.h>
#include <emscripten/eventloop.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <vector>

#include "ReplayViewer.h"
#include "assembly/StateLine.h"
#include "shell/Replay.h"

// What the page's watch.js shows and reports (window.tinokvak.watch).
EM_JS(void, tk_watch_loaded, (int entries), {
  if (window.tinokvak && window.tinokvak.watchLoaded) window.tinokvak.watchLoaded(entries);
});
EM_JS(void, tk_watch_progress, (int position, int ended, int paused, int fast), {
  if (window.tinokvak && window.tinokvak.watchProgress) window.tinokvak.watchProgress(position, !!ended, !!paused, !!fast);
});
// reason: 0 no replay, 1 another version or other game data, 2 damaged, 3 the game failed.
EM_JS(void, tk_watch_refused, (int reason, const char* text), {
  if (window.tinokvak && window.tinokvak.watchRefused) window.tinokvak.watchRefused(reason, UTF8ToString(text));
});
EM_JS(void, tk_watch_leave, (), {
  if (window.tinokvak && window.tinokvak.watchLeave) window.tinokvak.watchLeave();
});

namespace tk::web {

namespace {

platform::WebPlatform* gPlat = nullptr;
replay::TReplay gReplay;
std::unique_ptr<TReplayViewer> gViewer;
TViewerKeys gKeys;
TStateSeen gSeen;
std::string gLine;
uint64_t gLast = 0;
long gTimer = 0;
bool gScheduled = false, gInStep = false, gLeft = false;
std::string gEndLine;
std::vector<int> gCommands;  // the page's buttons pressed since the last step

void Step();

void StepLater(void*) {
  gScheduled = false;
  Step();
}

void Schedule(uint64_t ms) {
  if (gScheduled) emscripten_clear_timeout(gTimer);
  gScheduled = true;
  gTimer = emscripten_set_timeout(StepLater, static_cast<double>(ms), nullptr);
}

bool Begin() {
  // The sounds are named in the state line, as tinokvak-sim --replay names them.
  gViewer = std::make_unique<TReplayViewer>(*gPlat, gReplay, true);
  gSeen = {};
  gEndLine.clear();
  // Each mark's line moves what the next line reports past it, as the sim's marks do.
  gViewer->OnMark = [] {
    auto& v = *gViewer;
    tk::StateLine(v.Form(), v.GameNow(), {&v.Messages(), &v.Opened(), false}, gSeen);
  };
  if (!gViewer->Start()) {
    tk_watch_refused(3, "the game could not start");
    return false;
  }
  gLast = gPlat->Now();
  return true;
}

// The page hears where the replay is; at its end the state line it reached is kept, as
// tinokvak-sim --replay prints it last.
void Report() {
  const bool done = gViewer->Done();
  if (done && gEndLine.empty()) {
    auto& v = *gViewer;
    if (!v.Refusal().empty()) std::fprintf(stderr, "replay refused: %s\n", v.Refusal().c_str());
    gEndLine = tk::StateLine(v.Form(), v.GameNow(), {&v.Messages(), &v.Opened(), false}, gSeen);
  }
  tk_watch_progress(static_cast<int>(gViewer->Position()), done ? 1 : 0, gKeys.Paused ? 1 : 0,
                    gKeys.Fast ? 1 : 0);
}

void StepNow() {
  // The time since the last step passed as the viewer had set it then; what the viewer
  // asks now holds from now on.
  const uint64_t now = gPlat->Now();
  gViewer->Run(now - gLast, gKeys.Paused, gKeys.Fast);
  gLast = now;
  gPlat->Events->Pump(gKeys, 0);
  for (int what : gCommands) {
    switch (what) {
      case 1: gKeys.Paused = !gKeys.Paused; break;
      case 2: gKeys.Fast = true; break;
      case 3: gKeys.Fast = false; break;
      case 4: gKeys.Restart = true; break;
      case 5: gKeys.Leave = true; break;
      default: break;
    }
  }
  gCommands.clear();
  if (gKeys.Leave) {
    gLeft = true;
    tk_watch_leave();
    return;
  }
  if (gKeys.Restart) {  // from the beginning, as it was when the page opened it
    gKeys.Restart = false;
    gKeys.Paused = false;
    gViewer.reset();
    if (!Begin()) return;
  }
  gViewer->Run(0, gKeys.Paused, gKeys.Fast);  // the marks as the viewer has them now
  Report();
  if (gViewer->Closed()) return;
  // Paused or at its end, the replay waits for the viewer's keys (which step it at once).
  if (gKeys.Paused || gViewer->Done()) return;
  const uint64_t next = gViewer->MsUntilNext();
  Schedule(gKeys.Fast ? (next + 3) / 4 : next);
}

void Step() {
  if (!gViewer || gLeft) return;
  if (gInStep) {
    Schedule(0);
    return;
  }
  gInStep = true;
  try {
    StepNow();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak: %s\n", e.what());
    tk_watch_refused(3, e.what());
    gViewer.reset();
  }
  gInStep = false;
}

}  // namespace

bool StartWatch(platform::WebPlatform& plat, const std::string& file) {
  gPlat = &plat;
  try {
    gReplay = ReadReplayForThisGame(file);
  } catch (const replay::EReplayError& e) {
    std::fprintf(stderr, "%s: %s\n", file.c_str(), e.what());
    tk_watch_refused(static_cast<int>(e.reason()), e.what());
    return false;
  }
  if (!Begin()) return false;
  tk_watch_loaded(static_cast<int>(gReplay.Entries.size()));
  plat.OnInput = [] { Step(); };
  Schedule(0);
  return true;
}

}  // namespace tk::web

// ---- What the page's watch.js reads and asks

extern "C" {

EMSCRIPTEN_KEEPALIVE const char* tk_watch_state() {
  using namespace tk::web;
  if (!gViewer) return "";
  if (!gEndLine.empty()) return gEndLine.c_str();
  tk::TStateSeen seen = gSeen;  // looking changes nothing
  gLine = tk::StateLine(gViewer->Form(), gViewer->GameNow(), {&gViewer->Messages(), &gViewer->Opened(), false},
                        seen);
  return gLine.c_str();
}

// The page's own buttons: 1 pause or go on, 2 fast on, 3 fast off, 4 from the beginning,
// 5 leave; as the viewer's keys do.
EMSCRIPTEN_KEEPALIVE void tk_watch_command(int what) {
  using namespace tk::web;
  gCommands.push_back(what);
  Step();
}

}  // extern "C"
