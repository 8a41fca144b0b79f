#pragma once
// The little-endian layout the prepared data files share (the pictures decoded and the
// music rendered at build time by the desktop's tools, read by the browser's build): whole
// numbers of 1 to 8 bytes, texts as a 4-byte length and their bytes.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tk::prepared {

inline void Put(std::string& out, uint64_t v, int bytes) {
  for (int b = 0; b < bytes; ++b) out.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
}

inline void PutText(std::string& out, std::string_view s) {
  Put(out, s.size(), 4);
  out += s;
}

// The file's first bytes are its kind's.
inline bool HasMagic(std::string_view bytes, std::string_view magic) {
  return bytes.substr(0, magic.size()) == magic;
}

// Reads what Put and PutText wrote; a file that ends too soon is "WHAT: the file ends too
// soon".
class Reader {
 public:
  Reader(std::string_view bytes, const char* what) : b_(bytes), what_(what) {}
  uint64_t Get(int bytes) {
    Need(static_cast<size_t>(bytes));
    uint64_t v = 0;
    for (int i = 0; i < bytes; ++i) v |= static_cast<uint64_t>(static_cast<uint8_t>(b_[at_ + i])) << (8 * i);
    at_ += static_cast<size_t>(bytes);
    return v;
  }
  uint32_t U32() { return static_cast<uint32_t>(Get(4)); }
  std::string_view Text() {
    const uint32_t n = U32();
    Need(n);
    const std::string_view s = b_.substr(at_, n);
    at_ += n;
    return s;
  }
  void Need(uint64_t n) const {
    if (n > b_.size() - at_) throw std::runtime_error(std::string(what_) + ": the file ends too soon");
  }
  bool AtEnd() const { return at_ == b_.size(); }
  size_t Left() const { return b_.size() - at_; }

 private:
  std::string_view b_;
  const char* what_;
  size_t at_ = 0;
};

}  // namespace tk::prepared
