// The game in the browser: the page's platform, the main window, and a loop of steps the
// browser runs: each step hands the game the events that came in and runs its idle step
// (the due timers and the 30 ms frame tick), then asks the browser to call again when the
// next timer is due, or at once when input arrives. Nothing waits inside a step.
//
// The page (index.html, page.js) has put the game folder in /game and the prepared data in
// /data, and the player's stored files in /player, before this starts. With --script FILE
// the page runs a tinokvak-sim script instead, on a virtual clock, through the same
// platform and canvas (WebScript.h).
#include <emscripten.h>
#include <emscripten/eventloop.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "assembly/Assembly.h"
#include "assembly/Replays.h"
#include "assembly/StateLine.h"
#include "platform/web/WebPlatform.h"
#include "web/WebScript.h"
#include "web/WebWatch.h"

EM_JS(void, tk_page_closed, (), {
  if (window.tinokvak) window.tinokvak.closed = true;
  const box = document.getElementById("loading");
  if (box) {
    box.textContent = "Тиноквак закрыт. Чтобы сыграть снова, обновите страницу.";
    box.style.display = "block";
  }
  const c = document.getElementById("screen");
  if (c) c.style.visibility = "hidden";
});

EM_JS(void, tk_page_failed, (const char* text), {
  if (window.tinokvak && window.tinokvak.fail) window.tinokvak.fail(UTF8ToString(text));
});

namespace {

std::unique_ptr<tk::platform::WebPlatform> gPlatform;
std::unique_ptr<tk::TMainForm> gForm;
std::unique_ptr<tk::web::TScriptRun> gScript;
tk::TStateSeen gSeen;
std::string gLine;
long gTimer = 0;
bool gScheduled = false;

void Step();

void StepLater(void*) {
  gScheduled = false;
  gTimer = 0;
  Step();
}

void Schedule(uint32_t ms) {
  if (gScheduled) emscripten_clear_timeout(gTimer);
  gScheduled = true;
  gTimer = emscripten_set_timeout(StepLater, ms, nullptr);
}

bool gInStep = false;

void StepNow() {
  // A blocking wait of the game holds everything, input included, until it has passed.
  if (const uint32_t held = gPlatform->HeldMs()) {
    Schedule(held);
    return;
  }
  gPlatform->Events->Pump(*gForm, 0);
  gForm->Idle();
  if (gForm->Closed()) {
    if (gScheduled) emscripten_clear_timeout(gTimer);
    gScheduled = false;
    tk_page_closed();
    return;
  }
  if (const uint32_t held = gPlatform->HeldMs()) {
    Schedule(held);
    return;
  }
  uint32_t wait = gForm->MsUntilNextDue();
  // The pictures not drawn yet are decoded while the game waits for its next frame, one
  // at a time, so none holds up a frame when it is first drawn.
  if (wait >= 12) {
    try {
      if (gForm->Images().DecodeNextPending()) wait = 0;
    } catch (const std::exception& e) {
      gForm->HandleException(e);
      wait = 0;
    }
  }
  Schedule(wait);
}

// A browser's handler may run inside a step (opening a page can take the focus away at
// once): the step it asks for comes after this one, never within it.
void Step() {
  if (!gForm || gForm->Closed()) return;
  if (gInStep) {
    Schedule(0);
    return;
  }
  gInStep = true;
  try {
    StepNow();
  } catch (const std::exception& e) {
    gForm->HandleException(e);
    Schedule(0);
  }
  gInStep = false;
  // What came in meanwhile is handed over at once.
  if (gPlatform->HasPendingEvents() && !gForm->Closed()) Schedule(gPlatform->HeldMs());
}

// The script's lines, one a step, so the page draws between them.
void ScriptStep(void*) {
  if (!gScript) return;
  if (gScript->RunLine()) {
    emscripten_set_timeout(ScriptStep, 0, nullptr);
    return;
  }
  gScript->Finish();
}

constexpr const char* kUsage = "usage: tinokvak [--script FILE [--seed N] | --watch FILE]\n";

}  // namespace

// ---- What the page's window.tinokvak reads (page.js)

extern "C" {

// Null until the game has started.
EMSCRIPTEN_KEEPALIVE const char* tk_page_state() {
  if (!gForm) return nullptr;
  auto& rec = gPlatform->Record();
  gLine = tk::StateLine(*gForm, gPlatform->Now(), {&rec.Messages, &rec.Opened, rec.FullScreen}, gSeen);
  return gLine.c_str();
}

EMSCRIPTEN_KEEPALIVE double tk_page_ticks() {
  return gPlatform ? static_cast<double>(gPlatform->Record().Ticks) : 0;
}

EMSCRIPTEN_KEEPALIVE const uint8_t* tk_page_frame() {
  return gPlatform && !gPlatform->LastFrame().empty() ? gPlatform->LastFrame().data() : nullptr;
}

EMSCRIPTEN_KEEPALIVE int tk_page_frame_size() {
  return gPlatform ? static_cast<int>(gPlatform->LastFrame().size()) : 0;
}

}  // extern "C"

int main(int argc, char** argv) {
  std::string script, watch;
  uint32_t seed = 1;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--script" && i + 1 < argc) {
      script = argv[++i];
    } else if (a == "--watch" && i + 1 < argc) {
      watch = argv[++i];
    } else if (a == "--seed" && i + 1 < argc) {
      seed = static_cast<uint32_t>(std::strtoul(argv[++i], nullptr, 10));
    } else {
      std::fputs(kUsage, stderr);
      tk_page_failed("Неверные параметры страницы.");
      return 1;
    }
  }
  ::setenv("TK_WEB_DATA", "/data", 1);
  if (::chdir("/game") != 0) {
    tk_page_failed("Нет данных игры.");
    return 1;
  }
  try {
    gPlatform = std::make_unique<tk::platform::WebPlatform>("/data");
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak: %s\n", e.what());
    tk_page_failed(e.what());
    return 1;
  }
  if (!watch.empty()) return tk::web::StartWatch(*gPlatform, watch) ? 0 : 1;
  tk::TMainFormOptions options;
  options.ScoreServer = tk::DefaultScoreServer();
  if (!script.empty()) {
    // As tinokvak-sim runs it: a fixed seed, the game folder's own settings, sounds named.
    gPlatform->UseVirtualClock();
    options.Seed = seed;
    options.RecordSounds = true;
  } else {
    options.SettingsFile = "/player/Config.cfg";
  }
  gForm = tk::CreateGame(*gPlatform, options);
  if (script.empty()) tk::RecordGamesIntoReplays(*gForm);
  if (!tk::StartGame(*gForm)) {
    tk_page_failed("Игра не смогла начаться.");
    return 1;
  }
  if (!script.empty()) {
    std::ifstream in(script);
    std::stringstream text;
    text << in.rdbuf();
    gScript = std::make_unique<tk::web::TScriptRun>(*gPlatform, *gForm, text.str());
    emscripten_set_timeout(ScriptStep, 0, nullptr);
    return 0;
  }
  gPlatform->OnInput = [] { Step(); };
  Schedule(0);
  return 0;  // the browser's loop runs the game from here
}
