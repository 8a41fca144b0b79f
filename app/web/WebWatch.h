// The page's watch mode (/play/?watch=ID): a replay the page fetched played in the canvas
// with the desktop viewer's controls and marks (ReplayViewer.h), the page's loop driving it.
#pragma once

#include <string>

#include "platform/web/WebPlatform.h"

namespace tk::web {

// Starts watching the replay in file; the page's loop runs it from here. False when the
// file is refused (another format version, other game data, damaged) or the game cannot
// start: the page has been told why.
bool StartWatch(platform::WebPlatform& plat, const std::string& file);

}  // namespace tk::web
