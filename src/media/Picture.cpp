#include "media/Picture.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <limits>

#include "media/Container.h"
#include "media/JpegCodec.h"
#include "platform/Cp1251.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace tk {

namespace {

[[noreturn]] void InvalidDib() { throw EInvalidGraphic("DIB is invalid"); }
[[noreturn]] void ReadError() { throw EReadError("Stream read error"); }

using jpeg::SizeAllowed;

// A 32-bit value loaded from little-endian bytes.
inline uint32_t Le32Value(uint32_t v) {
  if constexpr (std::endian::native == std::endian::big) return __builtin_bswap32(v);
  return v;
}

uint32_t Le32(std::string_view d, size_t at) {
  const auto* p = reinterpret_cast<const uint8_t*>(d.data() + at);
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(std::string_view d, size_t at) {
  const auto* p = reinterpret_cast<const uint8_t*>(d.data() + at);
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

void Put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}

// One colour channel of a bit-field pixel, widened to 8 bits by repeating its bits.
struct Channel {
  uint32_t Mask = 0;
  int Shift = 0;
  int Bits = 0;
  explicit Channel(uint32_t mask) : Mask(mask) {
    if (mask == 0) return;
    while (!((mask >> Shift) & 1)) ++Shift;
    uint32_t m = mask >> Shift;
    while (m) {
      ++Bits;
      m >>= 1;
    }
  }
  uint32_t Get(uint32_t px) const {
    if (Bits == 0) return 0;
    const uint32_t v = (px & Mask) >> Shift;
    if (Bits >= 8) return v >> (Bits - 8);
    uint32_t r = 0;
    int filled = 0;
    while (filled < 8) {
      r = (r << Bits) | v;
      filled += Bits;
    }
    return (r >> (filled - 8)) & 0xFF;
  }
};

struct DibHeader {
  size_t HeaderSize = 0;
  int64_t Width = 0, Height = 0;
  bool TopDown = false;
  int BitCount = 0;
  uint32_t Compression = 0;
  uint32_t ColorsUsed = 0;
  uint32_t Masks[3] = {0, 0, 0};
};

// Decodes a DIB (header size onwards). extendedHeaders admits the longer headers of BMP
// files; pixelOffset, when beyond the colour table, is where the pixels start (relative to
// data). tableSize receives the number of colour table entries read.
// Without withPixels an uncompressed DIB is only checked: every error a full decode could
// give is given, and the picture gets its size but no pixels. A compressed one is decoded.
TPicture DecodeDibImpl(std::string_view data, bool extendedHeaders, size_t pixelOffset,
                       size_t* tableSize = nullptr, bool withPixels = true) {
  if (data.size() < 4) ReadError();
  DibHeader h;
  h.HeaderSize = Le32(data, 0);
  const bool core = h.HeaderSize == 12;
  const bool info =
      h.HeaderSize == 40 || (extendedHeaders && (h.HeaderSize == 52 || h.HeaderSize == 56 ||
                                                 h.HeaderSize == 108 || h.HeaderSize == 124));
  if (!core && !info) InvalidDib();
  if (data.size() < h.HeaderSize) ReadError();
  if (core) {
    h.Width = static_cast<int16_t>(Le16(data, 4));
    h.Height = static_cast<int16_t>(Le16(data, 6));
    h.BitCount = Le16(data, 10);
  } else {
    h.Width = static_cast<int32_t>(Le32(data, 4));
    h.Height = static_cast<int32_t>(Le32(data, 8));
    h.BitCount = Le16(data, 14);
    h.Compression = Le32(data, 16);
    h.ColorsUsed = Le32(data, 32);
  }
  if (h.Height < 0) {
    h.TopDown = true;
    h.Height = -h.Height;
  }
  if (h.Width < 0 || !SizeAllowed(h.Width, h.Height)) InvalidDib();
  switch (h.BitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
      break;
    default:
      InvalidDib();
  }
  switch (h.Compression) {
    case 0:
      break;
    case 1:
      if (h.BitCount != 8) InvalidDib();
      break;
    case 2:
      if (h.BitCount != 4) InvalidDib();
      break;
    case 3:
      if (h.BitCount != 16 && h.BitCount != 32) InvalidDib();
      break;
    default:
      InvalidDib();
  }

  size_t pos = h.HeaderSize;
  if (h.Compression == 3) {
    if (h.HeaderSize >= 52) {
      for (int i = 0; i < 3; ++i) h.Masks[i] = Le32(data, 40 + 4 * i);
    } else {
      if (data.size() - pos < 12) ReadError();
      for (int i = 0; i < 3; ++i) h.Masks[i] = Le32(data, pos + 4 * i);
      pos += 12;
    }
  } else if (h.BitCount == 16) {
    h.Masks[0] = 0x7C00, h.Masks[1] = 0x03E0, h.Masks[2] = 0x001F;
  } else if (h.BitCount == 32) {
    h.Masks[0] = 0xFF0000, h.Masks[1] = 0xFF00, h.Masks[2] = 0xFF;
  }

  size_t colors = h.ColorsUsed;
  if (colors == 0 && h.BitCount <= 8) colors = size_t{1} << h.BitCount;
  colors = std::min<size_t>(colors, 256);
  const size_t entry = core ? 3 : 4;
  if ((data.size() - pos) / entry < colors) ReadError();
  TPicture p;
  p.ClassName = "TDIB";
  p.BitCount = h.BitCount;
  std::array<uint32_t, 256> table{};
  for (size_t i = 0; i < colors; ++i) {
    const auto* e = reinterpret_cast<const uint8_t*>(data.data() + pos + i * entry);
    table[i] = (static_cast<uint32_t>(e[2]) << 16) | (static_cast<uint32_t>(e[1]) << 8) | e[0];
  }
  pos += colors * entry;
  if (h.BitCount <= 8) p.Palette.assign(table.begin(), table.end());
  if (tableSize) *tableSize = colors;
  if (pixelOffset > pos) {
    if (pixelOffset > data.size()) ReadError();
    pos = pixelOffset;
  }

  const int64_t w = h.Width, ht = h.Height;
  if (w == 0 || ht == 0) return p;
  const std::string_view bits = data.substr(pos);
  const auto* src = reinterpret_cast<const uint8_t*>(bits.data());
  auto rowOf = [&](int64_t fileRow) { return h.TopDown ? fileRow : ht - 1 - fileRow; };

  if (h.Compression == 1 || h.Compression == 2) {
    p.Pixels.assign(static_cast<size_t>(w * ht), table[0]);
    p.Width = static_cast<int>(w);
    p.Height = static_cast<int>(ht);
    const bool rle4 = h.Compression == 2;
    size_t i = 0;
    int64_t x = 0, y = 0;  // y counts file rows
    auto put = [&](uint32_t index) {
      if (x < w && y < ht) p.Pixels[static_cast<size_t>(rowOf(y) * w + x)] = table[index];
      ++x;
    };
    auto need = [&](size_t n) {
      if (bits.size() - i < n) ReadError();
    };
    for (;;) {
      if (i == bits.size()) {
        // Some writers leave out the end-of-picture mark after the last row.
        if (y >= ht) break;
        ReadError();
      }
      need(2);
      const uint8_t count = src[i], value = src[i + 1];
      i += 2;
      if (count > 0) {
        for (int k = 0; k < count; ++k) put(rle4 ? ((k & 1) ? value & 0x0F : value >> 4) : value);
      } else if (value == 0) {
        x = 0;
        ++y;
      } else if (value == 1) {
        break;
      } else if (value == 2) {
        need(2);
        x += src[i];
        y += src[i + 1];
        i += 2;
      } else {
        const size_t bytes = rle4 ? (value + 1u) / 2 : value;
        const size_t padded = (bytes + 1) & ~size_t{1};
        need(bytes);
        for (int k = 0; k < value; ++k) {
          const uint8_t b = src[i + (rle4 ? k / 2 : k)];
          put(rle4 ? ((k & 1) ? b & 0x0F : b >> 4) : b);
        }
        i += std::min(padded, bits.size() - i);
      }
    }
    return p;
  }

  const int64_t stride = ((w * h.BitCount + 31) / 32) * 4;
  if (static_cast<int64_t>(bits.size()) / stride < ht) ReadError();
  p.Width = static_cast<int>(w);
  p.Height = static_cast<int>(ht);
  if (!withPixels) return p;
  p.Pixels.resize(static_cast<size_t>(w * ht));
  const Channel r(h.Masks[0]), g(h.Masks[1]), b(h.Masks[2]);
  for (int64_t fy = 0; fy < ht; ++fy) {
    const uint8_t* s = src + fy * stride;
    uint32_t* d = p.Pixels.data() + rowOf(fy) * w;
    switch (h.BitCount) {
      case 1:
      case 4:
      case 8: {
        const int bc = h.BitCount;
        const int perByte = 8 / bc;
        const uint32_t m = (1u << bc) - 1;
        for (int64_t x = 0; x < w; ++x) {
          const int shift = 8 - bc * (1 + static_cast<int>(x % perByte));
          d[x] = table[(s[x / perByte] >> shift) & m];
        }
        break;
      }
      case 16:
        for (int64_t x = 0; x < w; ++x) {
          const uint32_t v = s[2 * x] | (s[2 * x + 1] << 8);
          d[x] = (r.Get(v) << 16) | (g.Get(v) << 8) | b.Get(v);
        }
        break;
      case 24: {
        // Four bytes at a time, the fourth (the next pixel's) masked off; the row's last
        // pixel byte by byte, as its fourth byte may lie past the data.
        int64_t x = 0;
        for (; x + 1 < w; ++x) {
          uint32_t v;
          std::memcpy(&v, s + 3 * x, 4);
          d[x] = Le32Value(v) & 0xFFFFFF;
        }
        for (; x < w; ++x)
          d[x] = (static_cast<uint32_t>(s[3 * x + 2]) << 16) | (s[3 * x + 1] << 8) | s[3 * x];
        break;
      }
      case 32:
        if (h.Compression == 0) {
          for (int64_t x = 0; x < w; ++x)
            d[x] = (static_cast<uint32_t>(s[4 * x + 2]) << 16) | (s[4 * x + 1] << 8) | s[4 * x];
        } else {
          for (int64_t x = 0; x < w; ++x) {
            const uint32_t v = static_cast<uint32_t>(s[4 * x]) | (s[4 * x + 1] << 8) |
                               (s[4 * x + 2] << 16) | (static_cast<uint32_t>(s[4 * x + 3]) << 24);
            d[x] = (r.Get(v) << 16) | (g.Get(v) << 8) | b.Get(v);
          }
        }
        break;
    }
  }
  return p;
}

// The class data of TBitmap and TJPEGImage: a uint32 byte count, then the file.
std::string_view SizedFile(std::string_view classData) {
  if (classData.size() < 4) ReadError();
  const uint32_t n = Le32(classData, 0);
  if (n > classData.size() - 4) ReadError();
  return classData.substr(4, n);
}

std::string WithCount(std::string_view file) {
  std::string out;
  Put32(out, static_cast<uint32_t>(file.size()));
  out.append(file);
  return out;
}

// A "BM" file; without withPixels an uncompressed one is only checked (see DecodeDibImpl).
TPicture BmpFile(std::string_view data, bool withPixels) {
  if (data.size() < 14 || data[0] != 'B' || data[1] != 'M')
    throw EInvalidGraphic("Bitmap image is not valid");
  // The file header's pixel offset counts when it points past the colour table (some
  // writers leave a gap); an offset inside the headers is ignored.
  const uint32_t offBits = Le32(data, 10);
  size_t colors = 0;
  TPicture p = DecodeDibImpl(data.substr(14), true, offBits >= 14 ? offBits - 14 : 0, &colors,
                             withPixels);
  p.ClassName = "TBitmap";
  // A bitmap's palette is its own colour table, not 256 slots.
  if (!p.Palette.empty()) p.Palette.resize(colors);
  return p;
}

// A JPEG stream's pixels; only its size with headerOnly.
TPicture JpegFile(std::string_view data, bool headerOnly) {
  TPicture p = jpeg::Decode(data, headerOnly);
  p.ClassName = "TJPEGImage";
  p.BitCount = 24;
  return p;
}

}  // namespace

TPicture DecodeDib(std::string_view data) {
  TPicture p = DecodeDibImpl(data, false, 0);
  p.RawPayload = std::string(data);
  return p;
}

TPicture DecodeBmpFile(std::string_view data) {
  TPicture p = BmpFile(data, true);
  p.RawPayload = WithCount(data);
  return p;
}

TPicture DecodeJpeg(std::string_view data) {
  TPicture p = JpegFile(data, false);
  p.RawPayload = WithCount(data);
  return p;
}

TPicture DecodePicturePayload(std::string_view payload, bool keepPayload) {
  TStreamReader r(payload);
  const std::string cls = r.ReadShortString();
  const std::string_view data = payload.substr(r.Position());
  TPicture p;
  if (!data.empty()) {
    if (cls == "TDIB") {
      p = DecodeDibImpl(data, false, 0);  // the payload is kept (or not) below
    } else if (cls == "TBitmap") {
      const std::string_view file = SizedFile(data);
      if (!file.empty()) p = DecodeBmpFile(file);
    } else if (cls == "TJPEGImage") {
      const std::string_view file = SizedFile(data);
      if (!file.empty()) p = DecodeJpeg(file);
    }
  }
  // Unknown classes and empty data leave an empty picture that still remembers what was
  // stored, so the archive can be written back unchanged.
  p.ClassName = cls;
  if (keepPayload) {
    p.RawPayload = std::string(data);
  } else {
    std::string().swap(p.RawPayload);
    p.PayloadDropped = true;
  }
  return p;
}

TPicture ReadPicturePayload(std::string_view payload, std::shared_ptr<const void> source) {
  TStreamReader r(payload);
  const std::string cls = r.ReadShortString();
  const std::string_view data = payload.substr(r.Position());
  TPicture p;
  if (!data.empty()) {
    if (cls == "TDIB") {
      p = DecodeDibImpl(data, false, 0, nullptr, false);
    } else if (cls == "TBitmap") {
      const std::string_view file = SizedFile(data);
      if (!file.empty()) p = BmpFile(file, false);
    } else if (cls == "TJPEGImage") {
      const std::string_view file = SizedFile(data);
      if (!file.empty()) {
        p = JpegFile(file, true);
        if (p.Empty()) p = JpegFile(file, false);  // nothing to put off
      }
    }
  }
  p.ClassName = cls;
  p.PayloadDropped = true;
  // Compressed DIBs come decoded: their data can only be checked by decoding it.
  if (!p.Empty() && p.Pixels.empty()) {
    p.Source = std::move(source);
    p.Deferred = data;
  }
  return p;
}

void DecodePending(TPicture& p) {
  if (!p.Pending()) return;
  const std::shared_ptr<const void> source = std::move(p.Source);  // holds data meanwhile
  const std::string_view data = p.Deferred;
  p.Source.reset();
  p.Deferred = {};
  TPicture d;
  try {
    if (p.ClassName == "TDIB") d = DecodeDibImpl(data, false, 0);
    else if (p.ClassName == "TBitmap") d = BmpFile(SizedFile(data), true);
    else d = JpegFile(SizedFile(data), false);
  } catch (...) {
    p.Width = p.Height = 0;
    throw;
  }
  if (d.Width != p.Width || d.Height != p.Height) {
    p.Width = p.Height = 0;
    throw EInvalidGraphic("Picture changed its size while decoding");
  }
  p.Pixels = std::move(d.Pixels);
}

namespace {

// A picture file by its extension; checkOnly leaves an uncompressed bitmap's pixels undecoded.
TPicture ReadPictureFile(std::string_view name, bool checkOnly) {
  const size_t dot = name.rfind('.');
  const size_t slash = name.find_last_of("/\\");
  std::string ext;
  if (dot != std::string_view::npos && (slash == std::string_view::npos || dot > slash))
    ext = std::string(name.substr(dot + 1));
  const std::string lower = LowerCp1251(ext);
  if (lower == "bmp" || lower == "dib" || lower == "jpg" || lower == "jpeg") {
    // A check looks at the header only: of a big bitmap, only its first page is read.
    const std::shared_ptr<const TFileBytes> file =
        checkOnly ? MapFileBytes(name) : ReadFileBytes(name);
    const std::string_view bytes = file->View();
    try {
      if (lower == "jpg" || lower == "jpeg") return DecodeJpeg(bytes);
      if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M')
        return checkOnly ? BmpFile(bytes, false) : DecodeBmpFile(bytes);
      return checkOnly ? DecodeDibImpl(bytes, false, 0, nullptr, false) : DecodeDib(bytes);
    } catch (EError& e) {
      e.File = ResolvePath(name).string();  // for stderr; the message stays the library's
      throw;
    }
  }
  throw EInvalidGraphic("Unknown picture file extension (." + ext + ")");
}

}  // namespace

TPicture LoadPictureFile(std::string_view name) { return ReadPictureFile(name, false); }

void CheckPictureFile(std::string_view name) { (void)ReadPictureFile(name, true); }

std::string EncodeDib24(const TPicture& p) {
  const uint32_t stride = (static_cast<uint32_t>(p.Width) * 3 + 3) & ~3u;
  std::string out;
  out.reserve(40 + static_cast<size_t>(stride) * p.Height);
  Put32(out, 40);
  Put32(out, static_cast<uint32_t>(p.Width));
  Put32(out, static_cast<uint32_t>(p.Height));
  Put16(out, 1);
  Put16(out, 24);
  Put32(out, 0);
  Put32(out, stride * static_cast<uint32_t>(p.Height));
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  Put32(out, 0);
  std::string row(stride, '\0');
  for (int y = p.Height - 1; y >= 0; --y) {
    const uint32_t* px = p.Pixels.data() + static_cast<size_t>(y) * p.Width;
    for (int x = 0; x < p.Width; ++x) {
      row[3 * x] = static_cast<char>(px[x] & 0xFF);
      row[3 * x + 1] = static_cast<char>((px[x] >> 8) & 0xFF);
      row[3 * x + 2] = static_cast<char>((px[x] >> 16) & 0xFF);
    }
    out += row;
  }
  return out;
}

std::string EncodeJpeg(const TPicture& p, int quality) { return jpeg::Encode(p, quality); }

std::string MakePicturePayload(std::string_view className, std::string_view fileData,
                               bool withCount) {
  std::string out;
  const size_t n = std::min<size_t>(className.size(), 255);
  out += static_cast<char>(n);
  out.append(className.substr(0, n));
  if (withCount && (className == "TBitmap" || className == "TJPEGImage"))
    out += WithCount(fileData);
  else
    out.append(fileData);
  return out;
}

}  // namespace tk
