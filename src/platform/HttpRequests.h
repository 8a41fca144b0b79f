// Non-blocking HTTP requests: the only way the game talks to a server.
//
// The contract every implementation keeps (desktop, headless, browser):
//  - Start never blocks and never calls back. It returns a handle (never 0) at once, even
//    when the request cannot be made: that failure is reported as its result like any other.
//  - Poll never blocks on the network. It hands over every request that finished since the
//    last call, each exactly once, in the order the requests were started; a handle
//    cancelled before is never handed over. The game calls it from its idle step, on the
//    game's own thread, so a result is seen between frames and never in the middle of one.
//  - Cancel forgets a request: its result is dropped, and an implementation that can stop
//    the transfer does.
//  - A request connects within 5 s and finishes within 10 s, or fails; destroying the
//    object ends what is in flight within those bounds (the desktop one at once).
//  - Requests of one object share cookies, like one browser tab.
// The headless implementation makes results visible at a point of the virtual clock fixed
// by the start time alone, so runs on it are the same every time.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tk::platform {

struct HttpResult {
  bool Ok = false;    // a reply with status 2xx arrived
  int Status = 0;     // 0 when no reply arrived
  std::string Body;
  std::string Error;  // why no reply arrived
};

struct HttpRequest {
  std::string Url;
  bool Post = false;  // else a GET
  std::string Body;   // a POST's content, sent as bytes
};

using RequestId = uint32_t;

struct HttpCompletion {
  RequestId Id = 0;
  HttpResult Result;
};

class IHttpRequests {
 public:
  virtual ~IHttpRequests() = default;
  virtual RequestId Start(HttpRequest request) = 0;
  virtual std::vector<HttpCompletion> Poll() = 0;
  virtual void Cancel(RequestId id) = 0;
};

}  // namespace tk::platform
