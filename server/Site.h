// The game's website as the score server serves it: the home page, its stylesheet and the
// screenshots, built into the program.
#pragma once

#include <string_view>
#include <vector>

namespace tk::scores {

struct TSiteFile {
  std::string_view Path;  // as requested, "/" for the home page
  std::string_view ContentType;
  std::string_view Bytes;
};

class TPlayFiles;

struct TSite {
  std::vector<TSiteFile> Files;
  // The browser game's page under /play/ (none: /play/ answers 404).
  const TPlayFiles* Play = nullptr;
  const TSiteFile* Find(std::string_view path) const {
    if (path == "/index.html") path = "/";
    for (const TSiteFile& f : Files)
      if (f.Path == path) return &f;
    return nullptr;
  }
};

// The pages built from server/site/ and docs/*.png.
const TSite& BuiltInSite();

}  // namespace tk::scores
