// The asset builder end to end: manifests and SVGs in a temporary folder, the archive
// read back through the game's own image library.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "media/Picture.h"
#include "exitscreen/Description.h"
#include "media/PictureCollection.h"

namespace fs = std::filesystem;

namespace {

struct RunResult {
  int Status;
  std::string Errors;
};

// Runs the builder with an argument vector (no shell), collecting its stderr.
RunResult RunTool(const std::vector<std::string>& args, const fs::path& errFile) {
  std::vector<char*> argv;
  std::string tool = TK_ASSETS_TOOL;
  argv.push_back(tool.data());
  std::vector<std::string> copy = args;
  for (std::string& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(fd, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  std::ifstream in(errFile);
  std::stringstream ss;
  ss << in.rdbuf();
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ss.str()};
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void WriteFile(const fs::path& p, const std::string& s) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << s;
}

std::string Svg(int w, int h, const std::string& body) {
  return "<svg xmlns='http://www.w3.org/2000/svg' width='" + std::to_string(w) + "' height='" +
         std::to_string(h) + "'>" + body + "</svg>";
}

class AssetsTool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("tk_assets_" + std::to_string(getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    src_ = dir_ / "src";
    // A red disc with soft edges and a square of the key colour itself, on magenta.
    WriteFile(src_ / "a/dot.svg", Svg(40, 20,
                                      "<circle cx='10' cy='10' r='8.5' fill='#ff0000'/>"
                                      "<rect x='26' y='4' width='10' height='10' fill='#ff00ff'/>"));
    // Half-transparent white, composed over black when not keyed.
    WriteFile(src_ / "a/glass.svg", Svg(8, 8, "<rect width='8' height='8' fill='#fff' fill-opacity='0.5'/>"));
    WriteFile(src_ / "a/f0.svg", Svg(16, 12, "<rect width='16' height='12' fill='#0000ff'/>"));
    WriteFile(src_ / "a/f1.svg", Svg(16, 12, "<rect width='16' height='12' fill='#00ff00'/>"));
    WriteFile(src_ / "a/sheet.svg", Svg(20, 20, "<rect width='10' height='10' fill='#ffff00'/>"));
    WriteFile(src_ / "a/bg.svg", Svg(32, 32, "<rect width='32' height='32' fill='#336699'/>"));
    WriteFile(src_ / "images.json", R"({"images": [
      {"name": "dot", "svg": "a/dot.svg", "size": [40, 20], "key": "#FF00FF"},
      {"name": "glass", "svg": "a/glass.svg", "size": [8, 8], "transparent": false},
      {"name": "anim", "frames": ["a/f0.svg", "a/f1.svg"], "cell": [16, 12]},
      {"name": "grid", "sheet": "a/sheet.svg", "cell": [10, 10], "columns": 2, "count": 3},
      {"name": "bg", "svg": "a/bg.svg", "size": [32, 32], "transparent": false, "class": "TJPEGImage"}
    ]})");
  }
  void TearDown() override { fs::remove_all(dir_); }

  RunResult Build(const fs::path& out) {
    return RunTool({"graphics", out.string(), src_.string()}, dir_ / "stderr.txt");
  }

  fs::path dir_, src_;
};

TEST_F(AssetsTool, BuildsAnArchiveTheGameReadsBack) {
  const fs::path out = dir_ / "Graphic.dxg";
  const RunResult r = Build(out);
  ASSERT_EQ(r.Status, 0) << r.Errors;

  tk::TPictureCollection c;
  c.LoadArchive(out.string());
  ASSERT_EQ(c.Count(), 5);
  struct Expect {
    const char* Name;
    const char* Class;
    int W, H, PatternW, PatternH;
    bool Transparent;
    uint32_t Key;
  };
  const Expect expect[] = {
      {"dot", "TDIB", 40, 20, 0, 0, true, 0xFF00FF},   {"glass", "TDIB", 8, 8, 0, 0, false, 0},
      {"anim", "TDIB", 32, 12, 16, 12, true, 0},       {"grid", "TDIB", 20, 20, 10, 10, true, 0},
      {"bg", "TJPEGImage", 32, 32, 0, 0, false, 0},
  };
  for (int i = 0; i < 5; ++i) {
    const auto& it = c.Items(i);
    const Expect& e = expect[i];
    SCOPED_TRACE(e.Name);
    EXPECT_EQ(it.Name(), e.Name);
    EXPECT_EQ(it.Picture.ClassName, e.Class);
    EXPECT_EQ(it.Picture.Width, e.W);
    EXPECT_EQ(it.Picture.Height, e.H);
    EXPECT_EQ(it.PatternWidth, e.PatternW);
    EXPECT_EQ(it.PatternHeight, e.PatternH);
    EXPECT_EQ(it.Transparent, e.Transparent);
    EXPECT_EQ(it.TransparentColor(), e.Key);
    EXPECT_FALSE(it.SystemMemory);
  }
  EXPECT_EQ(c.Items(2).CountPatterns(), 2);
  EXPECT_EQ(c.Items(3).CountPatterns(), 4);  // 3 frames fill a 2 x 2 grid

  // Flattened: every pixel of the keyed picture is the art's own red or exactly the key;
  // the key-coloured square survives one step away from the key.
  const auto& dot = c.Items(0).Picture.Pixels;
  int red = 0, key = 0, nudged = 0;
  for (uint32_t p : dot) {
    red += p == 0xFF0000;
    key += p == 0xFF00FF;
    nudged += p == 0xFF01FF;
  }
  EXPECT_EQ(red + key + nudged, static_cast<int>(dot.size()));
  EXPECT_GT(red, 150);
  EXPECT_EQ(nudged, 100);

  // Not keyed: half-transparent white over black.
  for (uint32_t p : c.Items(1).Picture.Pixels) EXPECT_NEAR(static_cast<int>(p & 0xFF), 128, 1);

  // Frames in row-major order; the empty sheet cells are the key.
  const auto& anim = c.Items(2).Picture.Pixels;
  EXPECT_EQ(anim[0], 0x0000FFu);
  EXPECT_EQ(anim[16], 0x00FF00u);
  const auto& grid = c.Items(3).Picture.Pixels;
  EXPECT_EQ(grid[0], 0xFFFF00u);
  EXPECT_EQ(grid[15 * 20 + 15], 0u);

  // The same sources give the same bytes.
  const fs::path again = dir_ / "again.dxg";
  ASSERT_EQ(Build(again).Status, 0);
  EXPECT_EQ(ReadFile(out), ReadFile(again));
}

TEST_F(AssetsTool, ManifestMistakesStopTheBuildNamingFileAndImage) {
  struct Case {
    const char* Image;
    const char* Reason;
  };
  const Case cases[] = {
      {R"({"name": "lost", "svg": "a/nothere.svg", "size": [10, 10]})", "missing file a/nothere.svg"},
      {R"({"name": "flat", "svg": "a/dot.svg", "size": [40, 0]})", "bad size"},
      {R"({"name": "strip", "frames": ["a/f0.svg"], "cell": [16]})", "bad size"},
      {R"({"name": "DOT", "svg": "a/dot.svg", "size": [40, 20]})", "duplicate name"},
      {R"({"name": "odd", "svg": "a/dot.svg", "size": [40, 20], "class": "TBitmap"})", "class"},
  };
  const std::string first = R"({"images": [{"name": "dot", "svg": "a/dot.svg", "size": [40, 20]},)";
  const fs::path out = dir_ / "Graphic.dxg";
  for (const Case& k : cases) {
    SCOPED_TRACE(k.Image);
    WriteFile(src_ / "images.json", first + k.Image + "]}");
    const RunResult r = Build(out);
    EXPECT_EQ(r.Status, 1);
    EXPECT_NE(r.Errors.find("images.json"), std::string::npos) << r.Errors;
    const std::string name = std::string(k.Image).substr(10, std::string(k.Image).find('"', 10) - 10);
    EXPECT_NE(r.Errors.find("'" + name + "'"), std::string::npos) << r.Errors;
    EXPECT_NE(r.Errors.find(k.Reason), std::string::npos) << r.Errors;
    EXPECT_FALSE(fs::exists(out));
  }
}

TEST_F(AssetsTool, ExitScreenDescriptionNamesFilesThatExist) {
  const fs::path game = dir_ / "game";
  const fs::path sample = fs::path(TK_SOURCE_DIR) / "assets/exitscreen";
  // Without the shortcuts its buttons open, the screen would be skipped by the game.
  RunResult r = RunTool({"exitscreen", game.string(), sample.string()}, dir_ / "stderr.txt");
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Errors.find("target"), std::string::npos) << r.Errors;

  WriteFile(game / "wdata/site.url", "[InternetShortcut]\r\nURL=http://127.0.0.1/\r\n");
  WriteFile(game / "wdata/home.url", "[InternetShortcut]\r\nURL=http://127.0.0.1/\r\n");
  r = RunTool({"exitscreen", game.string(), sample.string()}, dir_ / "stderr.txt");
  ASSERT_EQ(r.Status, 0) << r.Errors;

  // The game's own reader accepts it, and every picture has its button's size.
  auto local = [&](std::string_view name) {
    std::string rel(name);
    for (char& ch : rel)
      if (ch == '\\') ch = '/';
    return game / rel;
  };
  const tk::TExitScreenDescription d = tk::ReadExitScreenDescription(
      ReadFile(game / "wdata/config.ini"),
      [&](std::string_view name) { return fs::is_regular_file(local(name)); });
  ASSERT_TRUE(d.ScreenValid);
  ASSERT_EQ(d.ButtonCount, 3);
  EXPECT_TRUE(d.FontSizeGiven);
  EXPECT_EQ(d.CountdownTenths, 50);
  const tk::TPicture bg = tk::DecodeBmpFile(ReadFile(local(d.Background)));
  EXPECT_EQ(bg.Width, 800);
  EXPECT_EQ(bg.Height, 600);
  for (const auto& b : d.Buttons) {
    SCOPED_TRACE(b.NormalImage);
    std::vector<std::string> images = {b.NormalImage, b.HoverImage};
    if (b.IsExit) images.push_back(b.DisabledImage);
    for (const std::string& im : images) {
      const tk::TPicture p = tk::DecodeBmpFile(ReadFile(local(im)));
      EXPECT_EQ(p.Width, b.NormalRect.Width);
      EXPECT_EQ(p.Height, b.NormalRect.Height);
    }
  }
  EXPECT_TRUE(d.Buttons.back().IsExit);
}

}  // namespace
