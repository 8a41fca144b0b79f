// Raw bytes as the score server reads them from a socket. Whatever arrives, the answer is
// a well-formed reply with a status the server means to give, a refused request closes the
// connection, and the parser never claims more bytes than it was given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "Downloads.h"
#include "HttpServer.h"
#include "PlayFiles.h"
#include "ScoreService.h"

namespace {

tk::scores::TScoreStore& Store() {
  static tk::scores::TSqliteStore store(":memory:");
  return store;
}

// A game page folder to serve under /play/ and a download folder under /download/, with a
// file beside them and symlinks to that file inside: no request may bring "SECRET" back.
const tk::scores::TSite& Site() {
  static const tk::scores::TSite site = [] {
    namespace fs = std::filesystem;
    std::string tmpl = (fs::temp_directory_path() / "tk-fuzz-play-XXXXXX").string();
    static const fs::path top = mkdtemp(tmpl.data());
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(top, ignored);
    });
    fs::create_directories(top / "play" / "Data");
    std::ofstream(top / "play" / "index.html") << "<!doctype html><title>play</title>" << std::string(500, ' ');
    std::ofstream(top / "play" / "Data" / "x.dxg") << "archive";
    std::ofstream(top / "play" / ".hidden") << "SECRET";
    std::ofstream(top / "outside.txt") << "SECRET";
    std::error_code ec;
    fs::create_symlink(top / "outside.txt", top / "play" / "leak.txt", ec);
    fs::create_directories(top / "download");
    std::ofstream(top / "download" / "tinokvak_1.0.0_amd64.deb") << "package";
    std::ofstream(top / "download" / ".hidden") << "SECRET";
    fs::create_symlink(top / "outside.txt", top / "download" / "leak.deb", ec);
    static const tk::scores::TPlayFiles play(top / "play");
    static const tk::scores::TDownloads downloads(top / "download");
    tk::scores::TSite s;
    s.Play = &play;
    s.Downloads = &downloads;
    return s;
  }();
  return site;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  tk::scores::TScoreService service(Store(), [] { return int64_t{1700000000}; });
  // Small limits, so that the fuzzer reaches them with short inputs too.
  tk::scores::TServerLimits limits;
  limits.HeaderBytes = 512;
  limits.BodyBytes = 64;
  const tk::scores::TRawExchange r = tk::scores::AnswerRaw(service, input, limits, &Site());
  if (r.Reply.empty()) return 0;  // an incomplete request waits for more
  if (r.Used > size) __builtin_trap();
  if (r.Reply.rfind("HTTP/1.1 ", 0) != 0 || r.Reply.find("\r\n\r\n") == std::string::npos)
    __builtin_trap();
  const int status = std::stoi(r.Reply.substr(9, 3));
  switch (status) {
    case 200: case 301: case 304: case 400: case 403: case 404: case 405: case 413: case 414: case 431: break;
    default: __builtin_trap();
  }
  if ((status == 431 || status == 413) && r.KeepAlive) __builtin_trap();
  // The table page is the only HTML and never carries markup from a request.
  if (r.Reply.find("<script") != std::string::npos) __builtin_trap();
  // Nothing outside the page's and the packages' folders, nor their hidden files, is ever
  // served.
  if (r.Reply.find("SECRET") != std::string::npos) __builtin_trap();
  return 0;
}
