#include "platform/web/FetchHttp.h"

#include <emscripten.h>
#include <emscripten/fetch.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <deque>
#include <utility>

namespace tk::platform {

namespace {

// A request finishes within this time or fails, as on the desktop.
constexpr unsigned kFinishMs = 10000;
// Replies are short texts; a runaway one is refused, as the desktop refuses it.
constexpr uint64_t kMaxReplyBytes = 1u << 20;

// emscripten_fetch_close only forgets the XMLHttpRequest behind a fetch still in flight: its
// handlers would write to the freed fetch when it ends. This stops it for good first.
EM_JS(void, tk_fetch_abort, (unsigned id), {
  if (typeof Fetch === 'undefined' || !Fetch.xhrs) return;
  var xhr = Fetch.xhrs[id - 1];
  if (!xhr) return;
  xhr.onload = xhr.onerror = xhr.ontimeout = xhr.onprogress = xhr.onreadystatechange = null;
  xhr.abort();
});

// As the desktop sends them: the game's requests are read by a server that expects these.
const char* const kPostHeaders[] = {"Accept", "text/html, */*", "Content-Type", "application/octet-stream", nullptr};
const char* const kGetHeaders[] = {"Accept", "text/html, */*", nullptr};

class FetchHttp : public IHttpRequests {
 public:
  ~FetchHttp() override {
    queue_.clear();
    Abort();
  }

  RequestId Start(HttpRequest request) override {
    const RequestId id = next_++;
    if (next_ == 0) next_ = 1;
    queue_.push_back({id, std::move(request)});
    // Only the transfer starts here; even a failure to start is seen at Poll.
    Pump();
    return id;
  }

  std::vector<HttpCompletion> Poll() override {
    // The browser ends a request at its timeout; this is the backstop should it not.
    if (running_ && emscripten_get_now() - startedMs_ > kFinishMs + 1000) {
      done_.push_back({runningId_, TimedOut()});
      Abort();
      Pump();
    }
    std::vector<HttpCompletion> out;
    out.swap(done_);
    return out;
  }

  void Cancel(RequestId id) override {
    std::erase_if(queue_, [id](const Job& j) { return j.Id == id; });
    std::erase_if(done_, [id](const HttpCompletion& c) { return c.Id == id; });
    if (running_ && runningId_ == id) {
      Abort();
      Pump();
    }
  }

 private:
  struct Job {
    RequestId Id;
    HttpRequest Request;
  };

  static HttpResult TimedOut() {
    HttpResult r;
    r.Error = "no answer from the server within 10 s";
    return r;
  }

  // Starts the next request when none is running.
  void Pump() {
    while (!running_ && !queue_.empty()) {
      Job job = std::move(queue_.front());
      queue_.pop_front();
      const std::string target = SameOriginTarget(job.Request.Url);
      body_ = std::move(job.Request.Body);
      emscripten_fetch_attr_t attr;
      emscripten_fetch_attr_init(&attr);
      std::strcpy(attr.requestMethod, job.Request.Post ? "POST" : "GET");
      attr.attributes = EMSCRIPTEN_FETCH_LOAD_TO_MEMORY;
      attr.timeoutMSecs = kFinishMs;
      attr.userData = this;
      attr.onsuccess = &FetchHttp::Finished;
      attr.onerror = &FetchHttp::Finished;
      attr.requestHeaders = job.Request.Post ? kPostHeaders : kGetHeaders;
      if (job.Request.Post) {
        attr.requestData = body_.data();
        attr.requestDataSize = body_.size();
      }
      runningId_ = job.Id;
      startedMs_ = emscripten_get_now();
      starting_ = true;
      emscripten_fetch_t* f = emscripten_fetch(&attr, target.c_str());
      starting_ = false;
      if (!f) {
        HttpResult r;
        r.Error = "the browser cannot make the request";
        done_.push_back({job.Id, std::move(r)});
        continue;
      }
      if (failedAtStart_ == f) {
        // It failed before it was running (Finished saw it): reported already.
        failedAtStart_ = nullptr;
        emscripten_fetch_close(f);
        continue;
      }
      running_ = f;
    }
  }

  // The transfer in flight stopped and forgotten, nothing reported.
  void Abort() {
    emscripten_fetch_t* f = running_;
    if (!f) return;
    running_ = nullptr;
    tk_fetch_abort(f->id);
    emscripten_fetch_close(f);  // calls Finished once more, which ignores it
  }

  static void Finished(emscripten_fetch_t* f) { static_cast<FetchHttp*>(f->userData)->Done(f); }

  void Done(emscripten_fetch_t* f) {
    if (starting_ && !running_) {
      // emscripten_fetch failed synchronously: Pump closes it.
      failedAtStart_ = f;
      HttpResult r;
      r.Error = "the browser cannot make the request";
      done_.push_back({runningId_, std::move(r)});
      return;
    }
    if (f != running_) return;  // aborted or cancelled: nothing to report
    HttpResult r;
    if (f->status == 0) {
      // No reply: the browser ended it at the time limit, or could not reach the server.
      r.Error = emscripten_get_now() - startedMs_ >= kFinishMs - 100 ? TimedOut().Error
                                                                      : "cannot reach the server";
    } else if (f->numBytes > kMaxReplyBytes) {
      r.Error = "the server's reply is too large";
    } else {
      r.Status = f->status;
      r.Ok = r.Status >= 200 && r.Status < 300;
      if (f->data && f->numBytes) r.Body.assign(f->data, static_cast<size_t>(f->numBytes));
    }
    done_.push_back({runningId_, std::move(r)});
    running_ = nullptr;
    emscripten_fetch_close(f);
    Pump();
  }

  std::deque<Job> queue_;
  std::vector<HttpCompletion> done_;
  RequestId next_ = 1;
  emscripten_fetch_t* running_ = nullptr;
  emscripten_fetch_t* failedAtStart_ = nullptr;
  RequestId runningId_ = 0;
  double startedMs_ = 0;
  bool starting_ = false;
  std::string body_;  // the running POST's content
};

}  // namespace

std::string SameOriginTarget(const std::string& url) {
  const size_t colon = url.find("://");
  if (colon == std::string::npos || colon == 0) return url;
  for (size_t i = 0; i < colon; ++i) {
    const char c = url[i];
    if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.')) return url;
  }
  const size_t rest = url.find_first_of("/?#", colon + 3);
  if (rest == std::string::npos) return "/";
  std::string target = url.substr(rest);
  target.erase(std::min(target.find('#'), target.size()));
  if (target.empty() || target[0] != '/') target.insert(0, "/");
  return target;
}

std::unique_ptr<IHttpRequests> MakeFetchHttp() { return std::make_unique<FetchHttp>(); }

}  // namespace tk::platform
