#include "ReplayDownload.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <thread>

namespace tk {

bool IsReplayAddress(const std::string& arg) {
  std::string head = arg.substr(0, 8);
  std::transform(head.begin(), head.end(), head.begin(), [](unsigned char c) { return std::tolower(c); });
  return head.rfind("http://", 0) == 0 || head.rfind("https://", 0) == 0;
}

std::string DownloadReplay(platform::IHttpRequests& http, const std::string& url) {
  platform::HttpRequest request;
  request.Url = url;
  const platform::RequestId id = http.Start(request);
  // The client finishes every request within its own limits; this only waits for it.
  for (;;) {
    for (auto& done : http.Poll()) {
      if (done.Id != id) continue;
      const platform::HttpResult& r = done.Result;
      if (r.Status == 0)
        throw EReplayDownload("cannot download the replay: " + (r.Error.empty() ? std::string("no reply") : r.Error));
      if (r.Status == 404) throw EReplayDownload("no such replay on the server (404 Not Found)");
      if (!r.Ok) throw EReplayDownload("cannot download the replay: the server answered " + std::to_string(r.Status));
      if (r.Body.empty()) throw EReplayDownload("the server sent an empty reply, no replay");
      if (r.Body.size() > kMaxReplayDownload)
        throw EReplayDownload("the reply is larger than a replay can be (" + std::to_string(kMaxReplayDownload) +
                              " bytes)");
      return r.Body;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace tk
