#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "media/Container.h"
#include "media/PictureCollection.h"
#include "platform/Cp1251.h"
#include "platform/Errors.h"
#include "support/GameDir.h"

using namespace tk;

namespace {

TPicture Solid(int w, int h, uint32_t pixel) {
  TPicture p;
  p.ClassName = "TDIB";
  p.Width = w;
  p.Height = h;
  p.Pixels.assign(static_cast<size_t>(w) * h, pixel);
  return p;
}

// A picture whose pixel at (x, y) is x + 1000 * y, to see which cell a pattern shows.
TPicture Numbered(int w, int h) {
  TPicture p = Solid(w, h, 0);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p.Pixels[y * w + x] = static_cast<uint32_t>(x + 1000 * y + 1);
  return p;
}

TPictureCollectionItem& AddItem(TPictureCollection& c, const std::string& name, TPicture pic,
                                int pw = 0, int ph = 0) {
  auto& it = c.Add();
  it.SetName(name);
  it.Picture = std::move(pic);
  it.PatternWidth = pw;
  it.PatternHeight = ph;
  return it;
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

// A graphics archive whose only item has the given raw property bytes.
std::string ArchiveWithItem(const std::function<void(TStreamWriter&)>& props) {
  return MakeComponentResource("TPictureCollectionComponent", "", [&](TStreamWriter& w) {
    w.WritePropName("List");
    w.WriteCollectionBegin();
    w.WriteListBegin();
    props(w);
    w.WriteListEnd();
    w.WriteListEnd();
  });
}

class ImageLibrary : public ::testing::Test {
 protected:
  platform::OffscreenDisplay display;
  std::unique_ptr<TDXDraw> draw = std::make_unique<TDXDraw>(display);
  TDXImageList list;
  TPictureCollection& items = list.Items;
  void Up() {
    list.SetDXDraw(draw.get());
    draw->Initialize();
  }
};

}  // namespace

TEST(NameHash, Buckets) {
  struct Case {
    std::string Name;
    int Bucket;
  };
  const std::vector<Case> cases = {
      {"", 0},
      {"a", 16},
      {"Z", 16},
      {"ab", (32 + 'a' + 'a') % 256},
      {"frog", (64 + 'o' + 'f') % 256},
      {"FROG", (64 + 'o' + 'f') % 256},
      {Cp("ЖАБА"), (64 + 0xE1 + 0xE6) % 256},  // lower-cased Windows-1251 bytes
      {std::string(16, 'x'), (256 + 2 * 'x') % 256},
  };
  for (const Case& c : cases) EXPECT_EQ(NameHash(c.Name), c.Bucket) << Cp1251ToUtf8(c.Name);
}

TEST(PictureCollection, LookupPrefersTheLastItemOfAName) {
  TPictureCollection c;
  AddItem(c, "Frog", Solid(1, 1, 1));
  AddItem(c, "frog", Solid(1, 1, 2));
  AddItem(c, Cp("Кувшинка"), Solid(1, 1, 3));
  // Through an archive, so the file order is what counts.
  TPictureCollection loaded;
  loaded.LoadFromBytes(c.SaveToBytes());
  ASSERT_EQ(loaded.Count(), 3);
  for (const char* name : {"Frog", "frog", "FROG", "fRoG"})
    EXPECT_EQ(loaded.FindImage(name).Index(), 1) << name;
  EXPECT_EQ(loaded.FindImage(Cp("КУВШИНКА")).Index(), 2);
  EXPECT_EQ(ErrorOf([&] { loaded.FindImage("toad"); }), "Image 'toad' not found");

  // Naming an item again (to a different value) puts it first in its chain.
  loaded.Items(0).SetName("FROG");
  EXPECT_EQ(loaded.FindImage("frog").Index(), 0);
  // Deleting unlinks and renumbers.
  loaded.Delete(0);
  EXPECT_EQ(loaded.FindImage("frog").Index(), 0);
  EXPECT_EQ(loaded.FindImage(Cp("кувшинка")).Index(), 1);
}

TEST(PictureCollection, AnEmptyArchiveEmptiesTheLibrary) {
  TPictureCollection c;
  AddItem(c, "old", Solid(1, 1, 1));
  const std::string empty = TPictureCollection().SaveToBytes();
  c.LoadFromBytes(empty);
  EXPECT_EQ(c.Count(), 0);
  EXPECT_EQ(ErrorOf([&] { c.FindImage("old"); }), "Image 'old' not found");
}

TEST(PictureCollection, SaveAndLoadKeepEveryProperty) {
  TPictureCollection c;
  auto& a = AddItem(c, "a", Numbered(6, 4), 2, 2);
  a.SkipWidth = 1;
  a.SkipHeight = -1;
  a.SystemMemory = true;
  a.Transparent = false;
  a.SetTransparentColor(0x00FF00FF);
  AddItem(c, "b", TPicture{});  // no picture at all
  for (int i = 0; i < 1024; ++i) c.ColorTable[i] = static_cast<uint8_t>(i * 7);
  const std::string bytes = c.SaveToBytes();

  TPictureCollection d;
  d.LoadFromBytes(bytes);
  ASSERT_EQ(d.Count(), 2);
  const auto& x = d.Items(0);
  EXPECT_EQ(x.Name(), "a");
  EXPECT_EQ(x.Picture.Pixels, a.Picture.Pixels);
  EXPECT_EQ(x.PatternWidth, 2);
  EXPECT_EQ(x.PatternHeight, 2);
  EXPECT_EQ(x.SkipWidth, 1);
  EXPECT_EQ(x.SkipHeight, -1);
  EXPECT_TRUE(x.SystemMemory);
  EXPECT_FALSE(x.Transparent);
  EXPECT_EQ(x.TransparentColor(), 0x00FF00FFu);
  EXPECT_TRUE(d.Items(1).Picture.Empty());
  EXPECT_EQ(d.ColorTable, c.ColorTable);
  EXPECT_EQ(d.SaveToBytes(), bytes);  // stored pictures are written back as they came
}

TEST(PictureCollection, ArchiveValuesAndErrors) {
  const std::string dib = MakePicturePayload("TDIB", EncodeDib24(Solid(2, 1, 0xFF00FF)));
  // Colours may be named.
  TPictureCollection c;
  c.LoadFromBytes(ArchiveWithItem([&](TStreamWriter& w) {
    w.WritePropName("Name");
    w.WriteString("x");
    w.WritePropName("TransparentColor");
    w.WriteIdent("clFuchsia");
    w.WritePropName("SystemMemory");
    w.WriteIdent("True");
  }));
  EXPECT_EQ(c.Items(0).TransparentColor(), 0xFF00FFu);
  EXPECT_TRUE(c.Items(0).SystemMemory);

  struct Case {
    const char* Name;
    std::function<void(TStreamWriter&)> Props;
    std::string Message;
  };
  const std::vector<Case> cases = {
      {"unknown colour name",
       [](TStreamWriter& w) {
         w.WritePropName("TransparentColor");
         w.WriteIdent("clPlaid");
       },
       "Invalid property value"},
      {"picture data as a string",
       [](TStreamWriter& w) {
         w.WritePropName("Picture.Data");
         w.WriteString("TDIB");
       },
       "Invalid property value"},
      {"unknown property",
       [](TStreamWriter& w) {
         w.WritePropName("Looped");
         w.WriteBoolean(true);
       },
       "Property Looped does not exist"},
      {"bad picture",
       [](TStreamWriter& w) {
         w.WritePropName("Picture.Data");
         w.WriteBinary(MakePicturePayload("TDIB", std::string("\x10\0\0\0", 4)));
       },
       "DIB is invalid"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.Name);
    TPictureCollection d;
    EXPECT_EQ(ErrorOf([&] { d.LoadFromBytes(ArchiveWithItem(k.Props)); }), k.Message);
  }

  // A cut archive fails and keeps what was read.
  TPictureCollection two;
  AddItem(two, "first", Solid(1, 1, 1));
  AddItem(two, "second", Solid(1, 1, 2));
  const std::string bytes = two.SaveToBytes();
  TPictureCollection cut;
  EXPECT_EQ(ErrorOf([&] { cut.LoadFromBytes(bytes.substr(0, bytes.size() - 30)); }),
            "Stream read error");
  ASSERT_GE(cut.Count(), 1);
  EXPECT_EQ(cut.FindImage("first").Index(), 0);

  // A colour table shorter than 1024 bytes.
  const std::string shortTable =
      MakeComponentResource("TPictureCollectionComponent", "", [](TStreamWriter& w) {
        w.WritePropName("List.ColorTable");
        w.WriteBinary(std::string(1000, '\0'));
      });
  EXPECT_EQ(ErrorOf([&] { TPictureCollection().LoadFromBytes(shortTable); }), "Stream read error");
}

TEST(PictureCollection, CountPatternsBeforeUpload) {
  struct Case {
    int W, H, Pw, Ph, Sw, Sh, Count;
  };
  const std::vector<Case> cases = {
      {640, 48, 64, 48, 0, 0, 10},
      {196, 48, 64, 48, 2, 0, 3},   // the last column needs no gap after it
      {200, 48, 64, 48, 2, 0, 3},   // two spare pixels make no cell
      {130, 100, 64, 48, 2, 4, 4},  // 2 x 2
      {63, 48, 64, 48, 0, 0, 0},
  };
  for (const Case& k : cases) {
    TPictureCollection c;
    auto& it = AddItem(c, "x", Solid(k.W, k.H, 0), k.Pw, k.Ph);
    it.SkipWidth = k.Sw;
    it.SkipHeight = k.Sh;
    EXPECT_EQ(it.CountPatterns(), k.Count) << k.W << "x" << k.H;
  }
}

TEST_F(ImageLibrary, UploadCutsCellsInTheTiledOrder) {
  auto& strip = AddItem(items, "strip", Numbered(640, 48), 64, 48);
  auto& sheet = AddItem(items, "sheet", Numbered(130, 100), 64, 48);
  sheet.SkipWidth = 2;
  sheet.SkipHeight = 4;
  sheet.SystemMemory = true;
  auto& whole = AddItem(items, "whole", Numbered(700, 20));
  Up();

  ASSERT_EQ(strip.CountPatterns(), 10);
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(strip.PatternRectOf(i), (TRect{64 * i, 0, 64 * i + 64, 48})) << i;
    // The pattern shows its cell of the picture.
    const TSurface* s = strip.PatternSurfaceOf(i);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->At(strip.PatternRectOf(i).Left, 0), static_cast<uint32_t>(64 * i + 1));
  }
  ASSERT_EQ(sheet.CountPatterns(), 4);
  EXPECT_EQ(sheet.PatternRectOf(1), (TRect{66, 0, 130, 48}));
  EXPECT_EQ(sheet.PatternRectOf(2), (TRect{0, 52, 64, 100}));
  ASSERT_EQ(whole.CountPatterns(), 1);
  EXPECT_EQ(whole.PatternRectOf(0), (TRect{0, 0, 700, 20}));
  EXPECT_EQ(whole.CellWidth(), 700);
  EXPECT_EQ(strip.CellWidth(), 64);

  for (int i : {-1, 10}) {
    EXPECT_EQ(strip.PatternRectOf(i), TRect{});
    EXPECT_EQ(strip.PatternSurfaceOf(i), nullptr);
  }
  TSurface dest(100, 100, 7);
  strip.DrawPattern(dest, 0, 0, 10);
  strip.DrawPattern(dest, 0, 0, -1);
  EXPECT_EQ(dest.Pixels()[0], 7u);
  strip.DrawPattern(dest, 0, 0, 9);
  EXPECT_EQ(dest.At(0, 0), 577u);  // column 576 of the strip
}

TEST_F(ImageLibrary, UnknownClassGivesAnItemWithoutPatterns) {
  items.LoadFromBytes(ArchiveWithItem([](TStreamWriter& w) {
    w.WritePropName("Name");
    w.WriteString("icon");
    w.WritePropName("Picture.Data");
    w.WriteBinary(MakePicturePayload("TMetafile", "\1\2\3\4"));
  }));
  Up();
  auto& it = items.FindImage("icon");
  EXPECT_EQ(it.Picture.ClassName, "TMetafile");
  EXPECT_TRUE(it.Picture.Empty());
  EXPECT_EQ(it.CountPatterns(), 0);
  TSurface dest(4, 4, 7);
  it.DrawPattern(dest, 0, 0, 0);
  it.DrawPatternRotated(dest, 2, 2, 4, 4, 0, 0.5, 0.5, 10);
  EXPECT_EQ(dest.Pixels()[0], 7u);
}

TEST_F(ImageLibrary, FollowsTheDisplayLifeCycle) {
  auto& it = AddItem(items, "a", Solid(4, 4, 5));
  EXPECT_FALSE(it.Initialized());
  Up();
  EXPECT_TRUE(items.Initialized());
  EXPECT_TRUE(it.Initialized());
  EXPECT_EQ(it.CountPatterns(), 1);
  TSurface dest(4, 4, 0);
  it.DrawPattern(dest, 0, 0, 0);
  EXPECT_EQ(dest.At(3, 3), 5u);

  // Loading while the display is up uploads at once.
  TPictureCollection source;
  AddItem(source, "b", Solid(8, 2, 6), 2, 2);
  items.LoadFromBytes(source.SaveToBytes());
  EXPECT_EQ(items.FindImage("b").CountPatterns(), 4);
  EXPECT_TRUE(items.FindImage("b").Initialized());

  draw->Finalize();
  EXPECT_FALSE(items.Initialized());
  EXPECT_FALSE(items.FindImage("b").Initialized());
  EXPECT_EQ(items.FindImage("b").PatternSurfaceOf(0), nullptr);
  dest.Fill(0);
  items.FindImage("b").DrawPattern(dest, 0, 0, 0);
  EXPECT_EQ(dest.At(0, 0), 0u);

  draw->Initialize();
  EXPECT_EQ(items.FindImage("b").CountPatterns(), 4);

  // A display that cannot come up is refused.
  platform::OffscreenDisplay broken;
  broken.Works = false;
  TDXDraw down(broken);
  EXPECT_EQ(ErrorOf([&] { items.AttachDisplay(&down); }),
            "TPictureCollection cannot be initialized");

  // The display going away detaches the library.
  draw.reset();
  EXPECT_EQ(list.DXDraw(), nullptr);
  EXPECT_EQ(items.Display(), nullptr);
}

TEST_F(ImageLibrary, NewKeyColourAppliesToUploadedPatterns) {
  TPicture p = Solid(2, 1, 0x0000FF);  // pixels are 0x00RRGGBB: blue, then green
  p.Pixels[1] = 0x00FF00;
  auto& it = AddItem(items, "k", p);
  Up();
  TSurface dest(2, 1, 9);
  it.SetTransparentColor(0x0000FF);  // red (colours are 0x00BBGGRR): nothing matches
  it.DrawPattern(dest, 0, 0, 0);
  EXPECT_EQ(dest.At(0, 0), 0x0000FFu);
  EXPECT_EQ(dest.At(1, 0), 0x00FF00u);
  dest.Fill(9);
  it.SetTransparentColor(0xFF0000);  // blue
  it.DrawPattern(dest, 0, 0, 0);
  EXPECT_EQ(dest.At(0, 0), 9u);
  EXPECT_EQ(dest.At(1, 0), 0x00FF00u);
}

TEST(PictureCollection, BuildColorTable) {
  TPictureCollection c;
  // An 8-bit DIB offers its 256 slots: two new colours, then black (already there).
  TPicture dib = Solid(1, 1, 0);
  dib.BitCount = 8;
  dib.Palette.assign(256, 0);
  dib.Palette[0] = 0x123456;
  dib.Palette[1] = 0xFF0000;  // red is fixed entry 249
  dib.Palette[2] = 0x654321;
  AddItem(c, "dib", dib);
  AddItem(c, "rgb", Solid(1, 1, 0xABCDEF));  // no palette: offers nothing
  TPicture many = Solid(1, 1, 0);
  for (uint32_t i = 0; i < 300; ++i) many.Palette.push_back(0x010000 + i);
  AddItem(c, "many", many);
  TPicture late = Solid(1, 1, 0);
  late.Palette = {0x777777};
  AddItem(c, "late", late);
  c.BuildColorTable();

  auto entry = [&](int i) {
    return static_cast<uint32_t>(c.ColorTable[4 * i + 2] << 16 | c.ColorTable[4 * i + 1] << 8 |
                                 c.ColorTable[4 * i]) |
           static_cast<uint32_t>(c.ColorTable[4 * i + 3]) << 24;
  };
  EXPECT_EQ(entry(0), 0u);
  EXPECT_EQ(entry(1), 0x800000u);
  EXPECT_EQ(entry(7), 0xC0C0C0u);
  EXPECT_EQ(entry(248), 0x808080u);
  EXPECT_EQ(entry(249), 0xFF0000u);
  EXPECT_EQ(entry(255), 0xFFFFFFu);
  EXPECT_EQ(entry(8), 0x123456u);
  EXPECT_EQ(entry(9), 0x654321u);
  // The third picture fills the free entries and its remaining colours are dropped.
  EXPECT_EQ(entry(10), 0x010000u);
  EXPECT_EQ(entry(247), 0x010000u + 237);
  // The table is full, so the last picture is not consulted.
  for (int i = 0; i < 256; ++i) EXPECT_NE(entry(i), 0x777777u);
}

// Each picture is held once: its pixels live in the uploaded surface and come back to the
// picture when the display goes, through any number of mode switches.
TEST_F(ImageLibrary, PixelsMoveIntoTheSurfaceAndBack) {
  auto& it = AddItem(items, "a", Numbered(6, 4), 3, 2);
  const TPixels pixels = it.Picture.Pixels;
  Up();
  EXPECT_TRUE(it.Picture.Pixels.empty());
  ASSERT_NE(it.Pixels(), nullptr);
  EXPECT_EQ(std::vector<uint32_t>(it.Pixels(), it.Pixels() + 24), pixels);
  for (int round = 0; round < 3; ++round) {
    draw->Finalize();
    EXPECT_EQ(it.Picture.Pixels, pixels);
    draw->Initialize();
    TSurface dest(3, 2, 0);
    it.DrawPattern(dest, 0, 0, 3);  // the second row's second cell
    EXPECT_EQ(dest.At(0, 0), pixels[2 * 6 + 3]);
    EXPECT_EQ(dest.At(2, 1), pixels[3 * 6 + 5]);
  }
  // A picture given while uploaded replaces the old one for good.
  it.Picture = Solid(2, 2, 9);
  draw->Finalize();
  EXPECT_EQ(it.Picture.Pixels, std::vector<uint32_t>(4, 9u));
}

// The game reads its archive without the stored bytes; such a library refuses to be
// written back rather than writing something else.
TEST(PictureCollection, AnArchiveReadWithoutItsStoredBytesCannotBeSaved) {
  TPictureCollection c;
  AddItem(c, "a", DecodePicturePayload(MakePicturePayload("TDIB", EncodeDib24(Numbered(3, 2)))));
  const std::string bytes = c.SaveToBytes();
  TPictureCollection d;
  d.LoadFromBytes(bytes, /*keepPayloads=*/false);
  EXPECT_TRUE(d.Items(0).Picture.RawPayload.empty());
  EXPECT_EQ(d.Items(0).Picture.Pixels, Numbered(3, 2).Pixels);
  EXPECT_EQ(ErrorOf([&] { (void)d.SaveToBytes(); }),
            "Image 'a' was loaded without its stored data and cannot be saved");
  TPictureCollection e;
  e.LoadFromBytes(bytes);
  EXPECT_EQ(e.SaveToBytes(), bytes);
}

// ---- Pictures decoded when first used

namespace {

// A picture of many colours, so a JPEG of it has real scan data.
TPicture Noise(int w, int h) {
  TPicture p = Solid(w, h, 0);
  uint32_t v = 12345;
  for (auto& px : p.Pixels) px = (v = v * 1103515245u + 12345u) >> 8 & 0xFFFFFF;
  return p;
}

// The JPEG's headers and the start of its scan, then a second frame header: the headers
// read well, the pixels fail ("two SOF markers").
std::string JpegDamagedAfterItsHeader(const std::string& jpeg) {
  const size_t sof = jpeg.find("\xFF\xC0");
  const size_t sos = jpeg.find("\xFF\xDA");
  const size_t sofLen = 2 + (static_cast<uint8_t>(jpeg[sof + 2]) << 8 | static_cast<uint8_t>(jpeg[sof + 3]));
  const size_t sosLen = 2 + (static_cast<uint8_t>(jpeg[sos + 2]) << 8 | static_cast<uint8_t>(jpeg[sos + 3]));
  return jpeg.substr(0, sos + sosLen + 16) + jpeg.substr(sof, sofLen) + "\xFF\xD9";
}

std::string ArchiveOf(const std::vector<std::pair<std::string, std::string>>& payloads) {
  return MakeComponentResource("TPictureCollectionComponent", "", [&](TStreamWriter& w) {
    w.WritePropName("List");
    w.WriteCollectionBegin();
    for (const auto& [name, payload] : payloads) {
      w.WriteListBegin();
      w.WritePropName("Name");
      w.WriteString(name);
      w.WritePropName("PatternWidth");
      w.WriteInteger(8);
      w.WritePropName("PatternHeight");
      w.WriteInteger(8);
      w.WritePropName("Picture.Data");
      w.WriteBinary(payload);
      w.WriteListEnd();
    }
    w.WriteListEnd();
  });
}

// An 8-bit DIB with a 256-colour table: each pixel's index is x + y.
std::string Dib8(int w, int h) {
  std::string d;
  auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) d += static_cast<char>(v >> 8 * i); };
  put32(40), put32(w), put32(h), put32(1 | 8 << 16), put32(0), put32(0), put32(0), put32(0),
      put32(0), put32(0);
  for (int i = 0; i < 256; ++i) put32(static_cast<uint32_t>(i * 0x010203));
  const int stride = (w + 3) / 4 * 4;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < stride; ++x) d += static_cast<char>(x < w ? x + y : 0);
  return d;
}

}  // namespace

// The game's library reads only the pictures' headers at start-up and decodes each picture
// when it is first drawn or tested: every picture comes out as a full decode gives it,
// patterns, runs, colour table and all, whatever happens to the file meanwhile.
TEST_F(ImageLibrary, PicturesDecodedWhenFirstUsedAreTheSame) {
  tk::testing::TempGameDir dir;
  const std::string archive = ArchiveOf({
      {"dib24", MakePicturePayload("TDIB", EncodeDib24(Numbered(24, 16)))},
      {"dib8", MakePicturePayload("TDIB", Dib8(16, 8))},
      {"bitmap", MakePicturePayload("TBitmap", "BM" + std::string(12, '\0') + Dib8(8, 8))},
      {"jpeg", MakePicturePayload("TJPEGImage", EncodeJpeg(Noise(40, 24), 90))},
  });
  dir.Write("Data/Graphic.dxg", archive);

  TPictureCollection eager;
  eager.LoadFromBytes(archive, false);
  items.DecodeWhenUsed = true;
  items.LoadArchive("Data\\Graphic.dxg");
  // Nothing decoded yet, but the sizes and palettes are known.
  for (int i = 0; i < items.Count(); ++i) {
    SCOPED_TRACE(items.Items(i).Name());
    EXPECT_TRUE(items.Items(i).Picture.Pending());
    EXPECT_TRUE(items.Items(i).Picture.Pixels.empty());
    EXPECT_EQ(items.Items(i).Picture.Width, eager.Items(i).Picture.Width);
    EXPECT_EQ(items.Items(i).Picture.Height, eager.Items(i).Picture.Height);
    EXPECT_EQ(items.Items(i).Picture.Palette, eager.Items(i).Picture.Palette);
  }
  items.BuildColorTable();
  eager.BuildColorTable();
  EXPECT_EQ(items.ColorTable, eager.ColorTable);

  // The file goes away and another takes its name: the pictures still come from what was read.
  dir.Write("Data/Graphic.dxg", "");
  Up();
  platform::OffscreenDisplay otherDisplay;
  TDXDraw otherDraw(otherDisplay);
  otherDraw.Initialize();
  eager.AttachDisplay(&otherDraw);
  eager.UploadImages();
  for (int i = 0; i < items.Count(); ++i) {
    auto& lazy = items.Items(i);
    auto& full = eager.Items(i);
    SCOPED_TRACE(lazy.Name());
    ASSERT_EQ(lazy.CountPatterns(), full.CountPatterns());
    EXPECT_TRUE(lazy.Picture.Pending());  // laid out, not decoded
    for (int k = 0; k < lazy.CountPatterns(); ++k) EXPECT_EQ(lazy.PatternRectOf(k), full.PatternRectOf(k));
    TSurface a(48, 32, 0x123456), b(48, 32, 0x123456);
    const int last = full.CountPatterns() - 1;
    lazy.DrawPatternStretched(a, {3, 2, 40, 30}, last);
    full.DrawPatternStretched(b, {3, 2, 40, 30}, last);
    EXPECT_EQ(std::memcmp(a.Pixels(), b.Pixels(), 48 * 32 * 4), 0);
    EXPECT_FALSE(lazy.Picture.Pending());
    const size_t n = static_cast<size_t>(full.Picture.Width) * full.Picture.Height;
    ASSERT_NE(lazy.Pixels(), nullptr);
    EXPECT_TRUE(std::equal(lazy.Pixels(), lazy.Pixels() + n, full.Pixels()));
    EXPECT_EQ(lazy.PatternRef(0).Runs->RowStart, full.PatternRef(0).Runs->RowStart);
    EXPECT_EQ(lazy.PatternRef(0).Runs->Runs.size(), full.PatternRef(0).Runs->Runs.size());
  }
  eager.ReleaseSurfaces();

  // Through a display restart, and in a library never uploaded, Pixels decodes as well.
  draw->Finalize();
  EXPECT_FALSE(items.Items(0).Picture.Pixels.empty());
  TPictureCollection offline;
  offline.DecodeWhenUsed = true;
  dir.Write("Data/Graphic.dxg", archive);
  offline.LoadArchive("Data\\Graphic.dxg");
  ASSERT_NE(offline.Items(3).Pixels(), nullptr);
  EXPECT_EQ(offline.Items(3).Picture.Pixels, eager.Items(3).Picture.Pixels);
  // What a waiting game decodes, one at a time: the three not used yet, then nothing.
  int decoded = 0;
  while (offline.DecodeNextPending()) ++decoded;
  EXPECT_EQ(decoded, 3);
  for (int i = 0; i < offline.Count(); ++i) {
    EXPECT_FALSE(offline.Items(i).Pending());
    EXPECT_EQ(offline.Items(i).Picture.Pixels, eager.Items(i).Picture.Pixels);
  }
}

// A picture whose header is damaged fails the load as before. One whose header reads well
// but whose pixels cannot be decoded (only a JPEG can be) is reported when it is first used,
// with its name and archive, once: from then on it is an empty picture.
TEST_F(ImageLibrary, DamagedPicturesDecodedWhenUsed) {
  tk::testing::TempGameDir dir;
  const std::string jpeg = EncodeJpeg(Noise(64, 48), 90);
  struct Case {
    const char* Name;
    std::string Payload;
    std::string LoadError;
  };
  const std::string dib = EncodeDib24(Numbered(8, 8));
  const std::vector<Case> atLoad = {
      {"bad DIB header", MakePicturePayload("TDIB", std::string("\x10\0\0\0", 4)), "DIB is invalid"},
      {"DIB cut short", MakePicturePayload("TDIB", dib.substr(0, dib.size() - 10)),
       "Stream read error"},
      {"bitmap without its mark", MakePicturePayload("TBitmap", "XX" + std::string(60, '\0')),
       "Bitmap image is not valid"},
      {"JPEG header cut", MakePicturePayload("TJPEGImage", jpeg.substr(0, 20)), ""},
  };
  for (const Case& k : atLoad) {
    SCOPED_TRACE(k.Name);
    dir.Write("Data/Graphic.dxg", ArchiveOf({{"x", k.Payload}}));
    TPictureCollection eager, lazy;
    lazy.DecodeWhenUsed = true;
    const std::string full = ErrorOf([&] { eager.LoadArchive("Data\\Graphic.dxg"); });
    EXPECT_FALSE(full.empty());
    if (!k.LoadError.empty()) {
      EXPECT_EQ(full, k.LoadError);
    }
    EXPECT_EQ(ErrorOf([&] { lazy.LoadArchive("Data\\Graphic.dxg"); }), full);
  }

  dir.Write("Data/Graphic.dxg",
            ArchiveOf({{"ok", MakePicturePayload("TDIB", dib)},
                       {"broken", MakePicturePayload("TJPEGImage", JpegDamagedAfterItsHeader(jpeg))}}));
  TPictureCollection eager;
  const std::string full = ErrorOf([&] { eager.LoadArchive("Data\\Graphic.dxg"); });
  ASSERT_NE(full.find("JPEG image is invalid"), std::string::npos) << full;
  items.DecodeWhenUsed = true;
  items.LoadArchive("Data\\Graphic.dxg");
  Up();
  auto& broken = items.FindImage("broken");
  EXPECT_EQ(broken.Picture.Width, 64);
  TSurface dest(64, 48, 7);
  std::string said, file;
  try {
    broken.DrawPattern(dest, 0, 0, 0);
  } catch (const EError& e) {
    said = e.what();
    file = e.File;
  }
  EXPECT_EQ(said, "Image 'broken': " + full);
  EXPECT_EQ(std::filesystem::path(file).filename(), "Graphic.dxg");
  // Said once; then nothing to draw or test, and the other pictures are unharmed.
  EXPECT_EQ(ErrorOf([&] { broken.DrawPattern(dest, 0, 0, 0); }), "");
  EXPECT_EQ(broken.PatternSurfaceOf(0), nullptr);
  EXPECT_EQ(broken.Pixels(), nullptr);
  EXPECT_EQ(dest.At(5, 5), 7u);
  items.FindImage("ok").DrawPattern(dest, 0, 0, 0);
  EXPECT_EQ(dest.At(1, 0), 2u);
}
