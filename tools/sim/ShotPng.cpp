// PNG shots with cairo: the frame as it is, or scaled with its best filter (for documents).
#include <cairo.h>

#include <algorithm>
#include <stdexcept>

#include "ShotFile.h"

namespace tk::sim {

void WritePng(const TSurface& s, const std::filesystem::path& p, int width, int height) {
  cairo_surface_t* cs = cairo_image_surface_create(CAIRO_FORMAT_RGB24, s.Width(), s.Height());
  cairo_surface_flush(cs);
  unsigned char* data = cairo_image_surface_get_data(cs);
  const int stride = cairo_image_surface_get_stride(cs);
  for (int y = 0; y < s.Height(); ++y)
    std::copy(s.Row(y), s.Row(y) + s.Width(), reinterpret_cast<uint32_t*>(data + y * stride));
  cairo_surface_mark_dirty(cs);
  if (width > 0 && height > 0 && (width != s.Width() || height != s.Height())) {
    // A smaller picture (for documents), filtered rather than sampled.
    cairo_surface_t* small = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(small);
    cairo_scale(cr, static_cast<double>(width) / s.Width(), static_cast<double>(height) / s.Height());
    cairo_set_source_surface(cr, cs, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BEST);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(cs);
    cs = small;
  }
  const cairo_status_t st = cairo_surface_write_to_png(cs, p.c_str());
  cairo_surface_destroy(cs);
  if (st != CAIRO_STATUS_SUCCESS) throw std::runtime_error("cannot write " + p.string());
}

}  // namespace tk::sim
