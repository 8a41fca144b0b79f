#include "Manifest.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "Raster.h"
#include "platform/Cp1251.h"

namespace tk::assets {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Large enough for any picture of an 800 x 600 game, small enough to catch a typo.
constexpr int MaxSide = 8192;

struct Context {
  std::string Where;
  [[noreturn]] void Fail(const std::string& what) const { throw BuildError(Where + ": " + what); }
};

int PositiveInt(const Context& c, const json& v, const char* field) {
  if (!v.is_number_integer() || v.get<long long>() < 1 || v.get<long long>() > MaxSide)
    c.Fail(std::string("\"") + field + "\" must be a whole number from 1 to " +
           std::to_string(MaxSide) + ", not " + v.dump());
  return v.get<int>();
}

std::pair<int, int> Size(const Context& c, const json& v, const char* field) {
  if (!v.is_array() || v.size() != 2 || !v[0].is_number_integer() || !v[1].is_number_integer() ||
      v[0].get<long long>() < 1 || v[1].get<long long>() < 1 || v[0].get<long long>() > MaxSide ||
      v[1].get<long long>() > MaxSide)
    c.Fail(std::string("bad size: \"") + field + "\" must be [width, height] in pixels from 1 to " +
           std::to_string(MaxSide) + ", not " + v.dump());
  return {v[0].get<int>(), v[1].get<int>()};
}

fs::path SourceFile(const Context& c, const fs::path& root, const json& v, const char* field) {
  if (!v.is_string() || v.get<std::string>().empty())
    c.Fail(std::string("\"") + field + "\" must be a file name, not " + v.dump());
  fs::path p = root / v.get<std::string>();
  std::error_code ec;
  if (!fs::is_regular_file(p, ec)) c.Fail("missing file " + v.get<std::string>());
  return p;
}

uint32_t KeyColour(const Context& c, const json& v) {
  const std::string s = v.is_string() ? v.get<std::string>() : "";
  if (s.size() != 7 || s[0] != '#' ||
      !std::all_of(s.begin() + 1, s.end(), [](char ch) { return std::isxdigit(uint8_t(ch)); }))
    c.Fail("\"key\" must be a colour \"#RRGGBB\", not " + v.dump());
  return static_cast<uint32_t>(std::stoul(s.substr(1), nullptr, 16));
}

ImageSpec ReadImage(const Context& c, const fs::path& root, const json& im) {
  static const std::set<std::string> known = {"name", "svg",  "frames", "sheet", "size", "cell",
                                              "columns", "count", "key", "transparent", "class"};
  if (!im.is_object()) c.Fail("an image must be a JSON object");
  for (const auto& [k, v] : im.items())
    if (!known.count(k)) c.Fail("unknown field \"" + k + "\"");

  ImageSpec s;
  s.Where = c.Where;
  const int kinds = int(im.contains("svg")) + int(im.contains("frames")) + int(im.contains("sheet"));
  if (kinds != 1) c.Fail("give exactly one of \"svg\", \"frames\" and \"sheet\"");

  if (im.contains("svg")) {
    s.Kind = SourceKind::Svg;
    s.Files.push_back(SourceFile(c, root, im["svg"], "svg"));
    if (!im.contains("size")) c.Fail("bad size: \"size\" is missing");
    for (const char* f : {"cell", "columns", "count"})
      if (im.contains(f)) c.Fail(std::string("\"") + f + "\" is only for frames and sheets");
    std::tie(s.Width, s.Height) = Size(c, im["size"], "size");
  } else {
    if (im.contains("size")) c.Fail("frames and sheets take \"cell\", not \"size\"");
    if (!im.contains("cell")) c.Fail("bad size: \"cell\" is missing");
    std::tie(s.CellWidth, s.CellHeight) = Size(c, im["cell"], "cell");
    if (im.contains("frames")) {
      s.Kind = SourceKind::Frames;
      const json& fr = im["frames"];
      if (!fr.is_array() || fr.empty()) c.Fail("\"frames\" must be a non-empty list of files");
      if (im.contains("count")) c.Fail("\"count\" is only for sheets (frames count themselves)");
      for (const json& f : fr) s.Files.push_back(SourceFile(c, root, f, "frames"));
      s.Count = static_cast<int>(s.Files.size());
    } else {
      s.Kind = SourceKind::Sheet;
      s.Files.push_back(SourceFile(c, root, im["sheet"], "sheet"));
      if (!im.contains("count")) c.Fail("a sheet needs \"count\"");
      s.Count = PositiveInt(c, im["count"], "count");
    }
    s.Columns = im.contains("columns") ? PositiveInt(c, im["columns"], "columns") : s.Count;
    if (s.Columns > s.Count) c.Fail("\"columns\" is larger than the number of frames");
    const int rows = (s.Count + s.Columns - 1) / s.Columns;
    if (static_cast<long long>(s.CellWidth) * s.Columns > MaxSide ||
        static_cast<long long>(s.CellHeight) * rows > MaxSide)
      c.Fail("bad size: the picture would exceed " + std::to_string(MaxSide) + " pixels a side");
    s.Width = s.CellWidth * s.Columns;
    s.Height = s.CellHeight * rows;
  }

  if (im.contains("key")) s.KeyRgb = KeyColour(c, im["key"]);
  if (im.contains("transparent")) {
    if (!im["transparent"].is_boolean()) c.Fail("\"transparent\" must be true or false");
    s.Transparent = im["transparent"].get<bool>();
  }
  if (im.contains("class")) {
    const json& cl = im["class"];
    if (cl == "TJPEGImage") {
      s.Jpeg = true;
    } else if (cl != "TDIB") {
      c.Fail("\"class\" must be \"TDIB\" or \"TJPEGImage\", not " + cl.dump());
    }
  }
  if (s.Jpeg && s.Transparent)
    c.Fail("a TJPEGImage must be opaque: add \"transparent\": false (JPEG blurs the key colour)");
  return s;
}

}  // namespace

std::vector<ImageSpec> ReadManifest(const fs::path& file) {
  const std::string fname = file.filename().string();
  std::ifstream in(file, std::ios::binary);
  if (!in) throw BuildError(fname + ": cannot open the manifest");
  std::stringstream ss;
  ss << in.rdbuf();
  json doc;
  try {
    doc = json::parse(ss.str());
  } catch (const json::exception& e) {
    throw BuildError(fname + ": not valid JSON: " + e.what());
  }
  if (!doc.is_object() || !doc.contains("images") || !doc["images"].is_array())
    throw BuildError(fname + ": expected an object with an \"images\" list");
  for (const auto& [k, v] : doc.items())
    if (k != "images") throw BuildError(fname + ": unknown field \"" + k + "\"");

  std::vector<ImageSpec> out;
  const json& images = doc["images"];
  for (size_t i = 0; i < images.size(); ++i) {
    const json& im = images[i];
    Context c{fname + ": image #" + std::to_string(i + 1)};
    if (!im.is_object() || !im.contains("name") || !im["name"].is_string() ||
        im["name"].get<std::string>().empty())
      c.Fail("\"name\" is missing or empty");
    const std::string utf8 = im["name"].get<std::string>();
    c.Where = fname + ": image '" + utf8 + "'";
    const std::string name = Utf8ToCp1251(utf8);
    if (Cp1251ToUtf8(name) != utf8) c.Fail("the name has characters outside Windows-1251");
    for (const ImageSpec& prev : out)
      if (SameTextCp1251(prev.Name, name))
        c.Fail("duplicate name (letter case does not count in lookups)");
    ImageSpec s = ReadImage(c, file.parent_path(), im);
    s.Name = name;
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<fs::path> ManifestFiles(const fs::path& dir) {
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) throw BuildError(dir.string() + ": not a folder");
  std::vector<fs::path> files;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file() && e.path().extension() == ".json") files.push_back(e.path());
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });
  return files;
}

std::vector<ImageSpec> ReadManifestDir(const fs::path& dir) {
  std::vector<ImageSpec> all;
  for (const fs::path& f : ManifestFiles(dir)) {
    auto part = ReadManifest(f);
    all.insert(all.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
  }
  return all;
}

}  // namespace tk::assets
