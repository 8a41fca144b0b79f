// The browser game's page under /play/: the files of one folder with their types, gzip
// when the client takes it, validators, and nothing outside the folder whatever the path.
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "HttpServer.h"
#include "PlayFiles.h"
#include "ScoreService.h"
#include "ScoreStore.h"

namespace tk::testing {
namespace {

namespace fs = std::filesystem;

struct TempDir {
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "tk-play-XXXXXX").string();
    path = mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

void Write(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

std::string Noise(size_t n) {
  std::mt19937 rng(7);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

std::string Gunzip(const std::string& gz) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  std::string out;
  char buf[65536];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
  z.avail_in = static_cast<uInt>(gz.size());
  int rc = Z_OK;
  while (rc == Z_OK) {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
  }
  inflateEnd(&z);
  EXPECT_EQ(rc, Z_STREAM_END);
  return out;
}

struct Reply {
  int Status = 0;
  std::map<std::string, std::string> Headers;  // names lower-cased
  std::string Body;
  bool Has(const std::string& h) const { return Headers.count(h) > 0; }
  std::string operator[](const std::string& h) const {
    auto it = Headers.find(h);
    return it == Headers.end() ? std::string() : it->second;
  }
};

Reply Parse(const std::string& raw) {
  Reply r;
  const size_t end = raw.find("\r\n\r\n");
  EXPECT_NE(end, std::string::npos) << raw.substr(0, 200);
  if (end == std::string::npos) return r;
  r.Status = std::stoi(raw.substr(9, 3));
  size_t at = raw.find("\r\n") + 2;
  while (at < end) {
    const size_t eol = raw.find("\r\n", at);
    const std::string line = raw.substr(at, eol - at);
    const size_t colon = line.find(':');
    std::string name = line.substr(0, colon);
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    r.Headers[name] = line.substr(line.find_first_not_of(' ', colon + 1));
    at = eol + 2;
  }
  r.Body = raw.substr(end + 4);
  return r;
}

// A page folder as the browser build makes it, and a secret beside it that no request
// may reach.
struct PlayServer {
  PlayServer() : service(store, [] { return int64_t{1700000000}; }) {
    root = top.path / "play";
    Write(root / "index.html", "<!doctype html><title>Тиноквак</title>" + std::string(2000, ' ') + "</html>");
    Write(root / "tinokvak.js", "var Module = {};\n" + std::string(3000, ';'));
    Write(root / "tinokvak.wasm", std::string("\0asm\1\0\0\0", 8) + std::string(5000, '\0'));
    Write(root / "Data" / "Graphic.dxg", Noise(4000));  // archives do not compress
    Write(root / "data" / "glyphs.tkg", std::string(6000, 'g'));
    Write(root / "style.css", "body{margin:0}" + std::string(500, ' '));
    Write(root / "shot.png", "\x89PNG" + std::string(1000, '\0'));
    Write(root / "tiny.json", "{}");
    // As the build names the files the page loads: their content's hash in the name.
    Write(root / "tinokvak.0123456789abcdef.wasm", std::string("\0asm\1\0\0\0", 8) + std::string(5000, '\0'));
    Write(root / "game" / "Data" / "Graphic.89abcdef01234567.dxg", Noise(4000));
    Write(root / "game" / "Readme.0123456789abcdef", "read me");
    Write(root / ".secret", "SECRET-HIDDEN");
    Write(top.path / "outside.txt", "SECRET-OUTSIDE");
    fs::create_directories(top.path / "elsewhere");
    Write(top.path / "elsewhere" / "index.html", "SECRET-ELSEWHERE");
    fs::create_symlink(top.path / "outside.txt", root / "leak.txt");
    fs::create_symlink(top.path / "elsewhere", root / "away");
    fs::create_symlink("../tinokvak.js", root / "data" / "same.js");  // stays inside
    play = std::make_unique<scores::TPlayFiles>(root);
    site.Play = play.get();
  }

  Reply Ask(const std::string& method, const std::string& target, const std::string& headers = "") {
    return Parse(scores::AnswerRaw(service, method + " " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n", {},
                                   &site).Reply);
  }
  Reply Get(const std::string& target, const std::string& headers = "") { return Ask("GET", target, headers); }

  TempDir top;
  fs::path root;
  scores::TSqliteStore store{":memory:"};
  scores::TScoreService service;
  std::unique_ptr<scores::TPlayFiles> play;
  scores::TSite site;
};

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(PlayPage, FilesComeWithTheirTypesAndGzipWhenTakenAndWorthIt) {
  PlayServer s;
  struct Case {
    const char* Path;
    const char* File;
    const char* Type;
    bool Compressed;
  };
  const Case cases[] = {
      {"/play/", "index.html", "text/html; charset=utf-8", true},
      {"/play/index.html", "index.html", "text/html; charset=utf-8", true},
      {"/play/tinokvak.js", "tinokvak.js", "text/javascript; charset=utf-8", true},
      {"/play/tinokvak.wasm", "tinokvak.wasm", "application/wasm", true},
      {"/play/data/glyphs.tkg", "data/glyphs.tkg", "application/octet-stream", true},
      {"/play/Data/Graphic.dxg", "Data/Graphic.dxg", "application/octet-stream", false},
      {"/play/style.css", "style.css", "text/css; charset=utf-8", true},
      {"/play/shot.png", "shot.png", "image/png", false},
      {"/play/tiny.json", "tiny.json", "application/json", false},
      {"/play/data/same.js", "tinokvak.js", "text/javascript; charset=utf-8", true},
      {"/play/%74inokvak.js?v=2", "tinokvak.js", "text/javascript; charset=utf-8", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Path);
    const std::string bytes = Slurp(s.root / c.File);
    const Reply gz = s.Get(c.Path, "Accept-Encoding: deflate, gzip;q=0.8, br\r\n");
    ASSERT_EQ(gz.Status, 200) << gz.Body;
    EXPECT_EQ(gz["content-type"], c.Type);
    EXPECT_EQ(gz["content-encoding"] == "gzip", c.Compressed);
    EXPECT_EQ(gz["vary"] == "Accept-Encoding", c.Compressed);
    EXPECT_EQ(c.Compressed ? Gunzip(gz.Body) : gz.Body, bytes);
    if (c.Compressed) {
      EXPECT_LT(gz.Body.size(), bytes.size());
    }
    EXPECT_EQ(gz["cache-control"], "no-cache");
    EXPECT_NE(gz["content-security-policy"].find("'wasm-unsafe-eval'"), std::string::npos);
    // A client that takes no gzip, or refuses it, gets the bytes as they are.
    for (const char* accept : {"", "Accept-Encoding: identity\r\n", "Accept-Encoding: gzip;q=0, br\r\n"}) {
      const Reply plain = s.Get(c.Path, accept);
      EXPECT_EQ(plain.Status, 200);
      EXPECT_FALSE(plain.Has("content-encoding")) << accept;
      EXPECT_EQ(plain.Body, bytes) << accept;
      EXPECT_EQ(plain["content-length"], std::to_string(bytes.size()));
    }
  }
}

TEST(PlayPage, FilesNamedByTheirHashAreKeptForGoodThePageIsAskedForEveryTime) {
  PlayServer s;
  const std::pair<const char*, const char*> cases[] = {
      {"/play/", "no-cache"},
      {"/play/index.html", "no-cache"},
      {"/play/tinokvak.js", "no-cache"},
      {"/play/data/glyphs.tkg", "no-cache"},
      {"/play/tinokvak.0123456789abcdef.wasm", "public, max-age=31536000, immutable"},
      {"/play/game/Data/Graphic.89abcdef01234567.dxg", "public, max-age=31536000, immutable"},
      {"/play/game/Readme.0123456789abcdef", "public, max-age=31536000, immutable"},
  };
  for (const auto& [path, cache] : cases) {
    SCOPED_TRACE(path);
    const Reply r = s.Get(path, "Accept-Encoding: gzip\r\n");
    ASSERT_EQ(r.Status, 200) << r.Body;
    EXPECT_EQ(r["cache-control"], cache);
    // Either way a browser's copy is confirmed by its tag.
    const Reply again = s.Get(path, "Accept-Encoding: gzip\r\nIf-None-Match: " + r["etag"] + "\r\n");
    EXPECT_EQ(again.Status, 304);
    EXPECT_EQ(again["cache-control"], cache);
  }
  EXPECT_EQ(s.Get("/play/tinokvak.0123456789abcdef.wasm")["content-type"], "application/wasm");
  // Refusals are never kept.
  EXPECT_EQ(s.Get("/play/tinokvak.fedcba9876543210.wasm")["cache-control"], "no-store");
}

TEST(PlayPage, AHashedNameIsSixteenLowercaseHexDigitsBeforeAtMostOneExtension) {
  const std::pair<const char*, bool> cases[] = {
      {"tinokvak.0123456789abcdef.wasm", true},
      {"game/Data/Graphic.89abcdef01234567.dxg", true},
      {"game/Readme.0123456789abcdef", true},
      {"a.b.0123456789abcdef.js", true},
      {"tinokvak.js", false},
      {"index.html", false},
      {"tinokvak.0123456789ABCDEF.wasm", false},   // not as the build writes it
      {"tinokvak.0123456789abcde.wasm", false},    // 15 digits
      {"tinokvak.0123456789abcdef0.wasm", false},  // 17
      {"tinokvak.0123456789abcdeg.wasm", false},
      {".0123456789abcdef", false},
      {"0123456789abcdef", false},
      {".0123456789abcdef.js", false},
      {"x.0123456789abcdef.tar.gz", false},
      {"0123456789abcdef.0123456789abcdef/index.html", false},
      {"x.0123456789abcdef.", false},
      {"", false},
  };
  for (const auto& [name, hashed] : cases) EXPECT_EQ(scores::IsHashedName(name), hashed) << name;
}

TEST(PlayPage, ValidatorsConfirmACopyUntilTheFileChanges) {
  PlayServer s;
  const std::string js = "/play/tinokvak.js";
  const Reply first = s.Get(js, "Accept-Encoding: gzip\r\n");
  const Reply plain = s.Get(js);
  ASSERT_EQ(first.Status, 200);
  ASSERT_FALSE(first["etag"].empty());
  // The two representations have tags of their own.
  EXPECT_NE(first["etag"], plain["etag"]);
  const Reply same = s.Get(js, "Accept-Encoding: gzip\r\nIf-None-Match: \"x\", " + first["etag"] + "\r\n");
  EXPECT_EQ(same.Status, 304);
  EXPECT_TRUE(same.Body.empty());
  EXPECT_EQ(same["etag"], first["etag"]);
  EXPECT_EQ(s.Get(js, "If-None-Match: " + first["etag"] + "\r\n").Status, 200);  // the gzip tag, asked plain
  EXPECT_EQ(s.Get(js, "If-Modified-Since: " + first["last-modified"] + "\r\n").Status, 304);
  EXPECT_EQ(s.Get(js, "If-Modified-Since: Thu, 01 Jan 1970 00:00:00 GMT\r\n").Status, 200);
  // HEAD: the GET's header, its length included, without the body.
  const Reply head = s.Ask("HEAD", js, "Accept-Encoding: gzip\r\n");
  EXPECT_EQ(head.Status, 200);
  EXPECT_TRUE(head.Body.empty());
  EXPECT_EQ(head["content-length"], std::to_string(first.Body.size()));
  // A rebuilt page is served anew, even of the same size.
  const std::string rebuilt = "var Module = {rebuilt:1};" + std::string(2992, ';');
  ASSERT_EQ(rebuilt.size(), Slurp(s.root / "tinokvak.js").size());
  const auto built = fs::last_write_time(s.root / "tinokvak.js");
  Write(s.root / "tinokvak.js", rebuilt);
  fs::last_write_time(s.root / "tinokvak.js", built + std::chrono::seconds(1));
  const Reply again = s.Get(js, "If-None-Match: " + plain["etag"] + "\r\n");
  EXPECT_EQ(again.Status, 200);
  EXPECT_EQ(again.Body, rebuilt);
  EXPECT_NE(again["etag"], plain["etag"]);
}

TEST(PlayPage, NoPathLeadsOutOfTheFolderOrListsIt) {
  PlayServer s;
  const char* hostile[] = {
      "/play/../outside.txt",         "/play/..%2foutside.txt",       "/play/%2e%2e/outside.txt",
      "/play/%2E%2e%2Foutside.txt",   "/play/data/../../outside.txt", "/play/./index.html",
      "/play//etc/passwd",            "/play/%2fetc%2fpasswd",        "/play/%2Fetc/passwd",
      "/play/..\\outside.txt",        "/play/%5c..%5coutside.txt",    "/play/leak.txt",
      "/play/away/",                  "/play/away/index.html",        "/play/.secret",
      "/play/%2esecret",              "/play/Data",                   "/play/Data/",
      "/play/data/",                  "/play/%00",                    "/play/index.html%00.png",
      "/play/%zz",                    "/play/%",                      "/play/%2",
      "/play/\x7f",                   "/play/%0a",                    "/play/nothing-here.js",
      "/play/index.html/",            "/play/~/outside.txt",          "/play/tinokvak.js/..",
  };
  for (const char* path : hostile) {
    SCOPED_TRACE(path);
    for (const char* method : {"GET", "HEAD"}) {
      const Reply r = s.Ask(method, path);
      EXPECT_TRUE(r.Status == 400 || r.Status == 404) << r.Status;
      EXPECT_EQ(r.Body.find("SECRET"), std::string::npos);
      EXPECT_EQ(r.Body.find("tinokvak.js"), std::string::npos);  // no listing
    }
  }
  // What is inside answers, its name as given.
  EXPECT_EQ(s.Get("/play/data/glyphs.tkg").Status, 200);
}

TEST(PlayPage, TheBareNameMovesToTheFolderAndOnlyGetAndHeadAreServed) {
  PlayServer s;
  const Reply moved = s.Get("/play");
  EXPECT_EQ(moved.Status, 301);
  EXPECT_EQ(moved["location"], "/play/");
  const Reply post = s.Ask("POST", "/play/index.html");
  EXPECT_EQ(post.Status, 405);
  EXPECT_EQ(post["allow"], "GET, HEAD");
  // The rest of the site is as before: its own strict policy, no page scripts.
  EXPECT_EQ(s.Get("/playground").Status, 404);
}

TEST(PlayPage, WithoutAFolderThePageAnswers404Plainly) {
  PlayServer s;
  for (scores::TPlayFiles* none :
       {static_cast<scores::TPlayFiles*>(nullptr), new scores::TPlayFiles(fs::path()),
        new scores::TPlayFiles(s.top.path / "missing")}) {
    std::unique_ptr<scores::TPlayFiles> owned(none);
    s.site.Play = none;
    const Reply r = s.Get("/play/");
    EXPECT_EQ(r.Status, 404);
    EXPECT_NE(r.Body.find("not installed"), std::string::npos) << r.Body;
    EXPECT_EQ(s.Get("/play/index.html").Status, 404);
  }
}

TEST(PlayPage, TheFolderIsFoundBesideTheBuildOrTheInstallation) {
  TempDir t;
  std::vector<fs::path> tried;
  // Neither: both places are named.
  EXPECT_FALSE(scores::FindPlayDir(t.path / "build", tried));
  ASSERT_EQ(tried.size(), 2u);
  EXPECT_EQ(tried[0], t.path / "build-web" / "play");
  EXPECT_EQ(tried[1], t.path / "share" / "tinokvak" / "play");
  // An installation: bin/ beside share/tinokvak/play.
  Write(t.path / "share" / "tinokvak" / "play" / "index.html", "x");
  tried.clear();
  EXPECT_EQ(scores::FindPlayDir(t.path / "bin", tried), t.path / "share" / "tinokvak" / "play");
  // A build: build/ beside build-web/play, which wins; a folder without its page does not count.
  fs::create_directories(t.path / "build-web" / "play");
  EXPECT_EQ(scores::FindPlayDir(t.path / "build", tried), t.path / "share" / "tinokvak" / "play");
  Write(t.path / "build-web" / "play" / "index.html", "x");
  EXPECT_EQ(scores::FindPlayDir(t.path / "build", tried), t.path / "build-web" / "play");
  EXPECT_FALSE(scores::FindPlayDir(fs::path(), tried));
}

TEST(PlayPage, PreparingAheadTakesEveryFileServedAndNothingElse) {
  PlayServer s;
  // The eleven files and the symlink inside; not the hidden file, the link leading out or
  // the linked folder outside.
  EXPECT_EQ(s.play->Prepare(), 12u);
  std::atomic<bool> stop{true};
  EXPECT_EQ(s.play->Prepare(&stop), 0u);
  EXPECT_EQ(scores::TPlayFiles(fs::path()).Prepare(), 0u);
  // What was prepared is served as before.
  EXPECT_EQ(Gunzip(s.Get("/play/tinokvak.js", "Accept-Encoding: gzip\r\n").Body), Slurp(s.root / "tinokvak.js"));
}

TEST(PlayPage, AcceptEncodingIsReadAsHttpSays) {
  const std::pair<const char*, bool> cases[] = {
      {"gzip", true},         {"GZIP", true},          {"deflate, gzip", true}, {"gzip;q=0.5", true},
      {"gzip; q=0", false},   {"gzip;q=0.000", false}, {"*", true},             {"*;q=0", false},
      {"x-gzip", true},       {"br, deflate", false},  {"", false},             {"gzipx", false},
      {"identity", false},    {" gzip ", true},
  };
  for (const auto& [value, want] : cases) EXPECT_EQ(scores::AcceptsGzip(value), want) << value;
}

}  // namespace
}  // namespace tk::testing
