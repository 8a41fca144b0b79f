// The HTTP GET the score submission needs, through libcurl.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace tk::platform {

// One client keeps its cookies between requests; connects within 5 s and finishes
// within 10 s or fails, so a silent server cannot freeze the game for good.
std::unique_ptr<IHttpClient> MakeCurlHttpClient();

}  // namespace tk::platform
