#include <curl/curl.h>

#include <mutex>

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

class CurlHttp : public IHttpClient {
 public:
  CurlHttp() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    curl_ = curl_easy_init();
    if (curl_) curl_easy_setopt(curl_, CURLOPT_COOKIEFILE, "");  // cookies kept in memory
  }
  ~CurlHttp() override {
    if (curl_) curl_easy_cleanup(curl_);
  }

  HttpResult Get(const std::string& url) override {
    return Perform(url, nullptr);
  }

  HttpResult Post(const std::string& url, const std::string& content) override {
    return Perform(url, &content);
  }

 private:
  // A GET when content is null, else a POST of it as bytes.
  HttpResult Perform(const std::string& url, const std::string* content) {
    HttpResult r;
    if (!curl_) {
      r.Error = "no HTTP client";
      return r;
    }
    std::string body;
    curl_slist* headers = nullptr;
    headers = curl_slist_append(headers, "Accept: text/html, */*");
    if (content) {
      headers = curl_slist_append(headers, "Content-Type: application/octet-stream");
      // The server answers at once; waiting for a "100 Continue" only costs time.
      headers = curl_slist_append(headers, "Expect:");
    } else {
      headers = curl_slist_append(headers, "Content-Type: text/html");
    }
    curl_easy_setopt(curl_, CURLOPT_URL, url.c_str());
    if (content) {
      curl_easy_setopt(curl_, CURLOPT_POST, 1L);
      curl_easy_setopt(curl_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(content->size()));
      curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, content->data());
    } else {
      curl_easy_setopt(curl_, CURLOPT_HTTPGET, 1L);
    }
    curl_easy_setopt(curl_, CURLOPT_USERAGENT, "Mozilla/3.0 (compatible; Indy Library)");
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl_, CURLOPT_PROXY, "");
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS, 5000L);
    curl_easy_setopt(curl_, CURLOPT_TIMEOUT_MS, 10000L);
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, Collect);
    curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &body);
    const CURLcode rc = curl_easy_perform(curl_);
    curl_slist_free_all(headers);
    curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(curl_, CURLOPT_POSTFIELDS, nullptr);
    if (rc != CURLE_OK) {
      r.Error = curl_easy_strerror(rc);
      return r;
    }
    long status = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &status);
    r.Status = static_cast<int>(status);
    r.Ok = status >= 200 && status < 300;
    r.Body = std::move(body);
    return r;
  }

  CURL* curl_ = nullptr;
};

}  // namespace

std::unique_ptr<IHttpClient> MakeCurlHttpClient() { return std::make_unique<CurlHttp>(); }

}  // namespace tk::platform
