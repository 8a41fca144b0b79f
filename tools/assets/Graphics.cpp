#include "Graphics.h"

#include <fstream>
#include <set>

#include "Manifest.h"
#include "Raster.h"
#include "media/Picture.h"
#include "media/PictureCollection.h"
#include "platform/Cp1251.h"

namespace tk::assets {

namespace fs = std::filesystem;

namespace {

constexpr int JpegQuality = 92;

uint32_t RgbToColor(uint32_t rgb) {  // 0x00RRGGBB -> 0x00BBGGRR
  return (rgb & 0xFF) << 16 | (rgb & 0xFF00) | (rgb >> 16 & 0xFF);
}

// The flattened picture of one image, as stored in the archive.
TPicture Render(const ImageSpec& s) {
  Canvas canvas(s.Width, s.Height);
  try {
    switch (s.Kind) {
      case SourceKind::Svg:
      case SourceKind::Sheet:
        RenderSvg(canvas, s.Files[0], 0, 0, s.Width, s.Height);
        break;
      case SourceKind::Frames:
        for (int i = 0; i < s.Count; ++i)
          RenderSvg(canvas, s.Files[i], i % s.Columns * s.CellWidth, i / s.Columns * s.CellHeight,
                    s.CellWidth, s.CellHeight);
        break;
    }
  } catch (const BuildError& e) {
    throw BuildError(s.Where + ": " + e.what());
  }
  TPicture p;
  p.Width = s.Width;
  p.Height = s.Height;
  const std::vector<uint32_t> flat = Flatten(canvas, s.Transparent, s.KeyRgb);
  p.Pixels.assign(flat.begin(), flat.end());
  p.BitCount = 24;
  return p;
}

std::string Payload(const ImageSpec& s, const TPicture& p) {
  if (!s.Jpeg) return MakePicturePayload("TDIB", EncodeDib24(p));
  return MakePicturePayload("TJPEGImage", EncodeJpeg(p, JpegQuality));
}

struct Built {
  const ImageSpec* Spec;
  TPicture Picture;  // decoded from Payload: what the game will see
};

TPicture Stored(const ImageSpec& s) {
  TPicture stored = DecodePicturePayload(Payload(s, Render(s)));
  if (stored.Width != s.Width || stored.Height != s.Height)
    throw BuildError(s.Where + ": the stored picture does not decode to its own size");
  return stored;
}

int ExpectedPatterns(const ImageSpec& s) {
  return s.Kind == SourceKind::Svg ? 1 : s.Columns * ((s.Count + s.Columns - 1) / s.Columns);
}

void CheckReadBack(const fs::path& file, const std::vector<Built>& built) {
  TPictureCollection back;
  back.LoadArchive(file.string());
  if (back.Count() != static_cast<int>(built.size()))
    throw BuildError(file.string() + ": read back " + std::to_string(back.Count()) +
                     " images instead of " + std::to_string(built.size()));
  for (size_t i = 0; i < built.size(); ++i) {
    const ImageSpec& s = *built[i].Spec;
    const TPictureCollectionItem& it = back.Items(static_cast<int>(i));
    const bool single = s.Kind == SourceKind::Svg;
    const int patterns = single ? (it.Picture.Empty() ? 0 : 1) : it.CountPatterns();
    if (it.Name() != s.Name || it.PatternWidth != s.CellWidth || it.PatternHeight != s.CellHeight ||
        patterns != ExpectedPatterns(s) || it.Picture.Width != s.Width ||
        it.Picture.Height != s.Height || it.Transparent != s.Transparent ||
        it.TransparentColor() != RgbToColor(s.KeyRgb) ||
        it.Picture.Pixels != built[i].Picture.Pixels)
      throw BuildError(s.Where + ": the archive read back differs from what was written");
  }
}

}  // namespace

void BuildGraphics(const fs::path& out, const fs::path& manifestDir) {
  const std::vector<ImageSpec> specs = ReadManifestDir(manifestDir);
  std::vector<Built> built;
  built.reserve(specs.size());
  for (const ImageSpec& s : specs) built.push_back({&s, Stored(s)});

  TPictureCollection coll;
  for (Built& b : built) {
    const ImageSpec& s = *b.Spec;
    TPictureCollectionItem& it = coll.Add();
    it.SetName(s.Name);
    it.Picture = b.Picture;
    it.PatternWidth = s.CellWidth;
    it.PatternHeight = s.CellHeight;
    it.Transparent = s.Transparent;
    it.SetTransparentColor(RgbToColor(s.KeyRgb));
    it.SystemMemory = false;
  }
  coll.BuildColorTable();
  const std::string bytes = coll.SaveToBytes();

  // Written beside the target and moved over it only once it reads back right, so a
  // failed build never leaves a half-written archive for the game.
  const fs::path target = fs::weakly_canonical(fs::absolute(out));
  const fs::path tmp = target.parent_path() / (target.filename().string() + ".part");
  {
    std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
    f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!f.flush()) throw BuildError("cannot write " + tmp.string());
  }
  try {
    CheckReadBack(tmp, built);
  } catch (...) {
    fs::remove(tmp);
    throw;
  }
  fs::rename(tmp, target);
}

int PreviewGraphics(const fs::path& dir, const fs::path& manifestDir, std::ostream& errors) {
  // Keeps going past a broken manifest or picture, so one mistake does not hide the rest.
  int failures = 0;
  fs::create_directories(dir);
  for (const fs::path& manifest : ManifestFiles(manifestDir)) {
    std::vector<ImageSpec> specs;
    try {
      specs = ReadManifest(manifest);
    } catch (const BuildError& e) {
      errors << e.what() << "\n";
      ++failures;
      continue;
    }
    for (const ImageSpec& s : specs) {
      std::string file = Cp1251ToUtf8(s.Name);
      for (char& ch : file)
        if (ch == '/' || ch == '\\' || ch == ':' || static_cast<unsigned char>(ch) < 0x20) ch = '_';
      try {
        const TPicture stored = Stored(s);
        WritePng(dir / (file + ".png"), s.Width, s.Height,
                 std::vector<uint32_t>(stored.Pixels.begin(), stored.Pixels.end()));
      } catch (const std::exception& e) {
        errors << e.what() << "\n";
        ++failures;
      }
    }
  }
  return failures;
}

}  // namespace tk::assets
