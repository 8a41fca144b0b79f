// tinokvak-glyphs OUT FAMILY:SIZE...: writes the glyph tables of the fonts at the sizes
// given (one file, the tables one after another, each after its length), for the builds
// that measure text without the desktop's renderer.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <fstream>
#include <iostream>
#include <string>

#include "GlyphBuilder.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::cerr << "usage: tinokvak-glyphs OUT FAMILY:SIZE...\n";
    return 1;
  }
  std::string out;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    const size_t colon = arg.rfind(':');
    int size = 0;
    if (colon == std::string::npos || std::sscanf(arg.c_str() + colon + 1, "%d", &size) != 1 ||
        size <= 0 || size > 200) {
      std::cerr << "tinokvak-glyphs: " << arg << " is not FAMILY:SIZE\n";
      return 1;
    }
    try {
      const std::string table = tk::glyphs::BuildGlyphTable(arg.substr(0, colon), size).Serialize();
      const auto n = static_cast<uint32_t>(table.size());
      for (int b = 0; b < 4; ++b) out.push_back(static_cast<char>((n >> (8 * b)) & 0xFF));
      out += table;
    } catch (const std::exception& e) {
      std::cerr << "tinokvak-glyphs: " << e.what() << "\n";
      return 1;
    }
  }
  std::ofstream f(argv[1], std::ios::binary);
  if (!f.write(out.data(), static_cast<std::streamsize>(out.size())) || !f.flush()) {
    std::cerr << "tinokvak-glyphs: cannot write " << argv[1] << "\n";
    return 1;
  }
  return 0;
}
