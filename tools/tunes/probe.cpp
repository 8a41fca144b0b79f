// tinokvak-tunes-probe: the module player of this build (libxmp's on the desktop, the
// prepared tunes' in the browser's under Node) as the game drives it, for the tests that
// hold the two side by side.
//   play MODULE FRAMES OUT.wav [RATE [AT FROM TO]]  plays FRAMES frames through our mixer
//       in blocks of changing sizes, printing after each block the frames so far and the
//       order reported; the mixed sound goes to OUT.wav. With AT, the file FROM is copied to
//       TO once AT frames are played (prepared music arriving late)
//   load FILE...                       loads each, printing the handle and the load error
//   decode TUNES OUTDIR                decodes every prepared tune twice, the second time
//       after a seek back to its start, into OUTDIR/NAME.wav; fails if the two differ
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "media/Mixer.h"
#include "media/PreparedMusic.h"
#include "media/Sound.h"
#include "media/VorbisStream.h"
#include "platform/Files.h"

namespace {

void Put(std::string& w, uint32_t v, int bytes) {
  for (int b = 0; b < bytes; ++b) w.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
}

void WriteWav(const std::string& path, const std::vector<int16_t>& stereo, int rate) {
  std::string w = "RIFF";
  const uint32_t data = static_cast<uint32_t>(stereo.size() * 2);
  Put(w, 36 + data, 4);
  w += "WAVEfmt ";
  Put(w, 16, 4);
  Put(w, 1, 2);
  Put(w, 2, 2);
  Put(w, static_cast<uint32_t>(rate), 4);
  Put(w, static_cast<uint32_t>(rate) * 4, 4);
  Put(w, 4, 2);
  Put(w, 16, 2);
  w += "data";
  Put(w, data, 4);
  for (int16_t s : stereo) Put(w, static_cast<uint16_t>(s), 2);
  std::ofstream f(path, std::ios::binary);
  if (!f.write(w.data(), static_cast<std::streamsize>(w.size())) || !f.flush())
    throw std::runtime_error("cannot write " + path);
}

struct Arrival {
  long at = -1;
  std::string from, to;
};

int Play(const std::string& module, long frames, const std::string& wav, int rate, Arrival late) {
  tk::TMixer mixer(rate);
  tk::TMusicPlayer player(mixer);
  const uintptr_t h = player.SongLoadFromFile(module);
  std::printf("handle %lu %s\n", static_cast<unsigned long>(h), player.NewLoadError().c_str());
  player.SongPlay(h);
  std::printf("0 %d\n", player.SongGetOrder(h));
  // Block sizes as devices pull them, and some that are not.
  static const int kBlocks[] = {512, 1, 441, 1024, 7, 4096, 333, 2048, 882, 1323};
  std::vector<int16_t> all, block;
  long done = 0;
  for (size_t i = 0; done < frames; ++i) {
    const int n = static_cast<int>(std::min<long>(kBlocks[i % std::size(kBlocks)], frames - done));
    block.assign(2 * static_cast<size_t>(n), 0);
    mixer.Mix(block.data(), n);
    all.insert(all.end(), block.begin(), block.end());
    done += n;
    if (late.at >= 0 && done >= late.at && !late.from.empty()) {
      std::filesystem::copy_file(late.from, late.to + ".part");
      std::filesystem::rename(late.to + ".part", late.to);
      std::printf("arrived %ld\n", done);
      late.from.clear();
    }
    std::printf("%ld %d\n", done, player.SongGetOrder(h));
  }
  WriteWav(wav, all, rate);
  return 0;
}

int Decode(const std::string& tunesPath, const std::string& dir) {
  const std::string bytes = tk::ReadWholeFile(tunesPath);
  int status = 0;
  for (const tk::TPreparedTune& t : tk::ParsePreparedMusic(bytes)) {
    tk::TVorbisStream s(t.Vorbis);
    std::vector<int16_t> first(2 * static_cast<size_t>(t.Length)), again(first.size());
    const int a = s.Read(first.data(), static_cast<int>(t.Length));
    s.Seek(0);
    const int b = s.Read(again.data(), static_cast<int>(t.Length));
    std::printf("%s %d %d %s\n", t.Name.c_str(), a, b, first == again ? "same" : "DIFFERENT");
    if (a != static_cast<int>(t.Length) || first != again) status = 1;
    WriteWav(dir + "/" + t.Name + ".wav", first, static_cast<int>(t.Rate));
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> a(argv + 1, argv + argc);
  try {
    if (a.size() >= 4 && a[0] == "play") {
      Arrival late;
      if (a.size() == 8) late = {std::stol(a[5]), a[6], a[7]};
      return Play(a[1], std::stol(a[2]), a[3], a.size() > 4 ? std::stoi(a[4]) : 44100, late);
    }
    if (a.size() >= 2 && a[0] == "load") {
      tk::TMixer mixer(44100);
      tk::TMusicPlayer player(mixer);
      for (size_t i = 1; i < a.size(); ++i) {
        const uintptr_t h = player.SongLoadFromFile(a[i]);
        std::printf("%s: %s %s\n", a[i].c_str(), h ? "loaded" : "refused", player.NewLoadError().c_str());
        player.SongFree(h);
      }
      return 0;
    }
    if (a.size() == 3 && a[0] == "decode") return Decode(a[1], a[2]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tinokvak-tunes-probe: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: tinokvak-tunes-probe play MODULE FRAMES OUT.wav [RATE] | load FILE... | decode TUNES OUTDIR\n");
  return 2;
}
