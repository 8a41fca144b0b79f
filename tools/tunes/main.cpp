// tinokvak-tunes OUT GAMEDIR [--quality Q] [--wav DIR]: plays every module of GAMEDIR/Music
// with the desktop's module player and writes the tunes the browser build plays instead
// (media/PreparedMusic.h): each module's first round as Ogg Vorbis at quality Q (0.3 by
// default) with the order and row the player reports at every frame. Each tune is decoded
// again as the browser decodes it, and how close that comes to the player's own sound is
// printed; --wav writes both into DIR to be heard and compared.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "MusicRender.h"
#include "media/PreparedMusic.h"
#include "media/VorbisStream.h"
#include "platform/Files.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream f(path, std::ios::binary);
  if (!f.write(bytes.data(), static_cast<std::streamsize>(bytes.size())) || !f.flush())
    throw std::runtime_error("cannot write " + path.string());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  float quality = 0.3f;
  fs::path wavDir;
  std::vector<std::string> rest;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--quality" && i + 1 < args.size()) quality = std::stof(args[++i]);
    else if (args[i] == "--wav" && i + 1 < args.size()) wavDir = args[++i];
    else rest.push_back(args[i]);
  }
  if (rest.size() != 2) {
    std::fprintf(stderr, "usage: tinokvak-tunes OUT GAMEDIR [--quality Q] [--wav DIR]\n");
    return 1;
  }
  try {
    std::vector<fs::path> modules;
    for (const auto& e : fs::directory_iterator(fs::path(rest[1]) / "Music"))
      if (e.is_regular_file() && e.path().extension() == ".xm") modules.push_back(e.path());
    std::sort(modules.begin(), modules.end());
    if (modules.empty()) throw std::runtime_error("no modules in " + (fs::path(rest[1]) / "Music").string());
    if (!wavDir.empty()) fs::create_directories(wavDir);
    std::vector<tk::TPreparedTune> tunes;
    for (const fs::path& m : modules) {
      const std::string bytes = tk::ReadWholeFile(m.string());
      tk::tunes::TRendered r = tk::tunes::Render(bytes, m.filename().string());
      tk::TPreparedTune& t = r.Tune;
      t.Vorbis = tk::tunes::EncodeVorbis(r.Rounds, t.Length, static_cast<int>(t.Rate), quality);
      // Decoded as the browser decodes it: every frame there, none more.
      tk::TVorbisStream s(t.Vorbis);
      std::vector<int16_t> back(2 * (static_cast<size_t>(t.Length) + 1));
      const int got = s.Read(back.data(), static_cast<int>(t.Length) + 1);
      if (s.Length() != t.Length || got != static_cast<int>(t.Length))
        throw std::runtime_error(t.Name + ": the Vorbis stream decodes to " + std::to_string(got) + " frames, not " +
                                 std::to_string(t.Length));
      double signal = 0, noise = 0;
      for (size_t i = 0; i < 2 * static_cast<size_t>(t.Length); ++i) {
        signal += double(r.Rounds[i]) * r.Rounds[i];
        noise += double(r.Rounds[i] - back[i]) * (r.Rounds[i] - back[i]);
      }
      std::printf("%s: %.1f s a round, from frame %u again, seam %u frames, %zu positions, %zu bytes of Vorbis, "
                  "%.1f dB signal to noise\n",
                  t.Name.c_str(), t.Length / double(t.Rate), t.LoopTo, t.SeamFrames(), t.Marks.size(),
                  t.Vorbis.size(), 10 * std::log10(signal / std::max(noise, 1.0)));
      if (!wavDir.empty()) {
        const std::string stem = m.stem().string();
        WriteFile(wavDir / (stem + ".xmp.wav"), tk::tunes::Wav(r.Rounds.data(), r.Rounds.size() / 2, int(t.Rate)));
        WriteFile(wavDir / (stem + ".vorbis.wav"), tk::tunes::Wav(back.data(), t.Length, int(t.Rate)));
      }
      tunes.push_back(std::move(t));
    }
    const fs::path out = rest[0];
    const fs::path tmp = out.string() + ".tmp";
    WriteFile(tmp, tk::SerializePreparedMusic(tunes));
    fs::rename(tmp, out);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-tunes: %s\n", e.what());
    return 1;
  }
  return 0;
}
