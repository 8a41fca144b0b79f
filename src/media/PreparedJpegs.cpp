#include "media/PreparedJpegs.h"

#include <stdexcept>

#include "media/JpegCodec.h"
#include "media/PreparedFile.h"

namespace tk {

namespace {

constexpr char kMagic[8] = {'T', 'K', 'J', 'P', 'E', 'G', 0, 1};

void Put32(std::string& out, uint32_t v) { prepared::Put(out, v, 4); }

using prepared::PutText;

}  // namespace

uint64_t JpegStreamKey(std::string_view stream) {
  uint64_t h = 14695981039346656037ull;
  for (char c : stream) h = (h ^ static_cast<uint8_t>(c)) * 1099511628211ull;
  return h;
}

TPreparedJpeg PrepareJpeg(std::string_view stream) {
  TPreparedJpeg j;
  j.Key = JpegStreamKey(stream);
  j.StreamSize = static_cast<uint32_t>(stream.size());
  try {
    const TPicture header = jpeg::Decode(stream, true);
    j.Width = header.Width;
    j.Height = header.Height;
    try {
      const TPicture decoded = jpeg::Decode(stream, false);
      j.Pixels.assign(decoded.Pixels.begin(), decoded.Pixels.end());
    } catch (const std::exception& e) {
      j.DecodeError = e.what();
    }
  } catch (const std::exception& e) {
    j.HeaderError = e.what();
  }
  return j;
}

std::string SerializePreparedJpegs(const std::vector<TPreparedJpeg>& jpegs) {
  std::string out(kMagic, sizeof kMagic);
  Put32(out, static_cast<uint32_t>(jpegs.size()));
  for (const TPreparedJpeg& j : jpegs) {
    Put32(out, static_cast<uint32_t>(j.Key));
    Put32(out, static_cast<uint32_t>(j.Key >> 32));
    Put32(out, j.StreamSize);
    PutText(out, j.HeaderError);
    PutText(out, j.DecodeError);
    Put32(out, static_cast<uint32_t>(j.Width));
    Put32(out, static_cast<uint32_t>(j.Height));
    Put32(out, static_cast<uint32_t>(j.Pixels.size()));
    for (uint32_t p : j.Pixels) Put32(out, p);
  }
  return out;
}

std::vector<TPreparedJpeg> ParsePreparedJpegs(std::string_view bytes) {
  if (!prepared::HasMagic(bytes, std::string_view(kMagic, sizeof kMagic)))
    throw std::runtime_error("prepared pictures: not a file of tinokvak-pictures");
  prepared::Reader r(bytes.substr(sizeof kMagic), "prepared pictures");
  const uint32_t count = r.U32();
  std::vector<TPreparedJpeg> out;
  for (uint32_t i = 0; i < count; ++i) {
    TPreparedJpeg j;
    j.Key = r.U32();
    j.Key |= static_cast<uint64_t>(r.U32()) << 32;
    j.StreamSize = r.U32();
    j.HeaderError = std::string(r.Text());
    j.DecodeError = std::string(r.Text());
    const uint32_t w = r.U32(), h = r.U32(), n = r.U32();
    if (w > 32768 || h > 32768 || (n != 0 && n != uint64_t{w} * h) || n > r.Left() / 4)
      throw std::runtime_error("prepared pictures: a picture's size does not match its pixels");
    j.Width = static_cast<int>(w);
    j.Height = static_cast<int>(h);
    j.Pixels.resize(n);
    for (uint32_t& p : j.Pixels) p = r.U32();
    out.push_back(std::move(j));
  }
  if (!r.AtEnd()) throw std::runtime_error("prepared pictures: bytes after the last picture");
  return out;
}

}  // namespace tk
