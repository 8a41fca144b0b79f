#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/Picture.h"
#include "platform/Errors.h"

using namespace tk;

namespace {

void Put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void Put16(std::string& s, uint16_t v) {
  s += static_cast<char>(v & 0xFF);
  s += static_cast<char>(v >> 8);
}
std::string Bytes(std::initializer_list<int> b) {
  std::string s;
  for (int c : b) s += static_cast<char>(c);
  return s;
}

struct DibSpec {
  int HeaderSize = 40;
  int Width = 1, Height = 1;  // negative height: top-down
  int Bits = 24;
  int Compression = 0;
  uint32_t ColorsUsed = 0;
  std::vector<uint32_t> Palette;  // 0xRRGGBB
  std::vector<uint32_t> Masks;    // after the header (compression 3)
  std::string Pixels;
};

// A DIB as stored in a "TDIB" payload: header, masks, colour table, pixels.
std::string MakeDib(const DibSpec& d) {
  std::string s;
  Put32(s, d.HeaderSize);
  if (d.HeaderSize == 12) {
    Put16(s, static_cast<uint16_t>(d.Width));
    Put16(s, static_cast<uint16_t>(d.Height));
    Put16(s, 1);
    Put16(s, static_cast<uint16_t>(d.Bits));
  } else {
    Put32(s, static_cast<uint32_t>(d.Width));
    Put32(s, static_cast<uint32_t>(d.Height));
    Put16(s, 1);
    Put16(s, static_cast<uint16_t>(d.Bits));
    Put32(s, d.Compression);
    Put32(s, static_cast<uint32_t>(d.Pixels.size()));
    Put32(s, 0);
    Put32(s, 0);
    Put32(s, d.ColorsUsed);
    Put32(s, 0);
  }
  for (uint32_t m : d.Masks) Put32(s, m);
  for (uint32_t c : d.Palette) {
    s += static_cast<char>(c & 0xFF);
    s += static_cast<char>((c >> 8) & 0xFF);
    s += static_cast<char>((c >> 16) & 0xFF);
    if (d.HeaderSize != 12) s += '\0';
  }
  return s + d.Pixels;
}

std::vector<uint32_t> Ramp(int n, uint32_t step) {
  std::vector<uint32_t> v;
  for (int i = 0; i < n; ++i) v.push_back(static_cast<uint32_t>(i) * step);
  return v;
}

template <class F>
std::string ErrorOf(F&& f) {
  try {
    f();
  } catch (const EError& e) {
    return e.what();
  }
  return "";
}

constexpr uint32_t A = 0x112233, B = 0xAABBCC, C = 0x445566, D = 0x778899;

struct DibCase {
  const char* Name;
  DibSpec Spec;
  int Width, Height;
  std::vector<uint32_t> Expected;  // top row first
};

}  // namespace

TEST(DecodeDib, EveryLayoutDecodesToKnownPixels) {
  const std::string rows24 = Bytes({1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0});
  const std::vector<DibCase> cases = {
      {"1 bit, bottom-up",
       {40, 3, 2, 1, 0, 0, {A, B}, {}, Bytes({0xA0, 0, 0, 0, 0x60, 0, 0, 0})},
       3,
       2,
       {A, B, B, B, A, B}},
      {"4 bits",
       {40, 3, 1, 4, 0, 0, Ramp(16, 0x010101), {}, Bytes({0x12, 0x30, 0, 0})},
       3,
       1,
       {0x010101, 0x020202, 0x030303}},
      {"8 bits, short colour table: indices past it are black",
       {40, 2, 1, 8, 0, 3, {A, B, C}, {}, Bytes({2, 5, 0, 0})},
       2,
       1,
       {C, 0}},
      {"16 bits default 5-5-5",
       {40, 2, 1, 16, 0, 0, {}, {}, Bytes({0x00, 0x7C, 0x21, 0x00})},
       2,
       1,
       {0xFF0000, 0x000808}},
      {"16 bits bit fields 5-6-5",
       {40, 2, 1, 16, 3, 0, {}, {0xF800, 0x07E0, 0x001F}, Bytes({0xE0, 0x07, 0x1F, 0xF8})},
       2,
       1,
       {0x00FF00, 0xFF00FF}},
      {"24 bits bottom-up",
       {40, 2, 2, 24, 0, 0, {}, {}, rows24},
       2,
       2,
       {0x090807, 0x0C0B0A, 0x030201, 0x060504}},
      {"24 bits top-down",
       {40, 2, -2, 24, 0, 0, {}, {}, rows24},
       2,
       2,
       {0x030201, 0x060504, 0x090807, 0x0C0B0A}},
      {"32 bits default 8-8-8, fourth byte ignored",
       {40, 1, 1, 32, 0, 0, {}, {}, Bytes({1, 2, 3, 0xFF})},
       1,
       1,
       {0x030201}},
      {"32 bits bit fields",
       {40, 1, 1, 32, 3, 0, {}, {0x0000FF, 0x00FF00, 0xFF0000}, Bytes({1, 2, 3, 0})},
       1,
       1,
       {0x010203}},
      {"RLE8: run, delta, end of line, absolute run, end",
       {40,
        4,
        3,
        8,
        1,
        4,
        {A, B, C, D},
        {},
        Bytes({2, 1, 0, 2, 1, 1, 1, 2, 0, 0, 0, 3, 3, 2, 1, 0, 0, 1})},
       4,
       3,
       {D, C, B, A, A, A, A, C, B, B, A, A}},
      {"RLE4: run of alternating nibbles, absolute run",
       {40, 6, 1, 4, 2, 0, Ramp(16, 0x010101), {}, Bytes({3, 0x12, 0, 3, 0x34, 0x50, 0, 1})},
       6,
       1,
       {0x010101, 0x020202, 0x010101, 0x030303, 0x040404, 0x050505}},
      {"12-byte header, 3-byte colour entries",
       {12, 2, 1, 8, 0, 0, Ramp(256, 0x010203), {}, Bytes({1, 255, 0, 0})},
       2,
       1,
       {0x010203, 0x0100FD}},
  };
  for (const DibCase& c : cases) {
    SCOPED_TRACE(c.Name);
    const TPicture p = DecodeDib(MakeDib(c.Spec));
    EXPECT_EQ(p.ClassName, "TDIB");
    EXPECT_EQ(p.Width, c.Width);
    EXPECT_EQ(p.Height, c.Height);
    EXPECT_EQ(p.Pixels, c.Expected);
    EXPECT_EQ(p.BitCount, c.Spec.Bits);
    // Pictures of 8 bits or fewer keep 256 palette slots, the unused ones black.
    if (c.Spec.Bits <= 8) {
      ASSERT_EQ(p.Palette.size(), 256u);
      for (size_t i = 0; i < 256; ++i)
        EXPECT_EQ(p.Palette[i], i < c.Spec.Palette.size() ? c.Spec.Palette[i] & 0xFFFFFF : 0u);
    } else {
      EXPECT_TRUE(p.Palette.empty());
    }
  }
}

TEST(DecodeDib, ErrorsAndLimits) {
  DibSpec good{40, 2, 1, 24, 0, 0, {}, {}, std::string(8, '\0')};
  auto with = [&](auto change) {
    DibSpec d = good;
    change(d);
    return MakeDib(d);
  };
  struct Case {
    const char* Name;
    std::string Data;
    std::string Message;
  };
  const std::vector<Case> cases = {
      {"header size 41", with([](DibSpec& d) { d.HeaderSize = 41; }), "DIB is invalid"},
      {"compression 4", with([](DibSpec& d) { d.Compression = 4; }), "DIB is invalid"},
      {"RLE8 with 24 bits", with([](DibSpec& d) { d.Compression = 1; }), "DIB is invalid"},
      {"bit count 2", with([](DibSpec& d) { d.Bits = 2; }), "DIB is invalid"},
      {"negative width", with([](DibSpec& d) { d.Width = -2; }), "DIB is invalid"},
      {"absurd size", with([](DibSpec& d) { d.Width = d.Height = 1 << 20; }), "DIB is invalid"},
      {"pixels cut", with([](DibSpec& d) { d.Pixels.pop_back(); }), "Stream read error"},
      {"colour table cut", with([](DibSpec& d) {
         d.Bits = 8;
         d.Palette = {A, B};
       }),
       "Stream read error"},
      {"header cut", MakeDib(good).substr(0, 20), "Stream read error"},
      {"RLE without its end", with([](DibSpec& d) {
         d.Bits = 8;
         d.Compression = 1;
         d.ColorsUsed = 1;
         d.Palette = {A};
         d.Pixels = Bytes({2, 0});
       }),
       "Stream read error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    EXPECT_EQ(ErrorOf([&] { DecodeDib(c.Data); }), c.Message);
  }
  // A zero-sized DIB is an empty picture, not an error.
  EXPECT_TRUE(DecodeDib(with([](DibSpec& d) { d.Height = 0; })).Empty());
}

TEST(EncodeDib24, RoundTripsWithRowPadding) {
  TPicture p;
  p.Width = 3;
  p.Height = 2;
  p.Pixels = {A, B, C, D, 0xFFFFFF, 0};
  const std::string dib = EncodeDib24(p);
  EXPECT_EQ(dib.size(), 40u + 2 * 12);  // 9 bytes a row padded to 12
  const TPicture q = DecodeDib(dib);
  EXPECT_EQ(q.Width, 3);
  EXPECT_EQ(q.Height, 2);
  EXPECT_EQ(q.Pixels, p.Pixels);
}

TEST(DecodeBmpFile, FileHeaderAndPixelOffset) {
  TPicture p;
  p.Width = 2;
  p.Height = 2;
  p.Pixels = {A, B, C, D};
  const std::string dib = EncodeDib24(p);
  // A gap of two bytes between the headers and the pixels, announced by the offset.
  std::string bmp = "BM";
  Put32(bmp, static_cast<uint32_t>(14 + dib.size() + 2));
  Put32(bmp, 0);
  Put32(bmp, 14 + 40 + 2);
  bmp += dib.substr(0, 40) + "??" + dib.substr(40);
  const TPicture q = DecodeBmpFile(bmp);
  EXPECT_EQ(q.ClassName, "TBitmap");
  EXPECT_EQ(q.Pixels, p.Pixels);
  EXPECT_EQ(ErrorOf([&] { DecodeBmpFile("XX" + bmp.substr(2)); }), "Bitmap image is not valid");

  // An 8-bit bitmap's palette is its own colour table.
  std::string dib8 = MakeDib({40, 1, 1, 8, 0, 2, {A, B}, {}, Bytes({1, 0, 0, 0})});
  std::string bmp8 = "BM";
  Put32(bmp8, static_cast<uint32_t>(14 + dib8.size()));
  Put32(bmp8, 0);
  Put32(bmp8, 14 + 40 + 8);
  const TPicture r = DecodeBmpFile(bmp8 + dib8);
  EXPECT_EQ(r.Pixels, std::vector<uint32_t>{B});
  EXPECT_EQ(r.Palette, (std::vector<uint32_t>{A, B}));
}

TEST(Jpeg, EncodeDecodeAndBrokenStreams) {
  TPicture p;
  p.Width = 16;
  p.Height = 8;
  for (int i = 0; i < 128; ++i) p.Pixels.push_back(i < 64 ? 0xC04020 : 0x2040C0);
  const std::string jpeg = EncodeJpeg(p, 95);
  EXPECT_EQ(jpeg.substr(0, 2), "\xFF\xD8");
  EXPECT_EQ(EncodeJpeg(p, 95), jpeg);  // the same bytes every time
  const TPicture q = DecodeJpeg(jpeg);
  EXPECT_EQ(q.ClassName, "TJPEGImage");
  ASSERT_EQ(q.Width, 16);
  ASSERT_EQ(q.Height, 8);
  auto near = [](uint32_t a, uint32_t b) {
    for (int sh = 0; sh < 24; sh += 8)
      if (std::abs(static_cast<int>((a >> sh) & 0xFF) - static_cast<int>((b >> sh) & 0xFF)) > 6)
        return false;
    return true;
  };
  EXPECT_TRUE(near(q.Pixels[0], 0xC04020)) << std::hex << q.Pixels[0];
  EXPECT_TRUE(near(q.Pixels[127], 0x2040C0)) << std::hex << q.Pixels[127];

  for (const std::string& bad :
       {std::string(), std::string("not a jpeg at all"), jpeg.substr(0, 20)}) {
    const std::string msg = ErrorOf([&] { DecodeJpeg(bad); });
    EXPECT_EQ(msg.rfind("JPEG image is invalid", 0), 0u) << msg;
  }
}

TEST(DecodePicturePayload, ClassesAndEmptyPictures) {
  TPicture p;
  p.Width = 1;
  p.Height = 1;
  p.Pixels = {A};
  const std::string dib = EncodeDib24(p);

  const TPicture fromDib = DecodePicturePayload(MakePicturePayload("TDIB", dib));
  EXPECT_EQ(fromDib.Pixels, p.Pixels);
  EXPECT_EQ(fromDib.RawPayload, dib);

  // Right after the class name: an empty bitmap.
  const TPicture empty = DecodePicturePayload(MakePicturePayload("TDIB", ""));
  EXPECT_TRUE(empty.Empty());
  EXPECT_EQ(empty.ClassName, "TDIB");

  // A class we do not draw: empty, no error, the stored bytes kept for rewriting.
  const TPicture icon = DecodePicturePayload(MakePicturePayload("TIcon", "\1\2\3"));
  EXPECT_TRUE(icon.Empty());
  EXPECT_EQ(icon.ClassName, "TIcon");
  EXPECT_EQ(icon.RawPayload, "\1\2\3");

  std::string bmp = "BM";
  Put32(bmp, static_cast<uint32_t>(14 + dib.size()));
  Put32(bmp, 0);
  Put32(bmp, 54);
  bmp += dib;
  const std::string bmpPayload = MakePicturePayload("TBitmap", bmp);
  const TPicture fromBmp = DecodePicturePayload(bmpPayload);
  EXPECT_EQ(fromBmp.ClassName, "TBitmap");
  EXPECT_EQ(fromBmp.Pixels, p.Pixels);
  EXPECT_EQ(MakePicturePayload("TBitmap", fromBmp.RawPayload, false), bmpPayload);

  const TPicture fromJpeg =
      DecodePicturePayload(MakePicturePayload("TJPEGImage", EncodeJpeg(p, 90)));
  EXPECT_EQ(fromJpeg.ClassName, "TJPEGImage");
  EXPECT_EQ(fromJpeg.Width, 1);

  // A byte count past the end of the block.
  EXPECT_EQ(ErrorOf([&] { DecodePicturePayload(bmpPayload.substr(0, bmpPayload.size() - 1)); }),
            "Stream read error");
  EXPECT_EQ(ErrorOf([&] {
              DecodePicturePayload(MakePicturePayload("TDIB", std::string("\x29\0\0\0", 4)));
            }),
            "DIB is invalid");
}

TEST(LoadPictureFile, ByExtension) {
  const auto dir =
      std::filesystem::temp_directory_path() / ("tk_pictures_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  TPicture p;
  p.Width = 2;
  p.Height = 1;
  p.Pixels = {A, B};
  std::string bmp = "BM";
  const std::string dib = EncodeDib24(p);
  Put32(bmp, static_cast<uint32_t>(14 + dib.size()));
  Put32(bmp, 0);
  Put32(bmp, 54);
  bmp += dib;
  auto write = [&](const char* name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
    return (dir / name).string();
  };
  EXPECT_EQ(LoadPictureFile(write("a.BMP", bmp)).Pixels, p.Pixels);
  EXPECT_EQ(LoadPictureFile(write("b.jpeg", EncodeJpeg(p, 90))).Width, 2);
  EXPECT_EQ(ErrorOf([&] { LoadPictureFile(write("c.png", "x")); }),
            "Unknown picture file extension (.png)");
  EXPECT_EQ(ErrorOf([&] {
              LoadPictureFile((dir / "missing.bmp").string());
            }).rfind("Cannot open file", 0),
            0u);
  std::filesystem::remove_all(dir);
}
