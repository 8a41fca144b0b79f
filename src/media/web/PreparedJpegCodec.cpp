// The JPEG codec of the builds without libjpeg: every stream the game reads was decoded at
// build time by the desktop's decoder (tinokvak-pictures), and its result is looked up
// here by the stream's digest and length, errors included, so a picture comes out as on
// the desktop, pixel for pixel. The file is read on the first JPEG: pictures.tkj in the
// folder TK_WEB_DATA names, else in the one the build put it in.
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "media/JpegCodec.h"
#include "media/PreparedJpegs.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace tk::jpeg {

namespace {

[[noreturn]] void Failed(const std::string& why) {
  throw EInvalidGraphic("JPEG image is invalid (" + why + ")");
}

using Table = std::map<std::pair<uint64_t, uint32_t>, TPreparedJpeg>;

const Table& Prepared() {
  static std::once_flag once;
  static std::unique_ptr<Table> table;
  static std::string problem;
  std::call_once(once, [] {
    const char* dir = std::getenv("TK_WEB_DATA");
    const std::string path = std::string(dir && *dir ? dir : TK_WEB_DATA_DIR) + "/pictures.tkj";
    table = std::make_unique<Table>();
    try {
      for (TPreparedJpeg& j : ParsePreparedJpegs(ReadWholeFile(path)))
        table->emplace(std::make_pair(j.Key, j.StreamSize), std::move(j));
    } catch (const std::exception& e) {
      problem = path + ": " + e.what();
    }
  });
  if (!problem.empty()) Failed("no prepared pictures: " + problem);
  return *table;
}

}  // namespace

TPicture Decode(std::string_view stream, bool headerOnly) {
  const Table& t = Prepared();
  const auto it = t.find({JpegStreamKey(stream), static_cast<uint32_t>(stream.size())});
  if (it == t.end()) Failed("not among the pictures prepared for this build");
  const TPreparedJpeg& j = it->second;
  if (!j.HeaderError.empty()) throw EInvalidGraphic(j.HeaderError);
  TPicture p;
  p.Width = j.Width;
  p.Height = j.Height;
  if (headerOnly) return p;
  if (!j.DecodeError.empty()) throw EInvalidGraphic(j.DecodeError);
  p.Pixels.assign(j.Pixels.begin(), j.Pixels.end());
  return p;
}

std::string Encode(const TPicture&, int) { Failed("this build has no JPEG encoder"); }

}  // namespace tk::jpeg
