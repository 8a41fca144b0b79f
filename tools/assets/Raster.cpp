#include "Raster.h"

#include <cairo.h>
#include <librsvg/rsvg.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace tk::assets {

namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct HandleDeleter {
  void operator()(RsvgHandle* h) const { g_object_unref(h); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;
using CairoPtr = std::unique_ptr<cairo_t, CairoDeleter>;

std::string TakeError(GError* err) {
  std::string m = err ? err->message : "unknown error";
  if (err) g_error_free(err);
  return m;
}

}  // namespace

void RenderSvg(Canvas& canvas, const std::filesystem::path& svg, int x, int y, int w, int h) {
  GError* err = nullptr;
  std::unique_ptr<RsvgHandle, HandleDeleter> handle(rsvg_handle_new_from_file(svg.c_str(), &err));
  if (!handle) throw BuildError(svg.string() + ": " + TakeError(err));
  // Absolute units in the drawings mean CSS pixels, whatever the machine's settings.
  rsvg_handle_set_dpi(handle.get(), 96.0);

  const int stride = canvas.Width * 4;
  if (cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, canvas.Width) != stride)
    throw BuildError("unexpected cairo stride");
  SurfacePtr surface(cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(canvas.Pixels.data()), CAIRO_FORMAT_ARGB32, canvas.Width,
      canvas.Height, stride));
  CairoPtr cr(cairo_create(surface.get()));
  cairo_rectangle(cr.get(), x, y, w, h);
  cairo_clip(cr.get());
  RsvgRectangle viewport{static_cast<double>(x), static_cast<double>(y), static_cast<double>(w),
                         static_cast<double>(h)};
  if (!rsvg_handle_render_document(handle.get(), cr.get(), &viewport, &err))
    throw BuildError(svg.string() + ": " + TakeError(err));
  cairo_surface_flush(surface.get());
  if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
    throw BuildError(svg.string() + ": " + cairo_status_to_string(cairo_status(cr.get())));
}

std::vector<uint32_t> Flatten(const Canvas& canvas, bool keyed, uint32_t keyRgb) {
  std::vector<uint32_t> out(canvas.Pixels.size());
  for (size_t i = 0; i < out.size(); ++i) {
    const uint32_t p = canvas.Pixels[i];
    const uint32_t a = p >> 24;
    if (!keyed) {
      // Premultiplied colour is exactly the colour composed over black.
      out[i] = p & 0xFFFFFF;
      continue;
    }
    if (a * 2 < 255) {
      out[i] = keyRgb;
      continue;
    }
    auto un = [a](uint32_t c) { return std::min<uint32_t>(255, (c * 255 + a / 2) / a); };
    uint32_t rgb = un((p >> 16) & 0xFF) << 16 | un((p >> 8) & 0xFF) << 8 | un(p & 0xFF);
    if (rgb == keyRgb) {
      const uint32_t g = (rgb >> 8) & 0xFF;
      rgb = (rgb & 0xFF00FF) | (g < 255 ? g + 1 : g - 1) << 8;
    }
    out[i] = rgb;
  }
  return out;
}

void WritePng(const std::filesystem::path& file, int w, int h, const std::vector<uint32_t>& rgb) {
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h));
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  const int stride = cairo_image_surface_get_stride(surface.get());
  for (int y = 0; y < h; ++y)
    std::memcpy(data + static_cast<size_t>(y) * stride, rgb.data() + static_cast<size_t>(y) * w,
                static_cast<size_t>(w) * 4);
  cairo_surface_mark_dirty(surface.get());
  if (cairo_surface_write_to_png(surface.get(), file.c_str()) != CAIRO_STATUS_SUCCESS)
    throw BuildError("cannot write " + file.string());
}

}  // namespace tk::assets
