#include "ShotFile.h"

#include <fstream>
#include <stdexcept>
#include <string>


namespace tk::sim {

void WriteShot(const TSurface& s, const std::filesystem::path& file, int width, int height) {
  std::string ext = file.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext != ".ppm") {
    WritePng(s, file, width, height);
    return;
  }
  if ((width > 0 && width != s.Width()) || (height > 0 && height != s.Height()))
    throw std::runtime_error("a .ppm shot is the whole frame: " + std::to_string(s.Width()) + "x" +
                             std::to_string(s.Height()) + ", not scaled");
  std::string out = "P6\n" + std::to_string(s.Width()) + " " + std::to_string(s.Height()) + "\n255\n";
  out.reserve(out.size() + static_cast<size_t>(s.Width()) * s.Height() * 3);
  for (int y = 0; y < s.Height(); ++y) {
    const uint32_t* row = s.Row(y);
    for (int x = 0; x < s.Width(); ++x) {
      out += static_cast<char>((row[x] >> 16) & 0xFF);
      out += static_cast<char>((row[x] >> 8) & 0xFF);
      out += static_cast<char>(row[x] & 0xFF);
    }
  }
  std::ofstream f(file, std::ios::binary);
  if (!f.write(out.data(), static_cast<std::streamsize>(out.size())) || !f.flush())
    throw std::runtime_error("cannot write " + file.string());
}

}  // namespace tk::sim
