// Runs tinokvak-sim on a script and hands back its state lines.
#pragma once

#include <cairo.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

namespace tk::e2e {

struct SimResult {
  int Status = -1;
  std::vector<nlohmann::json> States;
  std::string Output;
};

inline std::filesystem::path TempFile(const std::string& name) {
  return std::filesystem::temp_directory_path() /
         ("tk-e2e-" + std::to_string(::getpid()) + "-" + name);
}

// Runs tinokvak-sim with the given arguments; its state lines are parsed as they come.
inline SimResult RunSimArgs(const std::string& args) {
  const std::string cmd = std::string(TK_SIM) + " " + args + " 2>&1";
  SimResult r;
  FILE* p = popen(cmd.c_str(), "r");
  std::array<char, 65536> buf;
  while (p && fgets(buf.data(), buf.size(), p)) {
    std::string line = buf.data();
    r.Output += line;
    if (!line.empty() && line[0] == '{') r.States.push_back(nlohmann::json::parse(line));
  }
  const int st = p ? pclose(p) : -1;
  r.Status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}

inline SimResult RunSim(const std::string& script, const std::string& extraArgs = "") {
  const auto file = TempFile("script.sim");
  std::ofstream(file) << script;
  SimResult r = RunSimArgs(extraArgs + " " + file.string());
  std::filesystem::remove(file);
  return r;
}

// Pixel of a PNG written by "shot", as 0xRRGGBB.
struct Png {
  explicit Png(const std::filesystem::path& p) {
    s = cairo_image_surface_create_from_png(p.c_str());
  }
  ~Png() { cairo_surface_destroy(s); }
  bool Ok() const { return cairo_surface_status(s) == CAIRO_STATUS_SUCCESS; }
  int Width() const { return cairo_image_surface_get_width(s); }
  int Height() const { return cairo_image_surface_get_height(s); }
  uint32_t At(int x, int y) const {
    const auto* d = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    return reinterpret_cast<const uint32_t*>(d + y * stride)[x] & 0xFFFFFF;
  }
  cairo_surface_t* s;
};

}  // namespace tk::e2e
