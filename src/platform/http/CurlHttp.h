// The desktop's HTTP requests, through libcurl on a worker thread of their own.
#pragma once

#include <memory>

#include "platform/HttpRequests.h"

namespace tk::platform {

// Requests run one after another on one connection cache and cookie store; the game's
// thread only queues them and picks up what finished. Destroying the object stops the
// transfer in progress and drops the queue.
std::unique_ptr<IHttpRequests> MakeCurlHttpRequests();

}  // namespace tk::platform
