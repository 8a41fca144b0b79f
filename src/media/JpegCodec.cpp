// The JPEG codec on libjpeg.
#include "media/JpegCodec.h"

#include <jpeglib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "platform/Errors.h"

namespace tk::jpeg {

namespace {

// ---- libjpeg glue. Errors longjmp back to the function that called setjmp; nothing with
// a destructor lives in those frames, the caller owns everything.

struct JpegError {
  jpeg_error_mgr Mgr;
  std::jmp_buf Jump;
  char Message[JMSG_LENGTH_MAX];
};

void JpegErrorExit(j_common_ptr c) {
  auto* e = reinterpret_cast<JpegError*>(c->err);
  (*c->err->format_message)(c, e->Message);
  std::longjmp(e->Jump, 1);
}
void JpegSilent(j_common_ptr, int) {}
void JpegNoOutput(j_common_ptr) {}

void InitJpegError(JpegError& e) {
  jpeg_std_error(&e.Mgr);
  e.Mgr.error_exit = JpegErrorExit;
  e.Mgr.emit_message = JpegSilent;
  e.Mgr.output_message = JpegNoOutput;
  e.Message[0] = 0;
}

[[noreturn]] void JpegFailed(const char* message) {
  throw EInvalidGraphic(std::string("JPEG image is invalid (") + message + ")");
}

// Progressive streams can repeat scans without end; no real picture has this many.
constexpr int kMaxJpegScans = 256;

void JpegProgress(j_common_ptr c) {
  auto* d = reinterpret_cast<j_decompress_ptr>(c);
  if (d->input_scan_number > kMaxJpegScans) {
    auto* e = reinterpret_cast<JpegError*>(c->err);
    std::snprintf(e->Message, sizeof e->Message, "too many scans");
    std::longjmp(e->Jump, 1);
  }
}

struct JpegDecoder {
  jpeg_decompress_struct Info{};
  JpegError Err{};
  jpeg_progress_mgr Progress{};
  bool Created = false;
  ~JpegDecoder() {
    if (Created) jpeg_destroy_decompress(&Info);
  }
};

// Reads the stream's header, then, unless headerOnly, its pixels into out; the size is the
// one a decode gives either way. Returns false after a libjpeg error (message in d.Err).
bool RunJpeg(JpegDecoder& d, std::string_view data, TPicture& out, bool headerOnly,
             std::vector<uint8_t>& row) {
  if (setjmp(d.Err.Jump)) return false;
  jpeg_create_decompress(&d.Info);
  d.Created = true;
  if (!headerOnly) {
    d.Progress.progress_monitor = JpegProgress;
    d.Info.progress = &d.Progress;
  }
  jpeg_mem_src(&d.Info, reinterpret_cast<const unsigned char*>(data.data()),
               static_cast<unsigned long>(data.size()));
  jpeg_read_header(&d.Info, TRUE);
  if (!SizeAllowed(d.Info.image_width, d.Info.image_height)) {
    std::snprintf(d.Err.Message, sizeof d.Err.Message, "picture too large");
    return false;
  }
  d.Info.out_color_space = JCS_RGB;
  if (headerOnly) {
    jpeg_calc_output_dimensions(&d.Info);
    out.Width = static_cast<int>(d.Info.output_width);
    out.Height = static_cast<int>(d.Info.output_height);
    return true;
  }
  jpeg_start_decompress(&d.Info);
  const size_t w = d.Info.output_width, h = d.Info.output_height;
  // Every row is written below; rows a stream fails to give stay black.
  out.Pixels.resize(w * h);
  row.assign(w * 3, 0);
  while (d.Info.output_scanline < h) {
    const size_t y = d.Info.output_scanline;
    JSAMPROW rows[1] = {row.data()};
    if (jpeg_read_scanlines(&d.Info, rows, 1) != 1) break;
    uint32_t* px = out.Pixels.data() + y * w;
    for (size_t x = 0; x < w; ++x)
      px[x] = (static_cast<uint32_t>(row[3 * x]) << 16) | (row[3 * x + 1] << 8) | row[3 * x + 2];
  }
  const size_t done = std::min<size_t>(d.Info.output_scanline, h);
  std::fill(out.Pixels.begin() + static_cast<ptrdiff_t>(done * w), out.Pixels.end(), 0u);
  jpeg_finish_decompress(&d.Info);
  out.Width = static_cast<int>(w);
  out.Height = static_cast<int>(h);
  return true;
}

struct JpegEncoder {
  jpeg_compress_struct Info{};
  JpegError Err{};
  bool Created = false;
  unsigned char* Buffer = nullptr;
  unsigned long Size = 0;
  ~JpegEncoder() {
    if (Created) jpeg_destroy_compress(&Info);
    std::free(Buffer);
  }
};

bool RunJpegEncode(JpegEncoder& e, const TPicture& p, int quality, std::vector<uint8_t>& row) {
  if (setjmp(e.Err.Jump)) return false;
  jpeg_create_compress(&e.Info);
  e.Created = true;
  jpeg_mem_dest(&e.Info, &e.Buffer, &e.Size);
  e.Info.image_width = static_cast<JDIMENSION>(p.Width);
  e.Info.image_height = static_cast<JDIMENSION>(p.Height);
  e.Info.input_components = 3;
  e.Info.in_color_space = JCS_RGB;
  jpeg_set_defaults(&e.Info);
  jpeg_set_quality(&e.Info, std::clamp(quality, 1, 100), TRUE);
  jpeg_start_compress(&e.Info, TRUE);
  row.assign(static_cast<size_t>(p.Width) * 3, 0);
  while (e.Info.next_scanline < e.Info.image_height) {
    const uint32_t* px = p.Pixels.data() + static_cast<size_t>(e.Info.next_scanline) * p.Width;
    for (int x = 0; x < p.Width; ++x) {
      row[3 * x] = static_cast<uint8_t>(px[x] >> 16);
      row[3 * x + 1] = static_cast<uint8_t>(px[x] >> 8);
      row[3 * x + 2] = static_cast<uint8_t>(px[x]);
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&e.Info, rows, 1);
  }
  jpeg_finish_compress(&e.Info);
  return true;
}

}  // namespace

TPicture Decode(std::string_view data, bool headerOnly) {
  JpegDecoder d;
  InitJpegError(d.Err);
  d.Info.err = &d.Err.Mgr;
  TPicture p;
  std::vector<uint8_t> row;
  if (!RunJpeg(d, data, p, headerOnly, row)) JpegFailed(d.Err.Message);
  return p;
}

std::string Encode(const TPicture& p, int quality) {
  if (p.Empty()) JpegFailed("empty picture");
  JpegEncoder e;
  InitJpegError(e.Err);
  e.Info.err = &e.Err.Mgr;
  std::vector<uint8_t> row;
  if (!RunJpegEncode(e, p, quality, row)) JpegFailed(e.Err.Message);
  return std::string(reinterpret_cast<const char*>(e.Buffer), e.Size);
}

}  // namespace tk::jpeg
