// The page's test mode: a tinokvak-sim script run in the browser on a virtual clock, its
// input going through the web platform's own queue and its frames onto the real canvas.
// "shot" takes the canvas's pixels as the page shows them, "state" prints the state line
// tinokvak-sim prints; both are collected in window.tinokvak (shots, output).
#pragma once

#include <cstdint>
#include <sstream>
#include <string>

#include "assembly/StateLine.h"
#include "platform/web/WebPlatform.h"
#include "shell/MainForm.h"

namespace tk::web {

class TScriptRun {
 public:
  TScriptRun(platform::WebPlatform& plat, TMainForm& form, std::string script);
  // Runs the next line; false once the script is over (ended, failed, or the game closed).
  bool RunLine();
  // Tells the page how the run ended.
  void Finish();

 private:
  void Execute(const std::string& line);
  void Advance(uint64_t ms);
  void Push(const platform::WebEvent& e);

  platform::WebPlatform& plat_;
  TMainForm& form_;
  std::istringstream lines_;
  int number_ = 0;
  std::string error_;
  TStateSeen seen_;
};

}  // namespace tk::web
