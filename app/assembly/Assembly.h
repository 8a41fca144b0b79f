// The whole game assembled: the main window with every scene's module registered.
#pragma once

#include <memory>

#include "platform/Platform.h"
#include "shell/MainForm.h"

namespace tk {

// The score server the game was built to talk to.
const char* DefaultScoreServer();

// Creates the main window with every module plugged in; FormCreate is left to the caller.
std::unique_ptr<TMainForm> CreateGame(platform::Platform& platform, TMainFormOptions options);

// Runs start-up and shows the window; on an error reports it (message box and stderr) and
// returns false, as the application does when its main window cannot be created.
bool StartGame(TMainForm& form);

}  // namespace tk
