#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "platform/http/CurlHttp.h"

namespace tk::platform {

namespace {

size_t Collect(char* data, size_t size, size_t count, void* user) {
  auto* out = static_cast<std::string*>(user);
  // Replies are short texts; refuse to buffer a runaway one.
  if (out->size() + size * count > (1u << 20)) return 0;
  out->append(data, size * count);
  return size * count;
}

class CurlHttp : public IHttpRequests {
 public:
  CurlHttp() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    worker_ = std::thread([this] { Work(); });
  }
  ~CurlHttp() override {
    {
      std::lock_guard lock(m_);
      stop_ = true;
      queue_.clear();
    }
    wake_.notify_all();
    worker_.join();  // the transfer in progress sees stop_ at its next progress call
  }

  RequestId Start(HttpRequest request) override {
    std::lock_guard lock(m_);
    const RequestId id = next_++;
    queue_.push_back({id, std::move(request)});
    wake_.notify_all();
    return id;
  }

  std::vector<HttpCompletion> Poll() override {
    std::lock_guard lock(m_);
    std::vector<HttpCompletion> out;
    out.swap(done_);
    return out;
  }

  void Cancel(RequestId id) override {
    std::lock_guard lock(m_);
    std::erase_if(queue_, [id](const Job& j) { return j.Id == id; });
    std::erase_if(done_, [id](const HttpCompletion& c) { return c.Id == id; });
    if (running_ == id) cancelRunning_ = true;
  }

 private:
  struct Job {
    RequestId Id;
    HttpRequest Request;
  };

  void Work() {
    CURL* curl = curl_easy_init();
    if (curl) curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");  // cookies kept in memory
    for (;;) {
      Job job;
      {
        std::unique_lock lock(m_);
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_) break;
        job = std::move(queue_.front());
        queue_.pop_front();
        running_ = job.Id;
        cancelRunning_ = false;
      }
      HttpResult r = Perform(curl, job.Request);
      std::lock_guard lock(m_);
      if (!cancelRunning_ && !stop_) done_.push_back({job.Id, std::move(r)});
      running_ = 0;
    }
    if (curl) curl_easy_cleanup(curl);
  }

  static int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    auto* self = static_cast<CurlHttp*>(user);
    std::lock_guard lock(self->m_);
    return self->stop_ || self->cancelRunning_ ? 1 : 0;  // non-zero aborts the transfer
  }

  // A GET, or a POST of the request's body as bytes.
  HttpResult Perform(CURL* curl, const HttpRequest& req) {
    HttpResult r;
    if (!curl) {
      r.Error = "no HTTP client";
      return r;
    }
    std::string body;
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Accept: text/html, */*");
    if (req.Post) {
      headers = curl_slist_append(headers, "Content-Type: application/octet-stream");
      // The server answers at once; waiting for a "100 Continue" only costs time.
      headers = curl_slist_append(headers, "Expect:");
    } else {
      headers = curl_slist_append(headers, "Content-Type: text/html");
    }
    curl_easy_setopt(curl, CURLOPT_URL, req.Url.c_str());
    if (req.Post) {
      curl_easy_setopt(curl, CURLOPT_POST, 1L);
      curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(req.Body.size()));
      curl_easy_setopt(curl, CURLOPT_POSTFIELDS, req.Body.data());
    } else {
      curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &body);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
    const CURLcode rc = curl_easy_perform(curl);
    curl_slist_free_all(headers);
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, nullptr);
    if (rc != CURLE_OK) {
      // Collect refuses a reply past its limit: say so rather than curl's "failed writing".
      r.Error = rc == CURLE_WRITE_ERROR ? "the reply is larger than 1 MiB" : curl_easy_strerror(rc);
      return r;
    }
    long status = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    r.Status = static_cast<int>(status);
    r.Ok = status >= 200 && status < 300;
    r.Body = std::move(body);
    return r;
  }

  std::mutex m_;
  std::condition_variable wake_;
  std::deque<Job> queue_;
  std::vector<HttpCompletion> done_;
  RequestId next_ = 1;
  RequestId running_ = 0;
  bool cancelRunning_ = false;
  bool stop_ = false;
  std::thread worker_;
};

}  // namespace

std::unique_ptr<IHttpRequests> MakeCurlHttpRequests() { return std::make_unique<CurlHttp>(); }

}  // namespace tk::platform
