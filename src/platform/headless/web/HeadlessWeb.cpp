// The headless platform's defaults in the browser's build under Node: text drawn from the
// glyph tables the desktop's tinokvak-glyphs made at build time (glyphs.tkg in the folder
// TK_WEB_DATA names, else in the one the build put it in), and no network: every request
// fails at once, as a desktop with no route to the server sees it.
#include <cstdlib>
#include <deque>
#include <exception>
#include <stdexcept>
#include <string>

#include "platform/Files.h"
#include "platform/TableText.h"
#include "platform/Text.h"
#include "platform/headless/Headless.h"

namespace tk::platform {

namespace {

class NoNetwork : public IHttpRequests {
 public:
  RequestId Start(HttpRequest) override {
    const RequestId id = next_++;
    failed_.push_back(id);
    return id;
  }
  std::vector<HttpCompletion> Poll() override {
    std::vector<HttpCompletion> out;
    for (RequestId id : failed_) {
      HttpResult r;
      r.Error = "no network in this build";
      out.push_back({id, std::move(r)});
    }
    failed_.clear();
    return out;
  }
  void Cancel(RequestId id) override { std::erase(failed_, id); }

 private:
  RequestId next_ = 1;
  std::deque<RequestId> failed_;
};

}  // namespace

std::unique_ptr<ITextRenderer> MakeHeadlessText() {
  const char* dir = std::getenv("TK_WEB_DATA");
  const std::string path = std::string(dir && *dir ? dir : TK_WEB_DATA_DIR) + "/glyphs.tkg";
  // Without them every text would be blank: no run is worth that.
  try {
    return MakeTableTextRenderer(ParseGlyphTables(ReadWholeFile(path)));
  } catch (const std::exception& e) {
    throw std::runtime_error(path + ": " + e.what());
  }
}

std::unique_ptr<IHttpRequests> MakeHeadlessHttp() { return std::make_unique<NoNetwork>(); }

HeadlessPlatform::HeadlessPlatform() : HeadlessPlatform(MakeHeadlessText(), MakeHeadlessHttp()) {}

}  // namespace tk::platform
