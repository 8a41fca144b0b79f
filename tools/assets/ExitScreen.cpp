#include "ExitScreen.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "Raster.h"
#include "media/Picture.h"

namespace tk::assets {

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

constexpr int ScreenW = 800, ScreenH = 600;
const char* const Layout = "exitscreen.json";

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw BuildError(std::string(Layout) + ": " + where + ": " + what);
}

std::vector<int> Ints(const json& v, size_t n, const std::string& where, const char* field) {
  if (!v.is_array() || v.size() != n)
    Fail(where, std::string("\"") + field + "\" must be a list of " + std::to_string(n) + " numbers");
  std::vector<int> out;
  for (const json& e : v) {
    if (!e.is_number_integer() || e.get<long long>() < 0 || e.get<long long>() > 10000)
      Fail(where, std::string("\"") + field + "\" holds " + e.dump());
    out.push_back(e.get<int>());
  }
  return out;
}

std::string Text(const json& obj, const char* field, const std::string& where) {
  if (!obj.contains(field) || !obj[field].is_string() || obj[field].get<std::string>().empty())
    Fail(where, std::string("\"") + field + "\" is missing");
  return obj[field].get<std::string>();
}

fs::path Source(const fs::path& srcDir, const json& obj, const char* field, const std::string& where) {
  const std::string name = Text(obj, field, where);
  std::error_code ec;
  if (!fs::is_regular_file(srcDir / name, ec)) Fail(where, "missing file " + name);
  return srcDir / name;
}

// The game draws exit-screen pictures without a colour key, so buttons are painted onto
// their own patch of the background and blend in at the edges.
std::vector<uint32_t> Picture(const fs::path& svg, const Canvas* background, int x, int y, int w,
                              int h) {
  Canvas c(w, h);
  if (background)
    for (int r = 0; r < h; ++r)
      for (int col = 0; col < w; ++col)
        c.Pixels[static_cast<size_t>(r) * w + col] =
            background->Pixels[static_cast<size_t>(y + r) * ScreenW + x + col];
  RenderSvg(c, svg, 0, 0, w, h);
  return Flatten(c, false, 0);
}

void WriteFile(const fs::path& file, const std::string& bytes) {
  std::ofstream f(file, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!f.flush()) throw BuildError("cannot write " + file.string());
}

void PutU32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
}

// A 24-bit Windows bitmap file: the 14-byte file header, then the DIB.
void WriteBmp(const fs::path& file, int w, int h, const std::vector<uint32_t>& rgb) {
  TPicture p;
  p.Width = w;
  p.Height = h;
  p.Pixels.assign(rgb.begin(), rgb.end());
  p.BitCount = 24;
  const std::string dib = EncodeDib24(p);
  std::string bmp = "BM";
  PutU32(bmp, static_cast<uint32_t>(14 + dib.size()));
  PutU32(bmp, 0);  // two reserved words
  PutU32(bmp, 14 + 40);  // pixels follow the 40-byte header directly (no colour table)
  bmp += dib;
  const TPicture back = DecodeBmpFile(bmp);
  if (back.Width != w || back.Height != h || back.Pixels != rgb)
    throw BuildError(file.string() + ": the bitmap does not read back as written");
  WriteFile(file, bmp);
}

std::string Rect(const std::vector<int>& at, const std::vector<int>& size) {
  return std::to_string(at[0]) + " " + std::to_string(at[1]) + " " + std::to_string(size[0]) +
         " " + std::to_string(size[1]);
}

}  // namespace

void BuildExitScreen(const fs::path& outDir, const fs::path& srcDir) {
  json doc;
  {
    std::ifstream in(srcDir / Layout, std::ios::binary);
    if (!in) throw BuildError(std::string(Layout) + ": cannot open it in " + srcDir.string());
    std::stringstream ss;
    ss << in.rdbuf();
    try {
      doc = json::parse(ss.str());
    } catch (const json::exception& e) {
      throw BuildError(std::string(Layout) + ": not valid JSON: " + e.what());
    }
  }
  const fs::path wdata = outDir / "wdata";
  fs::create_directories(wdata);

  Canvas background(ScreenW, ScreenH);
  RenderSvg(background, Source(srcDir, doc, "background", "background"), 0, 0, ScreenW, ScreenH);
  WriteBmp(wdata / "bg.bmp", ScreenW, ScreenH, Flatten(background, false, 0));

  const json& buttons = doc.value("buttons", json::array());
  if (!buttons.is_array() || buttons.empty()) Fail("buttons", "at least the exit button is needed");
  std::ostringstream ini;
  ini << buttons.size() << "\n" << "wdata\\bg.bmp\n";
  std::set<std::string> names;
  for (size_t i = 0; i < buttons.size(); ++i) {
    const json& b = buttons[i];
    const bool last = i + 1 == buttons.size();
    const std::string where = "button #" + std::to_string(i + 1);
    const std::string name = Text(b, "name", where);
    if (!names.insert(name).second) Fail(where, "duplicate name " + name);
    const auto at = Ints(b.value("at", json()), 2, where, "at");
    const auto size = Ints(b.value("size", json()), 2, where, "size");
    if (size[0] < 1 || size[1] < 1 || at[0] + size[0] > ScreenW || at[1] + size[1] > ScreenH)
      Fail(where, "the button must lie on the 800 x 600 screen");
    if (last ? (b.contains("target") || !b.contains("disabled"))
             : (!b.contains("target") || b.contains("disabled")))
      Fail(where, "the last button (and only it) is the exit button: it has \"disabled\" and no \"target\"");

    std::vector<std::pair<const char*, const char*>> states = {{"normal", "_n"}, {"hover", "_h"}};
    if (last) states.push_back({"disabled", "_d"});
    std::vector<std::string> files;
    for (const auto& [field, suffix] : states) {
      const fs::path svg = Source(srcDir, b, field, where);
      const std::string file = name + suffix + ".bmp";
      WriteBmp(wdata / file, size[0], size[1], Picture(svg, &background, at[0], at[1], size[0], size[1]));
      files.push_back("wdata\\" + file);
    }
    // Hover and disabled images share the normal image's place.
    ini << Rect(at, size) << "\n" << Rect(at, size) << "\n";
    if (last) ini << Rect(at, size) << "\n";
    for (const std::string& f : files) ini << f << "\n";
    if (!last) {
      const std::string target = Text(b, "target", where);
      std::string rel = target;
      for (char& ch : rel)
        if (ch == '\\') ch = '/';
      std::error_code ec;
      if (!fs::is_regular_file(outDir / rel, ec))
        Fail(where, "the target " + target + " is not in " + outDir.string());
      ini << target << "\n";
    }
  }

  const json& cd = doc.value("countdown", json::object());
  const auto centre = Ints(cd.value("centre", json()), 2, "countdown", "centre");
  const auto seconds = Ints(json::array({cd.value("seconds", json())}), 1, "countdown", "seconds");
  const auto colour = Ints(cd.value("colour", json()), 3, "countdown", "colour");
  for (int c : colour)
    if (c > 255) Fail("countdown", "colour parts are 0 to 255");
  ini << centre[0] << " " << centre[1] << "\n" << seconds[0] << "\n";
  ini << colour[0] << " " << colour[1] << " " << colour[2] << "\n";
  const auto font = Ints(json::array({cd.value("fontSize", json())}), 1, "countdown", "fontSize");
  ini << "TRUE\n" << font[0] << "\n";
  WriteFile(wdata / "config.ini", ini.str());
}

}  // namespace tk::assets
