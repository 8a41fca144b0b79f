// The website as a browser and a search engine see it: every page's head, the links
// between the pages, compression and caching, robots.txt and the sitemap, the icon, and
// the release's packages under /download/.
#include <openssl/evp.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>

#include "Downloads.h"
#include "HttpReply.h"
#include "HttpServer.h"
#include "PlayFiles.h"
#include "ScoreService.h"
#include "SitePages.h"
#include "support/GameDir.h"
#include "support/TestStore.h"

namespace tk::testing {
namespace {

namespace fs = std::filesystem;

std::string Gunzip(const std::string& gz) {
  z_stream z{};
  EXPECT_EQ(inflateInit2(&z, 15 + 16), Z_OK);
  std::string out(1 << 20, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gz.data()));
  z.avail_in = static_cast<uInt>(gz.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_FINISH);
  EXPECT_EQ(rc, Z_STREAM_END);
  out.resize(z.total_out);
  inflateEnd(&z);
  return out;
}

std::string Sha256(const std::string& bytes) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha256(), nullptr);
  char hex[3];
  std::string out;
  for (unsigned int i = 0; i < n; ++i) {
    std::snprintf(hex, sizeof hex, "%02x", md[i]);
    out += hex;
  }
  return out;
}

void Write(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
}

// A server with the game's page and a download folder beside it, and the site put
// together for ADDRESS.
struct TSiteServer {
  explicit TSiteServer(const std::string& address = {})
      : store(OpenTestStore(dir)), service(*store, [] { return int64_t{1700000000}; }),
        play((Write(dir.Path() / "play" / "index.html", "<!doctype html><title>play</title>"), dir.Path() / "play")),
        downloads((fs::create_directories(dir.Path() / "download"), dir.Path() / "download")) {
    site = scores::MakeSite(scores::EmbeddedSite(), address);
    site.Play = &play;
    site.Downloads = &downloads;
    service.SetSiteAddress(site.Address);
  }
  std::string Get(const std::string& target, const std::string& headers = {}) {
    return scores::AnswerRaw(service, "GET " + target + " HTTP/1.1\r\nHost: x\r\n" + headers + "\r\n", {}, &site)
        .Reply;
  }

  TempGameDir dir;
  std::unique_ptr<scores::TScoreStore> store;
  scores::TScoreService service;
  scores::TPlayFiles play;
  scores::TDownloads downloads;
  scores::TSite site;
};

const char* const kPages[] = {"/", "/download/", "/cgi/version.pl?prg=Pondlark&type=0&show",
                              "/cgi/version.pl?prg=Pondlark&type=0&show&verified"};

// The content of <meta property|name="KEY" content="...">, or "-" when there is none.
std::string Meta(const std::string& page, const std::string& key) {
  std::smatch m;
  const std::regex re("<meta (?:name|property)=\"" + key + "\" content=\"([^\"]*)\">");
  return std::regex_search(page, m, re) ? m[1].str() : "-";
}

TEST(ScoreServer, EveryPageHasItsHeadAndNoScript) {
  for (const std::string address : {"", "https://tinokvak.example"}) {
    SCOPED_TRACE("address \"" + address + "\"");
    TSiteServer s(address + "/");  // a trailing slash is dropped
    std::set<std::string> titles, descriptions;
    for (const char* path : kPages) {
      SCOPED_TRACE(path);
      const std::string reply = s.Get(path);
      ASSERT_EQ(Status(reply), "200") << reply.substr(0, 300);
      const std::string page = Body(reply);
      EXPECT_EQ(page.find("<script"), std::string::npos);
      EXPECT_EQ(page.find("@SITE@"), std::string::npos);
      std::smatch m;
      ASSERT_TRUE(std::regex_search(page, m, std::regex("<title>([^<]+)</title>")));
      titles.insert(m[1]);
      const std::string description = Meta(page, "description");
      EXPECT_GT(description.size(), 40u) << description;
      descriptions.insert(description);
      EXPECT_EQ(Meta(page, "og:title"), m[1].str());
      EXPECT_EQ(Meta(page, "og:description"), description);
      EXPECT_EQ(Meta(page, "og:image"), address + "/shots/pond.png");
      // og:url only where the site knows its address: a relative one would be wrong.
      const std::string url = Meta(page, "og:url");
      if (address.empty()) {
        EXPECT_EQ(url, "-");
      } else {
        EXPECT_EQ(url.rfind(address + "/", 0), 0u) << url;
      }
      EXPECT_NE(page.find("<link rel=\"icon\" href=\"/favicon.svg\" type=\"image/svg+xml\">"), std::string::npos);
      EXPECT_NE(page.find("<link rel=\"stylesheet\" href=\"/style.css\">"), std::string::npos);
      EXPECT_NE(page.find("href=\"/play/\""), std::string::npos);  // the way to the game
    }
    EXPECT_EQ(titles.size(), std::size(kPages));  // one title each
    EXPECT_EQ(descriptions.size(), 3u);           // the two tables share theirs
  }
}

TEST(ScoreServer, TheHomePageOffersPlayingThenTheDownloadThenTheSource) {
  TSiteServer s;
  const std::string home = Body(s.Get("/"));
  const size_t play = home.find("<a class=\"button play-button\" href=\"/play/\">Играть</a>");
  const size_t install = home.find("<section id=\"install\">");
  const size_t download = home.find("href=\"/download/\"", install);
  const size_t source = home.find("id=\"source\"", install);
  ASSERT_NE(play, std::string::npos);
  EXPECT_LT(play, install);
  ASSERT_NE(download, std::string::npos);
  ASSERT_NE(source, std::string::npos);
  EXPECT_LT(download, source);
}

// Every link and picture on every page leads somewhere that answers 200.
TEST(ScoreServer, EveryLinkOnEveryPageAnswers) {
  TSiteServer s("https://tinokvak.example");
  Write(s.dir.Path() / "download" / "tinokvak_1.0.0_amd64.deb", "package");
  std::set<std::string> seen, targets;
  for (const char* path : kPages) {
    const std::string page = Body(s.Get(path));
    const std::regex link("(?:href|src)=\"([^\"]*)\"");
    for (auto it = std::sregex_iterator(page.begin(), page.end(), link); it != std::sregex_iterator(); ++it) {
      std::string target = (*it)[1];
      if (target.rfind("/", 0) != 0) {
        EXPECT_EQ(target[0], '#') << path << " links to " << target;  // no other site
        continue;
      }
      target = target.substr(0, target.find('#'));
      target = std::regex_replace(target, std::regex("&amp;"), "&");
      targets.insert(target);
    }
  }
  for (const std::string& t : targets) {
    SCOPED_TRACE(t);
    EXPECT_EQ(Status(s.Get(t)), "200");
  }
  for (const char* t : {"/play/", "/download/", "/download/tinokvak_1.0.0_amd64.deb", "/favicon.svg",
                        "/shots/pond.png", "/style.css"})
    EXPECT_TRUE(targets.count(t)) << t << " is linked from no page";
  for (const char* t : {"/robots.txt", "/sitemap.xml"}) EXPECT_EQ(Status(s.Get(t)), "200") << t;
}

TEST(ScoreServer, PagesAndStylesGoCompressedToWhoTakesItAndAreCachedRightly) {
  TSiteServer s;
  const std::string gzip = "Accept-Encoding: gzip, deflate\r\n";
  for (const char* path : {"/", "/style.css", "/favicon.svg", "/download/", "/cgi/version.pl?prg=Pondlark&type=0&show"}) {
    SCOPED_TRACE(path);
    const std::string plain = s.Get(path), packed = s.Get(path, gzip),
                      refused = s.Get(path, "Accept-Encoding: gzip;q=0\r\n");
    ASSERT_EQ(Status(packed), "200");
    EXPECT_EQ(Header(plain, "Content-Encoding"), "");
    EXPECT_EQ(Header(refused, "Content-Encoding"), "");
    EXPECT_EQ(Header(packed, "Content-Encoding"), "gzip");
    EXPECT_EQ(Header(packed, "Vary"), "Accept-Encoding");
    EXPECT_EQ(Header(plain, "Vary"), "Accept-Encoding");
    EXPECT_EQ(Gunzip(Body(packed)), Body(plain));
    EXPECT_LT(Body(packed).size(), Body(plain).size());
    EXPECT_EQ(Header(packed, "Content-Length"), std::to_string(Body(packed).size()));
  }
  // The built-in files: cached an hour, each form its own tag, confirmed by it.
  const std::string packed = s.Get("/", gzip), plain = s.Get("/");
  EXPECT_EQ(Header(packed, "Cache-Control"), "max-age=3600");
  ASSERT_NE(Header(packed, "ETag"), Header(plain, "ETag"));
  const std::string same = s.Get("/", gzip + "If-None-Match: " + Header(packed, "ETag") + "\r\n");
  EXPECT_EQ(Status(same), "304");
  EXPECT_EQ(Body(same), "");
  EXPECT_EQ(Status(s.Get("/", "If-None-Match: " + Header(packed, "ETag") + "\r\n")), "200");
  // Pictures are compressed already; the table changes with every result.
  EXPECT_EQ(Header(s.Get("/shots/pond.png", gzip), "Content-Encoding"), "");
  EXPECT_EQ(Header(s.Get("/cgi/version.pl?prg=Pondlark&type=0&show"), "Cache-Control"), "no-store");
  // The security headers stay, and still allow what the pages use.
  const std::string csp = Header(plain, "Content-Security-Policy");
  EXPECT_NE(csp.find("default-src 'none'"), std::string::npos);
  EXPECT_NE(csp.find("img-src 'self'"), std::string::npos);
  EXPECT_NE(csp.find("style-src 'self'"), std::string::npos);
}

TEST(ScoreServer, RobotsSitemapAndTheIcon) {
  {
    TSiteServer s;
    const std::string robots = s.Get("/robots.txt");
    EXPECT_EQ(Header(robots, "Content-Type"), "text/plain; charset=utf-8");
    EXPECT_NE(Body(robots).find("User-agent: *\n"), std::string::npos);
    EXPECT_NE(Body(robots).find("Disallow: /cgi/replay.pl\n"), std::string::npos);
    EXPECT_EQ(Body(robots).find("Sitemap"), std::string::npos);  // it needs the address
    EXPECT_EQ(Status(s.Get("/sitemap.xml")), "404");
    const std::string svg = s.Get("/favicon.svg");
    EXPECT_EQ(Header(svg, "Content-Type"), "image/svg+xml");
    EXPECT_NE(Body(svg).find("<svg"), std::string::npos);
    // The icon file browsers ask for by themselves, where the build renders the icon.
    if (scores::BuiltInSite().Find("/favicon.ico")) {
      const std::string ico = Body(s.Get("/favicon.ico"));
      ASSERT_GT(ico.size(), 22u + 8u);
      EXPECT_EQ(ico.substr(0, 6), std::string("\0\0\1\0\1\0", 6));
      EXPECT_EQ(ico[6], 32);  // 32 pixels wide
      EXPECT_EQ(ico.substr(22, 4), "\x89PNG");
      const uint32_t size = static_cast<uint8_t>(ico[14]) | static_cast<uint8_t>(ico[15]) << 8 |
                            static_cast<uint8_t>(ico[16]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(ico[17])) << 24;
      EXPECT_EQ(size, ico.size() - 22);
    }
  }
  TSiteServer s("https://tinokvak.example");
  EXPECT_NE(Body(s.Get("/robots.txt")).find("Sitemap: https://tinokvak.example/sitemap.xml\n"), std::string::npos);
  const std::string map = Body(s.Get("/sitemap.xml"));
  for (const char* loc : {"<loc>https://tinokvak.example/</loc>", "<loc>https://tinokvak.example/play/</loc>",
                          "<loc>https://tinokvak.example/download/</loc>"})
    EXPECT_NE(map.find(loc), std::string::npos) << loc;
  // An address that is none is not put into pages.
  for (const char* bad : {"tinokvak.example", "javascript:alert(1)", "https://x\"><script>", "http://"})
    EXPECT_EQ(scores::NormalSiteAddress(bad), "") << bad;
}

TEST(ScoreServer, TheDownloadPageListsThePackagesWithTheirSizesAndDigests) {
  TSiteServer s;
  EXPECT_NE(Body(s.Get("/download/")).find("Пакетов этого выпуска на сервере пока нет"), std::string::npos);
  const fs::path d = s.dir.Path() / "download";
  const std::string deb(3000, 'd'), tarball = "tar bytes";
  Write(d / "tinokvak_1.0.0_amd64.deb", deb);
  Write(d / "tinokvak-1.0.0.tar.gz", tarball);
  Write(d / ".hidden", "secret");
  Write(d / "sub" / "inner.deb", "inner");
  Write(s.dir.Path() / "outside.deb", "outside");
  fs::create_symlink(s.dir.Path() / "outside.deb", d / "link-out.deb");
  fs::create_symlink(d / "tinokvak_1.0.0_amd64.deb", d / "link-in.deb");
  Write(d / "with space.deb", "x");

  const std::string page = Body(s.Get("/download/"));
  EXPECT_NE(page.find("<a href=\"/download/tinokvak_1.0.0_amd64.deb\" download>"), std::string::npos) << page;
  EXPECT_NE(page.find(Sha256(deb)), std::string::npos);
  EXPECT_NE(page.find(Sha256(tarball)), std::string::npos);
  EXPECT_NE(page.find("2,9 КБ"), std::string::npos);
  EXPECT_NE(page.find("3000 байт"), std::string::npos);
  EXPECT_NE(page.find("link-in.deb"), std::string::npos);  // a symlink inside is a file here
  for (const char* hidden : {".hidden", "inner", "link-out", "with space", "outside"})
    EXPECT_EQ(page.find(hidden), std::string::npos) << hidden;
  EXPECT_LT(page.find("tinokvak-1.0.0.tar.gz"), page.find("tinokvak_1.0.0_amd64.deb"));  // by name

  const std::string file = s.Get("/download/tinokvak_1.0.0_amd64.deb");
  ASSERT_EQ(Status(file), "200");
  EXPECT_EQ(Body(file), deb);
  EXPECT_EQ(Header(file, "Content-Type"), "application/vnd.debian.binary-package");
  EXPECT_EQ(Header(file, "ETag"), "\"" + Sha256(deb).substr(0, 32) + "\"");
  EXPECT_EQ(Status(s.Get("/download/tinokvak_1.0.0_amd64.deb", "If-None-Match: " + Header(file, "ETag") + "\r\n")),
            "304");
  EXPECT_EQ(Header(s.Get("/download/tinokvak-1.0.0.tar.gz"), "Content-Type"), "application/gzip");
  EXPECT_EQ(Status(s.Get("/download")), "301");

  for (const char* bad : {"/download/.hidden", "/download/sub", "/download/sub/inner.deb", "/download/link-out.deb",
                          "/download/../outside.deb", "/download/%2e%2e%2foutside.deb", "/download/with%20space.deb",
                          "/download/nothing.deb", "/download/%00", "/download/tinokvak_1.0.0_amd64.deb%2f",
                          "/download//etc/passwd"}) {
    SCOPED_TRACE(bad);
    const std::string r = s.Get(bad);
    EXPECT_EQ(Status(r), "404") << r.substr(0, 200);
    EXPECT_EQ(Body(r).find("secret"), std::string::npos);
  }

  // A package replaced by a new build: the next look tells the new size and digest.
  const std::string rebuilt(5000, 'n');
  Write(d / "tinokvak_1.0.0_amd64.deb", rebuilt);
  const std::string again = Body(s.Get("/download/"));
  EXPECT_NE(again.find(Sha256(rebuilt)), std::string::npos);
  EXPECT_EQ(again.find(Sha256(deb)), std::string::npos);
  EXPECT_EQ(Body(s.Get("/download/tinokvak_1.0.0_amd64.deb")), rebuilt);
  fs::remove(d / "tinokvak-1.0.0.tar.gz");
  EXPECT_EQ(Body(s.Get("/download/")).find("tar.gz"), std::string::npos);
}

TEST(ScoreServer, TheDownloadFolderIsFoundBesideTheBuildOrTheInstallation) {
  TempGameDir dir;
  const fs::path top = dir.Path();
  std::vector<fs::path> tried;
  EXPECT_FALSE(scores::FindDownloadDir(top / "build", tried));
  EXPECT_EQ(tried, (std::vector<fs::path>{top / "build" / "download", top / "share" / "tinokvak" / "download"}));
  fs::create_directories(top / "share" / "tinokvak" / "download");
  tried.clear();
  EXPECT_EQ(scores::FindDownloadDir(top / "bin", tried), top / "share" / "tinokvak" / "download");
  EXPECT_EQ(tried, std::vector<fs::path>{top / "share" / "tinokvak" / "download"});  // no build beside bin/
  fs::create_directories(top / "build" / "download");
  tried.clear();
  EXPECT_EQ(scores::FindDownloadDir(top / "build", tried), top / "build" / "download");
  // The game's page likewise: an installed program looks where the package puts it.
  tried.clear();
  EXPECT_FALSE(scores::FindPlayDir(top / "bin", tried));
  EXPECT_EQ(tried, std::vector<fs::path>{top / "share" / "tinokvak" / "play"});
}

}  // namespace
}  // namespace tk::testing
