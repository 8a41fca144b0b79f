// The game's website as the score server serves it: the home page, its stylesheet, the
// screenshots and the icon, built into the program; the game's page and the downloads
// from folders beside it.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace tk::scores {

struct TSiteFile {
  std::string_view Path;  // as requested, "/" for the home page
  std::string_view ContentType;
  std::string_view Bytes;
  // Made once when the site is put together (SitePages.h): the gzip form when it is worth
  // sending (else empty), and the quoted tags of both forms (empty: made from the bytes).
  std::string_view Gzipped;
  std::string_view ETag, GzipETag;
};

class TPlayFiles;
class TDownloads;

struct TSite {
  std::vector<TSiteFile> Files;
  // The browser game's page under /play/ (none: /play/ answers 404).
  const TPlayFiles* Play = nullptr;
  // The release's packages under /download/ (none: the page says there are none).
  const TDownloads* Downloads = nullptr;
  // The site's own address ("https://tinokvak.example", no trailing slash), for the links
  // that must be absolute (Open Graph, the sitemap); empty when unknown.
  std::string Address;
  // What the views of Files point into, beyond the built-in bytes.
  std::shared_ptr<const std::deque<std::string>> Owned;
  const TSiteFile* Find(std::string_view path) const {
    if (path == "/index.html") path = "/";
    for (const TSiteFile& f : Files)
      if (f.Path == path) return &f;
    return nullptr;
  }
};

// The files built from server/site/, docs/*.png and the game's icon, byte for byte (the
// pages' "@SITE@" not yet filled in).
const TSite& EmbeddedSite();
// The same put together for a server with no address of its own (SitePages.h).
const TSite& BuiltInSite();

}  // namespace tk::scores
