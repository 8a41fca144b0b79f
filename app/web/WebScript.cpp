#include "web/WebScript.h"

#include <emscripten.h>

#include <stdexcept>

#include "assembly/ScriptKeys.h"
#include "platform/Cp1251.h"
#include "shell/Replay.h"

// One output line of the script (a state line), and one shot of the canvas.
EM_JS(void, tk_script_output, (const char* line), {
  const t = UTF8ToString(line);
  console.log(t);
  if (window.tinokvak) window.tinokvak.output.push(t);
});

EM_JS(void, tk_script_shot, (const char* sel, const char* name), {
  const c = document.querySelector(UTF8ToString(sel));
  const rgba = c.getContext("2d").getImageData(0, 0, c.width, c.height).data;
  window.tinokvak.shots.push({name: UTF8ToString(name), width: c.width, height: c.height,
                              rgba: window.tinokvak.base64(rgba)});
});

EM_JS(void, tk_script_done, (int status, const char* error), {
  window.tinokvak.scriptStatus = status;
  window.tinokvak.scriptError = UTF8ToString(error);
  window.tinokvak.scriptDone = true;
});

namespace tk::web {

using platform::WebEvent;

TScriptRun::TScriptRun(platform::WebPlatform& plat, TMainForm& form, std::string script)
    : plat_(plat), form_(form), lines_(std::move(script)) {}

void TScriptRun::Push(const WebEvent& e) {
  plat_.Push(e);
  plat_.Events->Pump(form_, 0);
}

// As the desktop's loop runs the game: pending events, then every timer and frame tick
// when due, until the target time or until the game closes.
void TScriptRun::Advance(uint64_t ms) {
  const uint64_t target = plat_.Now() + ms;
  while (!form_.Closed()) {
    plat_.Events->Pump(form_, 0);
    const uint64_t next = plat_.Now() + form_.MsUntilNextDue();
    if (next > target || form_.Closed()) break;
    plat_.AdvanceTo(next);
    form_.Idle();
  }
  plat_.AdvanceTo(target);
}

bool TScriptRun::RunLine() {
  if (!error_.empty()) return false;
  std::string line;
  if (!std::getline(lines_, line)) return false;
  ++number_;
  if (form_.Closed()) {
    // The game has closed: only a "state" line still prints how it ended.
    std::istringstream words(line.substr(0, line.find('#')));
    std::string cmd;
    if (words >> cmd && cmd == "state") {
      auto& rec = plat_.Record();
      tk_script_output(StateLine(form_, plat_.Now(), {&rec.Messages, &rec.Opened, rec.FullScreen}, seen_).c_str());
    }
    return true;
  }
  try {
    Execute(line);
  } catch (const std::exception& e) {
    error_ = "line " + std::to_string(number_) + ": " + e.what();
    return false;
  }
  return true;
}

void TScriptRun::Finish() { tk_script_done(error_.empty() ? 0 : 1, error_.c_str()); }

void TScriptRun::Execute(const std::string& rawLine) {
  std::string line = rawLine.substr(0, rawLine.find('#'));
  std::istringstream in(line);
  std::string cmd;
  if (!(in >> cmd)) return;
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
    WebEvent e{WebEvent::KeyDown};
    e.Key = ks.Key;
    e.Mods = ks.Mods;
    e.Code = "script:" + std::to_string(ks.Key);
    if (cmd != "up") Push(e);
    e.Type = WebEvent::KeyUp;
    if (cmd != "down") Push(e);
  } else if (cmd == "type") {
    std::string rest;
    std::getline(in, rest);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    for (char c : Utf8ToCp1251(rest)) {
      WebEvent e{WebEvent::Char};
      e.Ch = static_cast<uint8_t>(c);
      Push(e);
    }
  } else if (cmd == "move" || cmd == "click" || cmd == "press") {
    WebEvent e{WebEvent::MouseMove};
    e.X = static_cast<int>(num("x"));
    e.Y = static_cast<int>(num("y"));
    std::string b;
    in >> b;
    e.Button = ParseScriptButton(b);
    Push(e);
    if (cmd != "move") {
      e.Type = WebEvent::MouseDown;
      Push(e);
    }
    if (cmd == "click") {
      e.Type = WebEvent::MouseUp;
      Push(e);
    }
  } else if (cmd == "release") {
    std::string b;
    in >> b;
    WebEvent e{WebEvent::MouseUp};
    e.Button = ParseScriptButton(b);
    e.X = form_.MouseX;
    e.Y = form_.MouseY;
    Push(e);
  } else if (cmd == "close") {
    Push({WebEvent::Close});
  } else if (cmd == "focus") {
    std::string v;
    in >> v;
    if (v != "on" && v != "off") throw std::runtime_error("focus on|off");
    WebEvent e{WebEvent::Activate};
    e.Active = v == "on";
    Push(e);
  } else if (cmd == "maximize") {
    plat_.SetMaximized(true);
    Push({WebEvent::Resize});
  } else if (cmd == "minimize" || cmd == "restore") {
    plat_.SetMinimized(cmd == "minimize");
  } else if (cmd == "shot") {
    std::string f;
    if (!(in >> f)) throw std::runtime_error("missing file in: " + rawLine);
    // The canvas is always the whole frame: a size asked for is the desktop's own scaling.
    tk_script_shot("#screen", f.c_str());
  } else if (cmd == "state") {
    form_.Recorder->Mark();
    auto& rec = plat_.Record();
    tk_script_output(StateLine(form_, plat_.Now(), {&rec.Messages, &rec.Opened, rec.FullScreen}, seen_).c_str());
  } else {
    throw std::runtime_error("unknown command: " + cmd);
  }
}

}  // namespace tk::web
