// The browser's HTTP requests, through emscripten's fetch (an XMLHttpRequest each), to the
// server the page came from.
#pragma once

#include <memory>
#include <string>

#include "platform/HttpRequests.h"

namespace tk::platform {

// Requests go to the page's own origin: a URL naming a server ("http://host:port/path?q")
// keeps its path and query only, so the score server that serves the page gets the game's
// requests whatever address the game was built for. They run one after another, like the
// desktop's, so results come in the order the requests were started; each finishes within
// 10 s or fails with a clear error. Nothing blocks: the browser runs the transfer and the
// result waits for Poll. Destroying the object aborts what is in flight.
std::unique_ptr<IHttpRequests> MakeFetchHttp();

// The address a request is sent to: the path and query of URL when it names a server
// ("scheme://authority/path"), URL itself when it is already a path.
std::string SameOriginTarget(const std::string& url);

}  // namespace tk::platform
