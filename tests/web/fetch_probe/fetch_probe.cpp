// A page that drives the browser's HTTP requests for the tests: the test starts requests
// through probeStart/probeCancel, the frame loop polls them as the game does and hands each
// result to window.probeResults, and window.probeTicks counts the frames, so a test sees
// whether anything held the loop up.
#include <emscripten.h>
#include <emscripten/html5.h>

#include <memory>
#include <string>

#include "platform/web/FetchHttp.h"

namespace {

std::unique_ptr<tk::platform::IHttpRequests> http;

void Frame() {
  EM_ASM(window.probeTicks = (window.probeTicks || 0) + 1;);
  for (const tk::platform::HttpCompletion& c : http->Poll()) {
    const tk::platform::HttpResult& r = c.Result;
    EM_ASM(
        {
          window.probeResults.push({
            id : $0,
            ok : !!$1,
            status : $2,
            body : Array.from(HEAPU8.subarray($3, $3 + $4)),
            error : UTF8ToString($5),
            tick : window.probeTicks
          });
        },
        c.Id, r.Ok, r.Status, r.Body.data(), r.Body.size(), r.Error.c_str());
  }
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE unsigned probe_start(int post, const char* url, const unsigned char* body, int size) {
  tk::platform::HttpRequest req;
  req.Url = url;
  req.Post = post != 0;
  req.Body.assign(reinterpret_cast<const char*>(body), static_cast<size_t>(size));
  return http->Start(std::move(req));
}

EMSCRIPTEN_KEEPALIVE void probe_cancel(unsigned id) { http->Cancel(id); }

// A new requests object in place of the old, whatever it had in flight; the results so far
// are cleared, since the new one counts its ids from 1 again.
EMSCRIPTEN_KEEPALIVE void probe_reset() {
  http = tk::platform::MakeFetchHttp();
  EM_ASM(window.probeResults = [];);
}

}

int main() {
  http = tk::platform::MakeFetchHttp();
  EM_ASM(window.probeResults = []; window.probeReady = true;);
  emscripten_set_main_loop(Frame, 0, false);
  return 0;
}
