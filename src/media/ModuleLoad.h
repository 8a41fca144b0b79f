// What the module players (libxmp's on the desktop, the prepared tunes' in the browser)
// share about loading a module: how a failure is worded.
#pragma once

#include <string>

namespace tk {

enum class TModuleProblem { NotAModule, Damaged, Other };

// "Music/1.xm: the module is damaged"; `code` is the player's own error number for Other.
std::string ModuleLoadMessage(const std::string& name, TModuleProblem problem, int code = 0);

}  // namespace tk
