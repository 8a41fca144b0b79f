// tinokvak-pictures OUT GAMEDIR: decodes every JPEG the game can read from its folder (the
// pictures of the graphics archives, *.dxg, and the JPEG files) with the desktop's decoder
// into one file of prepared pictures (media/PreparedJpegs.h), for the builds that have no
// JPEG decoder of their own. A stream the decoder refuses is kept with its error, so such a
// build refuses it with the same words.
#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "media/PictureCollection.h"
#include "media/PreparedJpegs.h"
#include "platform/Cp1251.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

namespace {

std::map<std::pair<uint64_t, uint32_t>, tk::TPreparedJpeg> prepared;

void Prepare(std::string_view stream) {
  const std::pair<uint64_t, uint32_t> key{tk::JpegStreamKey(stream), static_cast<uint32_t>(stream.size())};
  if (!prepared.count(key)) prepared.emplace(key, tk::PrepareJpeg(stream));
}

std::string Lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: tinokvak-pictures OUT GAMEDIR\n";
    return 1;
  }
  try {
    std::vector<fs::path> files;
    for (const auto& e : fs::recursive_directory_iterator(argv[2]))
      if (e.is_regular_file()) files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const fs::path& f : files) {
      const std::string ext = Lower(f.extension().string());
      if (ext == ".jpg" || ext == ".jpeg") {
        Prepare(tk::ReadWholeFile(f.string()));
      } else if (ext == ".dxg") {
        // Read as the game reads it: each picture's header checked, its pixels left.
        tk::TPictureCollection c;
        c.DecodeWhenUsed = true;
        c.LoadArchive(f.string());
        for (int i = 0; i < c.Count(); ++i) {
          const tk::TPicture& p = c.Items(i).Picture;
          if (p.ClassName != "TJPEGImage" || !p.Pending() || p.Deferred.size() < 4) continue;
          const std::string_view data = p.Deferred;
          uint32_t n = 0;
          for (int b = 0; b < 4; ++b) n |= static_cast<uint32_t>(static_cast<uint8_t>(data[b])) << (8 * b);
          Prepare(data.substr(4, n));
        }
      }
    }
  } catch (const std::exception& e) {
    std::cerr << "tinokvak-pictures: " << e.what() << "\n";
    return 1;
  }
  std::vector<tk::TPreparedJpeg> out;
  for (auto& [key, j] : prepared) out.push_back(std::move(j));
  const std::string bytes = tk::SerializePreparedJpegs(out);
  std::ofstream f(argv[1], std::ios::binary);
  if (!f.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !f.flush()) {
    std::cerr << "tinokvak-pictures: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
