#include "Icon.h"

#include <cairo.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

#include "Raster.h"

namespace fs = std::filesystem;

namespace tk::assets {

namespace {

constexpr int kSizes[] = {16, 22, 24, 32, 48, 64, 128, 256, 512};
constexpr int kWindowIconSize = 64;

// Straight (non-premultiplied) ARGB, as window icons and PNG files want it.
uint32_t Unpremultiply(uint32_t p) {
  const uint32_t a = p >> 24;
  if (a == 0) return 0;
  auto un = [a](uint32_t c) { return (c * 255 + a / 2) / a; };
  return a << 24 | un((p >> 16) & 0xFF) << 16 | un((p >> 8) & 0xFF) << 8 | un(p & 0xFF);
}

void WriteAlphaPng(const fs::path& file, const Canvas& c) {
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> surface(
      cairo_image_surface_create_for_data(
          reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(c.Pixels.data())),
          CAIRO_FORMAT_ARGB32, c.Width, c.Height, c.Width * 4),
      &cairo_surface_destroy);
  if (cairo_surface_write_to_png(surface.get(), file.c_str()) != CAIRO_STATUS_SUCCESS)
    throw BuildError("cannot write " + file.string());
}

// Written through a temporary name so a failed build leaves no half file behind.
void WriteText(const fs::path& file, const std::string& text) {
  const fs::path part = file.string() + ".part";
  {
    std::ofstream out(part, std::ios::binary);
    out << text;
    if (!out) throw BuildError("cannot write " + file.string());
  }
  fs::rename(part, file);
}

}  // namespace

void BuildIcon(const fs::path& svg, const fs::path& outDir) {
  const fs::path theme = outDir / "hicolor";
  fs::create_directories(theme / "scalable" / "apps");
  fs::copy_file(svg, theme / "scalable" / "apps" / "tinokvak.svg",
                fs::copy_options::overwrite_existing);
  for (int size : kSizes) {
    Canvas c(size, size);
    RenderSvg(c, svg, 0, 0, size, size);
    const fs::path dir = theme / (std::to_string(size) + "x" + std::to_string(size)) / "apps";
    fs::create_directories(dir);
    WriteAlphaPng(dir / "tinokvak.png", c);
  }

  Canvas c(kWindowIconSize, kWindowIconSize);
  RenderSvg(c, svg, 0, 0, kWindowIconSize, kWindowIconSize);
  std::ostringstream src;
  src << "// Made by tinokvak-assets from " << svg.filename().string()
      << ": the window icon, straight ARGB.\n"
         "#include <cstdint>\n\n"
         "namespace tk {\n\n"
         "extern const int kGameIconSize = "
      << kWindowIconSize << ";\nextern const uint32_t kGameIconArgb[] = {";
  for (size_t i = 0; i < c.Pixels.size(); ++i) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X,", Unpremultiply(c.Pixels[i]));
    src << (i % 8 == 0 ? "\n    " : " ") << hex;
  }
  src << "\n};\n\n}  // namespace tk\n";
  WriteText(outDir / "GameIcon.cpp", src.str());
}

}  // namespace tk::assets
