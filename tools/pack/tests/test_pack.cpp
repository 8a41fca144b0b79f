// tinokvak-pack run on archives built here: list, find, unpack then pack, and errors.
#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "media/Container.h"
#include "media/PictureCollection.h"
#include "platform/Cp1251.h"
#include "PackToolTest.h"

namespace fs = std::filesystem;
using Json = nlohmann::json;
using namespace tk;
using packtest::Result;
using packtest::Slurp;
using packtest::Spit;

namespace {

class PackTool : public packtest::PackToolTest {};

TPicture Numbered(int w, int h) {
  TPicture p;
  p.Width = w;
  p.Height = h;
  for (int i = 0; i < w * h; ++i) p.Pixels.push_back(0x102030u * (i + 1) & 0xFFFFFF);
  return p;
}

// Four items: a sheet of cells, a Cyrillic name, a JPEG, a class nobody draws.
std::string SampleArchive() {
  TPictureCollection c;
  auto& frog = c.Add();
  frog.SetName("frog");
  frog.Picture = DecodePicturePayload(MakePicturePayload("TDIB", EncodeDib24(Numbered(6, 2))));
  frog.PatternWidth = 3;
  frog.PatternHeight = 2;
  frog.SetTransparentColor(0x00FF00FF);
  auto& lily = c.Add();
  lily.SetName(Cp("кувшинка"));
  lily.Picture = DecodePicturePayload(MakePicturePayload("TDIB", EncodeDib24(Numbered(4, 4))));
  lily.SkipWidth = 1;
  lily.SystemMemory = true;
  auto& photo = c.Add();
  photo.SetName("menu");
  photo.Picture =
      DecodePicturePayload(MakePicturePayload("TJPEGImage", EncodeJpeg(Numbered(16, 8), 90)));
  photo.Transparent = false;
  auto& icon = c.Add();
  icon.SetName("icon");
  icon.Picture = DecodePicturePayload(MakePicturePayload("TIcon", "\1\2\3"));
  c.BuildColorTable();
  return c.SaveToBytes();
}

}  // namespace

TEST_F(PackTool, ListDescribesEveryItem) {
  Spit(dir / "a.dxg", SampleArchive());
  const Result r = Run({"list", (dir / "a.dxg").string()});
  ASSERT_EQ(r.Status, 0) << r.Err;
  const Json j = Json::parse(r.Out);
  EXPECT_EQ(j["format"], "images");
  EXPECT_EQ(j["colorTable"].get<std::string>().size(), 2048u);
  EXPECT_EQ(j["builtColorTable"], j["colorTable"]);  // the sample stores the built table
  ASSERT_EQ(j["items"].size(), 4u);
  const Json& frog = j["items"][0];
  EXPECT_EQ(frog, Json::parse(R"({"index":0,"name":"frog","class":"TDIB","width":6,"height":2,
      "patternWidth":3,"patternHeight":2,"skipWidth":0,"skipHeight":0,"cellWidth":3,
      "cellHeight":2,"patterns":2,"transparent":true,"transparentColor":16711935,
      "systemMemory":false})"));
  EXPECT_EQ(j["items"][1]["name"], "кувшинка");
  EXPECT_EQ(j["items"][1]["patterns"], 1);
  EXPECT_EQ(j["items"][2]["class"], "TJPEGImage");
  EXPECT_EQ(j["items"][2]["width"], 16);
  EXPECT_EQ(j["items"][3]["class"], "TIcon");
  EXPECT_EQ(j["items"][3]["width"], 0);
  EXPECT_EQ(j["items"][3]["patterns"], 0);
  // Keys in the documented order.
  EXPECT_EQ(r.Out.rfind(R"({"format":"images","colorTable":")", 0), 0u);
}

TEST_F(PackTool, FindUsesTheLibraryLookup) {
  Spit(dir / "a.dxg", SampleArchive());
  const std::string a = (dir / "a.dxg").string();
  EXPECT_EQ(Run({"find", a, "FROG"}).Out, "0\n");
  EXPECT_EQ(Run({"find", a, "КУВШИНКА"}).Out, "1\n");
  const Result missing = Run({"find", a, "жаба"});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Err, "Image 'жаба' not found\n");
}

TEST_F(PackTool, UnpackThenPackGivesTheSameArchive) {
  const std::string original = SampleArchive();
  Spit(dir / "a.dxg", original);
  ASSERT_EQ(Run({"unpack", (dir / "a.dxg").string(), (dir / "out").string()}).Status, 0);
  const Json manifest = Json::parse(Slurp(dir / "out" / "manifest.json"));
  EXPECT_EQ(manifest["format"], "images");
  EXPECT_EQ(manifest["items"][0]["png"], "0.png");
  EXPECT_FALSE(manifest["items"][3].contains("png"));  // nothing to show
  EXPECT_EQ(manifest["items"][3]["payload"], "3.payload");

  // The PNG holds the decoded pixels.
  cairo_surface_t* png = cairo_image_surface_create_from_png((dir / "out" / "0.png").c_str());
  ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_image_surface_get_width(png), 6);
  const auto* row = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(png));
  const TPicture expected = Numbered(6, 2);
  for (int x = 0; x < 6; ++x) EXPECT_EQ(row[x] & 0xFFFFFF, expected.Pixels[x]) << x;
  cairo_surface_destroy(png);

  ASSERT_EQ(
      Run({"pack", (dir / "out" / "manifest.json").string(), (dir / "b.dxg").string()}).Status, 0);
  EXPECT_EQ(Slurp(dir / "b.dxg"), original);

  // Without its stored payload an item is packed from its PNG as a 24-bit DIB.
  Json edited = manifest;
  edited["items"][0].erase("payload");
  Spit(dir / "out" / "edited.json", edited.dump());
  ASSERT_EQ(Run({"pack", (dir / "out" / "edited.json").string(), (dir / "c.dxg").string()}).Status,
            0);
  TPictureCollection c;
  c.LoadFromBytes(Slurp(dir / "c.dxg"));
  EXPECT_EQ(c.Items(0).Picture.ClassName, "TDIB");
  EXPECT_EQ(c.Items(0).Picture.BitCount, 24);
  EXPECT_EQ(c.Items(0).Picture.Pixels, expected.Pixels);
  EXPECT_EQ(c.FindImage(Cp("кувшинка")).Index(), 1);
}

TEST_F(PackTool, ErrorsGiveTheLibraryMessageAndStatusOne) {
  const std::string good = SampleArchive();
  struct Case {
    const char* Name;
    std::string Bytes;
    std::string Message;
  };
  std::string badDib = good;
  // The first picture's DIB header size, right after "TDIB" in its payload.
  const size_t at = badDib.find("TDIB") + 4;
  badDib[at] = 41;
  const std::vector<Case> cases = {
      {"not an archive", "hello", "Invalid stream format\n"},
      {"cut short", good.substr(0, good.size() / 2), "Stream read error\n"},
      {"bad picture", badDib, "DIB is invalid\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    Spit(dir / "bad.dxg", c.Bytes);
    const std::string bad = (dir / "bad.dxg").string();
    for (const auto& args : {std::vector<std::string>{"list", bad},
                             std::vector<std::string>{"unpack", bad, (dir / "x").string()}}) {
      const Result r = Run(args);
      EXPECT_EQ(r.Status, 1) << args[0];
      EXPECT_EQ(r.Err, c.Message) << args[0];
      EXPECT_EQ(r.Out, "") << args[0];
    }
  }
  const Result missing = Run({"list", (dir / "none.dxg").string()});
  EXPECT_EQ(missing.Status, 1);
  EXPECT_EQ(missing.Err.rfind("Cannot open file", 0), 0u);
  EXPECT_EQ(Run({"frobnicate"}).Status, 1);
}
