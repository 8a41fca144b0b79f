// tinokvak-music: turns text scores into tracker modules.
//
//   tinokvak-music INSTRUMENTS.json OUTDIR SCORE...
//
// Writes OUTDIR/<score name>.xm for each score, then loads every module with the module
// player library and checks it reads back as written and plays to a real signal of
// 30-90 s. Any failure makes the run fail and leaves no module behind.
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>

#include "Score.h"
#include "XmCheck.h"
#include "XmWriter.h"

namespace fs = std::filesystem;
using namespace tk::xm;

namespace {

constexpr double kShortest = 30, kLongest = 90;  // seconds before the song loops

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + p.string());
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

double Db(double v) { return v > 0 ? 20 * std::log10(v / 32767.0) : -999; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::cerr << "usage: tinokvak-music INSTRUMENTS.json OUTDIR SCORE...\n";
    return 2;
  }
  try {
    nlohmann::json library = nlohmann::json::parse(ReadFile(argv[1]), nullptr, true, true);
    fs::path outDir = argv[2];
    fs::create_directories(outDir);
    bool ok = true;
    for (int i = 3; i < argc; ++i) {
      fs::path scoreFile = argv[i];
      std::string name = scoreFile.stem().string();
      Module m = BuildModule(LoadScore(scoreFile), library);
      double seconds = SongSeconds(m);
      std::string bytes = WriteXm(m);
      CheckReport rep = CheckWithPlayer(bytes, m);
      if (seconds < kShortest || seconds > kLongest)
        rep.Problems.push_back("plays " + std::to_string(seconds) + " s before it loops, not 30-90 s");

      std::printf("%s.xm  %d channels  %zu patterns  %zu orders  %zu instruments  %.1f s (player %.1f s)  "
                  "peak %.1f dB  rms %.1f dB  quietest second %.1f dB  clipped frames %ld\n",
                  name.c_str(), m.Channels, m.Patterns.size(), m.Orders.size(), m.Instruments.size(), seconds,
                  rep.PlayerSeconds, Db(rep.Peak), Db(rep.Rms), Db(rep.QuietestSecondRms), rep.ClippedFrames);
      fs::path out = outDir / (name + ".xm");
      if (!rep.Problems.empty()) {
        for (const std::string& p : rep.Problems) std::cerr << name << ".xm: " << p << "\n";
        fs::remove(out);
        ok = false;
        continue;
      }
      fs::path tmp = out;
      tmp += ".tmp";
      {
        std::ofstream f(tmp, std::ios::binary | std::ios::trunc);
        f.write(bytes.data(), std::streamsize(bytes.size()));
        if (!f) throw std::runtime_error("cannot write " + tmp.string());
      }
      fs::rename(tmp, out);
    }
    return ok ? 0 : 1;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
