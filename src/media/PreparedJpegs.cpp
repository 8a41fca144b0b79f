#include "media/PreparedJpegs.h"

#include <stdexcept>

#include "media/JpegCodec.h"

namespace tk {

namespace {

constexpr char kMagic[8] = {'T', 'K', 'J', 'P', 'E', 'G', 0, 1};

void Put32(std::string& out, uint32_t v) {
  for (int b = 0; b < 4; ++b) out.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
}

void PutText(std::string& out, const std::string& s) {
  Put32(out, static_cast<uint32_t>(s.size()));
  out += s;
}

class Reader {
 public:
  explicit Reader(std::string_view b) : b_(b) {}
  uint32_t U32() {
    Need(4);
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(b_[at_ + i])) << (8 * i);
    at_ += 4;
    return v;
  }
  std::string Text() {
    const uint32_t n = U32();
    Need(n);
    std::string s(b_.substr(at_, n));
    at_ += n;
    return s;
  }
  void Need(size_t n) const {
    if (n > b_.size() - at_) throw std::runtime_error("prepared pictures: the file ends too soon");
  }
  bool AtEnd() const { return at_ == b_.size(); }
  size_t Left() const { return b_.size() - at_; }

 private:
  std::string_view b_;
  size_t at_ = 0;
};

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
  if (bytes.size() < sizeof kMagic || bytes.substr(0, sizeof kMagic) != std::string_view(kMagic, sizeof kMagic))
    throw std::runtime_error("prepared pictures: not a file of tinokvak-pictures");
  Reader r(bytes.substr(sizeof kMagic));
  const uint32_t count = r.U32();
  std::vector<TPreparedJpeg> out;
  for (uint32_t i = 0; i < count; ++i) {
    TPreparedJpeg j;
    j.Key = r.U32();
    j.Key |= static_cast<uint64_t>(r.U32()) << 32;
    j.StreamSize = r.U32();
    j.HeaderError = r.Text();
    j.DecodeError = r.Text();
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
