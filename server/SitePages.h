// The site put together at start: the pages get the site's address where a link must be
// absolute, every text file its gzip form and each form its tag, once, so that a request
// for them costs no work. The head every page shares (title, description, Open Graph, the
// icon, the stylesheet) is made here too, for the pages made per request.
#pragma once

#include <string>
#include <string_view>

#include "Site.h"

namespace tk::scores {

// The embedded files with ADDRESS ("https://tinokvak.example" or empty) filled in for
// "@SITE@", /robots.txt, and /sitemap.xml when the address is known. Pages built without
// an address keep root-relative links and leave og:url out.
TSite MakeSite(const TSite& embedded, std::string_view address);

// A site address as given (an http:// or https:// origin, trailing slashes dropped);
// empty when it is none.
std::string NormalSiteAddress(std::string_view given);

struct TPageMeta {
  std::string_view Title;        // plain text
  std::string_view Description;  // plain text
  std::string_view Path;         // the page's own path, for og:url ("/download/")
};

// The <head> lines after the charset: viewport, title, description, Open Graph (the
// pond's picture), the icon and the stylesheet.
std::string PageHead(const TPageMeta& page, std::string_view address);

// DATA as gzip at a quick level, for what is made per request.
std::string QuickGzip(std::string_view data);

// A quoted entity tag for BYTES (FNV-1a), with SUFFIX inside the quotes.
std::string BytesTag(std::string_view bytes, std::string_view suffix = {});

}  // namespace tk::scores
