// Graphics archives ("Data\Graphic.dxg") for tinokvak-pack. Unpacked, item i is i.png (the
// decoded picture, key colour as it is) and i.payload (the stored picture data, so packing
// gives back the same bytes); an item whose manifest entry has only "png" is packed as a
// 24-bit DIB made from the PNG.
#include <cairo.h>

#include <memory>

#include "Kinds.h"
#include "media/DXDraw.h"
#include "media/PictureCollection.h"
#include "platform/Errors.h"

namespace fs = std::filesystem;

namespace tk::pack {

namespace {

std::string TableHex(const std::array<uint8_t, 1024>& t) {
  return ToHex(std::string_view(reinterpret_cast<const char*>(t.data()), t.size()));
}

Json ListImages(std::string_view archive) {
  TPictureCollection c;
  c.LoadFromBytes(archive);
  const std::string stored = TableHex(c.ColorTable);
  c.BuildColorTable();
  platform::OffscreenDisplay screen;
  TDXDraw draw(screen);
  draw.Initialize();
  c.AttachDisplay(&draw);
  c.UploadImages();
  Json items = Json::array();
  for (int i = 0; i < c.Count(); ++i) {
    const TPictureCollectionItem& it = c.Items(i);
    items.push_back({{"index", i},
                     {"name", ToUtf8(it.Name())},
                     {"class", it.Picture.ClassName},
                     {"width", it.Picture.Width},
                     {"height", it.Picture.Height},
                     {"patternWidth", it.PatternWidth},
                     {"patternHeight", it.PatternHeight},
                     {"skipWidth", it.SkipWidth},
                     {"skipHeight", it.SkipHeight},
                     {"cellWidth", it.CellWidth()},
                     {"cellHeight", it.CellHeight()},
                     {"patterns", it.CountPatterns()},
                     {"transparent", it.Transparent},
                     {"transparentColor", it.TransparentColor()},
                     {"systemMemory", it.SystemMemory}});
  }
  c.ReleaseSurfaces();
  return Json{{"format", "images"},
              {"colorTable", stored},
              {"builtColorTable", TableHex(c.ColorTable)},
              {"items", std::move(items)}};
}

int FindImage(std::string_view archive, const std::string& name) {
  TPictureCollection c;
  c.LoadFromBytes(archive);
  return c.FindImage(name).Index();
}

void WritePng(const TPicture& p, const fs::path& file) {
  const int stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, p.Width);
  std::vector<unsigned char> data(static_cast<size_t>(stride) * p.Height);
  for (int y = 0; y < p.Height; ++y)
    std::memcpy(data.data() + static_cast<size_t>(y) * stride,
                p.Pixels.data() + static_cast<size_t>(y) * p.Width, p.Width * sizeof(uint32_t));
  // Cairo's RGB24 is the same 0x00RRGGBB word as our pixels.
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> s(
      cairo_image_surface_create_for_data(data.data(), CAIRO_FORMAT_RGB24, p.Width, p.Height,
                                          stride),
      cairo_surface_destroy);
  if (cairo_surface_write_to_png(s.get(), file.string().c_str()) != CAIRO_STATUS_SUCCESS)
    throw EInOutError("Cannot write \"" + file.string() + "\"");
}

// A PNG as a picture: translucent pixels (alpha below half) become the key colour, the
// others their colour without the alpha.
TPicture ReadPng(const fs::path& file, TColor key) {
  std::unique_ptr<cairo_surface_t, decltype(&cairo_surface_destroy)> s(
      cairo_image_surface_create_from_png(file.string().c_str()), cairo_surface_destroy);
  if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS)
    throw EFOpenError("Cannot open file \"" + file.string() + "\". " +
                      cairo_status_to_string(cairo_surface_status(s.get())));
  cairo_surface_flush(s.get());
  TPicture p;
  p.ClassName = "TDIB";
  p.Width = cairo_image_surface_get_width(s.get());
  p.Height = cairo_image_surface_get_height(s.get());
  const int stride = cairo_image_surface_get_stride(s.get());
  const bool alpha = cairo_image_surface_get_format(s.get()) == CAIRO_FORMAT_ARGB32;
  const unsigned char* data = cairo_image_surface_get_data(s.get());
  p.Pixels.resize(static_cast<size_t>(p.Width) * p.Height);
  const uint32_t keyPixel = ColorToPixel(key);
  for (int y = 0; y < p.Height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < p.Width; ++x) {
      uint32_t px = row[x];
      if (alpha) {
        const uint32_t a = px >> 24;
        if (a < 128) {
          px = keyPixel;
        } else if (a < 255) {
          auto un = [&](int sh) {
            return std::min<uint32_t>(255, ((px >> sh) & 255) * 255 / a) << sh;
          };
          px = un(16) | un(8) | un(0);
        }
      }
      p.Pixels[static_cast<size_t>(y) * p.Width + x] = px & 0xFFFFFF;
    }
  }
  p.RawPayload = EncodeDib24(p);
  return p;
}

void UnpackImages(std::string_view archive, const fs::path& dir) {
  TPictureCollection c;
  c.LoadFromBytes(archive);
  Json items = Json::array();
  for (int i = 0; i < c.Count(); ++i) {
    const TPictureCollectionItem& it = c.Items(i);
    Json j{{"index", i},
           {"name", ToUtf8(it.Name())},
           {"class", it.Picture.ClassName},
           {"width", it.Picture.Width},
           {"height", it.Picture.Height},
           {"patternWidth", it.PatternWidth},
           {"patternHeight", it.PatternHeight},
           {"skipWidth", it.SkipWidth},
           {"skipHeight", it.SkipHeight},
           {"transparent", it.Transparent},
           {"transparentColor", it.TransparentColor()},
           {"systemMemory", it.SystemMemory}};
    const std::string stem = std::to_string(i);
    if (!it.Picture.Empty()) {
      WritePng(it.Picture, dir / (stem + ".png"));
      j["png"] = stem + ".png";
    }
    if (!it.Picture.ClassName.empty()) {
      WriteFileBytes(dir / (stem + ".payload"),
                     MakePicturePayload(it.Picture.ClassName, it.Picture.RawPayload, false));
      j["payload"] = stem + ".payload";
    }
    items.push_back(std::move(j));
  }
  const Json manifest{
      {"format", "images"}, {"colorTable", TableHex(c.ColorTable)}, {"items", std::move(items)}};
  WriteFileBytes(dir / "manifest.json", manifest.dump(2) + "\n");
}

template <class T>
T Value(const Json& j, const char* key, T fallback) {
  return j.contains(key) ? j.at(key).get<T>() : fallback;
}

std::string PackImages(const Json& manifest, const fs::path& dir) {
  TPictureCollection c;
  for (const Json& j : manifest.at("items")) {
    TPictureCollectionItem& it = c.Add();
    it.SetName(FromUtf8(Value<std::string>(j, "name", "")));
    it.PatternWidth = Value<int32_t>(j, "patternWidth", 0);
    it.PatternHeight = Value<int32_t>(j, "patternHeight", 0);
    it.SkipWidth = Value<int32_t>(j, "skipWidth", 0);
    it.SkipHeight = Value<int32_t>(j, "skipHeight", 0);
    it.Transparent = Value<bool>(j, "transparent", true);
    it.SystemMemory = Value<bool>(j, "systemMemory", false);
    it.SetTransparentColor(Value<uint32_t>(j, "transparentColor", 0));
    if (j.contains("payload"))
      it.Picture = DecodePicturePayload(ReadFileBytes(dir / j.at("payload").get<std::string>()));
    else if (j.contains("png"))
      it.Picture = ReadPng(dir / j.at("png").get<std::string>(), it.TransparentColor());
  }
  if (manifest.contains("colorTable")) {
    const std::string table = FromHex(manifest.at("colorTable").get<std::string>());
    if (table.size() != c.ColorTable.size())
      throw EConvertError("colorTable must be 2048 hex digits");
    std::memcpy(c.ColorTable.data(), table.data(), table.size());
  } else {
    c.BuildColorTable();
  }
  return c.SaveToBytes();
}

const TArchiveKindRegistrar kImages({"TPictureCollectionComponent", "images", ListImages, FindImage,
                                     UnpackImages, PackImages});

}  // namespace

}  // namespace tk::pack
