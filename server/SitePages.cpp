#include "SitePages.h"

#include <cstdio>
#include <stdexcept>

#include "PlayFiles.h"
#include "ScoreService.h"

namespace tk::scores {

namespace {

void ReplaceAll(std::string& text, std::string_view what, std::string_view with) {
  for (size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += with.size())
    text.replace(at, what.size(), with);
}

// Lines holding NEEDLE dropped.
std::string DropLines(std::string_view text, std::string_view needle) {
  std::string out;
  while (!text.empty()) {
    const size_t nl = text.find('\n');
    const std::string_view line = text.substr(0, nl == std::string_view::npos ? text.size() : nl + 1);
    if (line.find(needle) == std::string_view::npos) out += line;
    text.remove_prefix(line.size());
  }
  return out;
}

bool IsText(std::string_view type) {
  return type.rfind("text/", 0) == 0 || type == "image/svg+xml" || type == "application/xml";
}

}  // namespace

std::string BytesTag(std::string_view bytes, std::string_view suffix) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
  char buf[24];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return "\"" + std::string(buf) + std::string(suffix) + "\"";
}

std::string QuickGzip(std::string_view data) { return GzipBytes(data, 6); }

std::string NormalSiteAddress(std::string_view given) {
  std::string a(given);
  while (!a.empty() && a.back() == '/') a.pop_back();
  const size_t scheme = a.rfind("https://", 0) == 0 ? 8 : a.rfind("http://", 0) == 0 ? 7 : 0;
  if (scheme == 0 || a.size() == scheme) return {};
  // An origin, perhaps with a path: nothing that would break out of an attribute.
  for (unsigned char c : a)
    if (c <= ' ' || c == '"' || c == '\'' || c == '<' || c == '>' || c == '\\' || c >= 0x7f) return {};
  return a;
}

std::string PageHead(const TPageMeta& page, std::string_view address) {
  const std::string title = HtmlEscape(page.Title), description = HtmlEscape(page.Description);
  const std::string site = HtmlEscape(address);
  std::string h =
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>" + title + "</title>\n"
      "<meta name=\"description\" content=\"" + description + "\">\n"
      "<meta property=\"og:type\" content=\"website\">\n"
      "<meta property=\"og:site_name\" content=\"Тиноквак\">\n"
      "<meta property=\"og:locale\" content=\"ru_RU\">\n"
      "<meta property=\"og:title\" content=\"" + title + "\">\n"
      "<meta property=\"og:description\" content=\"" + description + "\">\n"
      "<meta property=\"og:image\" content=\"" + site + "/shots/pond.png\">\n"
      "<meta property=\"og:image:width\" content=\"400\">\n"
      "<meta property=\"og:image:height\" content=\"300\">\n"
      "<meta property=\"og:image:alt\" content=\"Лягушонок на кувшинках пруда\">\n";
  if (!address.empty())
    h += "<meta property=\"og:url\" content=\"" + site + HtmlEscape(page.Path) + "\">\n";
  h += "<link rel=\"icon\" href=\"/favicon.svg\" type=\"image/svg+xml\">\n"
       "<link rel=\"stylesheet\" href=\"/style.css\">\n";
  return h;
}

TSite MakeSite(const TSite& embedded, std::string_view givenAddress) {
  const std::string address = NormalSiteAddress(givenAddress);
  auto owned = std::make_shared<std::deque<std::string>>();
  auto keep = [&](std::string s) -> std::string_view { return owned->emplace_back(std::move(s)); };
  TSite site;
  site.Address = address;
  site.Play = embedded.Play;
  site.Downloads = embedded.Downloads;
  auto add = [&](std::string_view path, std::string_view type, std::string_view bytes) {
    TSiteFile f{path, type, bytes};
    f.ETag = keep(BytesTag(bytes));
    if (IsText(type) && bytes.size() > 256) {
      std::string gz = GzipBytes(bytes);
      if (gz.size() < bytes.size() - bytes.size() / 10) {
        f.Gzipped = keep(std::move(gz));
        f.GzipETag = keep(BytesTag(bytes, "-gzip"));
      }
    }
    site.Files.push_back(f);
  };
  for (const TSiteFile& f : embedded.Files) {
    if (f.ContentType != "text/html") {
      add(f.Path, f.ContentType, f.Bytes);
      continue;
    }
    std::string page(f.Bytes);
    if (address.empty()) page = DropLines(page, "property=\"og:url\"");
    ReplaceAll(page, "@SITE@", HtmlEscape(address));
    add(f.Path, f.ContentType, keep(std::move(page)));
  }
  // For the crawlers: everything but the upload and the replays' bytes, and where the
  // sitemap is when the site knows its address.
  std::string robots =
      "User-agent: *\n"
      "Disallow: /cgi/replay.pl\n"
      "Disallow: /replays/\n";
  if (!address.empty()) {
    robots += "\nSitemap: " + address + "/sitemap.xml\n";
    std::string map =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
    for (const char* path : {"/", "/play/", "/download/", "/cgi/version.pl?prg=Pondlark&amp;type=0&amp;show"})
      map += "<url><loc>" + HtmlEscape(address) + path + "</loc></url>\n";
    map += "</urlset>\n";
    add("/sitemap.xml", "application/xml", keep(std::move(map)));
  }
  add("/robots.txt", "text/plain", keep(std::move(robots)));
  site.Owned = std::move(owned);
  return site;
}

const TSite& BuiltInSite() {
  static const TSite site = MakeSite(EmbeddedSite(), "");
  return site;
}

}  // namespace tk::scores
