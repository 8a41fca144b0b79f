// tinokvak-sounds: synthesises the sound recipes and writes the sound archive.
//
//   tinokvak-sounds OUT.dxw RECIPE.json...    the archive, items in the order given
//   tinokvak-sounds --stats RECIPE.json...    waveform figures for each sound
//   tinokvak-sounds --wav DIR RECIPE.json...  each sound as DIR/<name>.wav
//
// Every sound is checked (level, clipping, clicks at its ends or its loop seam) in all
// three modes, and the archive is read back before it is written; any failure makes the
// run fail, so a bad recipe stops the build.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Recipe.h"
#include "Stats.h"
#include "Synth.h"
#include "media/Sound.h"
#include "media/Wave.h"

namespace fs = std::filesystem;
using namespace tk::synth;

namespace {

struct Built {
  Recipe R;
  std::string Pcm;
  WaveStats St;
};

tk::TWave MakeWave(const Built& b) {
  tk::TWave w;
  w.Format.FormatTag = 1;
  w.Format.Channels = 1;
  w.Format.SamplesPerSec = uint32_t(b.R.Rate);
  w.Format.AvgBytesPerSec = uint32_t(b.R.Rate) * 2;
  w.Format.BlockAlign = 2;
  w.Format.BitsPerSample = 16;
  w.Data = std::make_shared<const std::string>(b.Pcm);
  return w;
}

// Written beside the target and renamed over it, so a failed run leaves no half file.
void WriteFile(const fs::path& path, const std::string& bytes) {
  if (path.has_parent_path()) fs::create_directories(path.parent_path());
  fs::path tmp = path;
  tmp += ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + tmp.string());
  }
  fs::rename(tmp, path);
}

int Usage() {
  std::cerr << "usage: tinokvak-sounds OUT.dxw RECIPE.json...\n"
               "       tinokvak-sounds --stats RECIPE.json...\n"
               "       tinokvak-sounds --wav DIR RECIPE.json...\n";
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() < 2) return Usage();
  enum { Archive, Stats, Wavs } mode = Archive;
  fs::path target;
  size_t first = 1;
  if (args[0] == "--stats") {
    mode = Stats;
  } else if (args[0] == "--wav") {
    if (args.size() < 3) return Usage();
    mode = Wavs;
    target = args[1];
    first = 2;
  } else {
    target = args[0];
  }

  try {
    std::vector<Built> sounds;
    bool ok = true;
    for (size_t i = first; i < args.size(); ++i) {
      Built b;
      b.R = LoadRecipe(args[i]);
      std::vector<int16_t> s = ToInt16(Render(b.R));
      b.St = Measure(s);
      b.Pcm = ToPcm16(s);
      auto problems = Problems(b.St, b.R.Looped);
      if (mode == Stats) std::cout << Describe(b.R.Name, b.St, b.R.Rate, b.R.Looped) << "\n";
      for (const std::string& p : problems) {
        std::cerr << b.R.Name << ": " << p << "\n";
        ok = false;
      }
      sounds.push_back(std::move(b));
    }
    if (!ok) return 1;

    if (mode == Archive) {
      tk::TWaveCollection list;
      for (const Built& b : sounds) {
        tk::TWaveCollectionItem& it = list.Add();
        it.SetName(b.R.Name);
        it.SetLooped(b.R.Looped);
        it.SetMaxPlayingCount(b.R.MaxPlayingCount);
        it.Wave = MakeWave(b);
      }
      std::string bytes = list.SaveToBytes();
      // Read it back as the game will, so a fault in the writing stops the build here.
      tk::TWaveCollection back;
      back.LoadFromBytes(bytes);
      if (back.Count() != int(sounds.size())) throw std::runtime_error("the archive reads back with a different count");
      for (int i = 0; i < back.Count(); ++i) {
        const Built& b = sounds[size_t(i)];
        tk::TWaveCollectionItem& it = back.FindSound(b.R.Name);
        const tk::TWaveFormat& f = it.Wave.Format;
        if (it.Index() != i || it.Looped() != b.R.Looped || it.MaxPlayingCount() != b.R.MaxPlayingCount ||
            f.FormatTag != 1 || f.Channels != 1 || f.SamplesPerSec != uint32_t(b.R.Rate) || f.BitsPerSample != 16 ||
            !it.Wave.Data || *it.Wave.Data != b.Pcm)
          throw std::runtime_error(b.R.Name + ": reads back from the archive differently");
      }
      WriteFile(target, bytes);
    } else if (mode == Wavs) {
      for (const Built& b : sounds) WriteFile(target / (b.R.Name + ".wav"), tk::WriteWave(MakeWave(b)));
    }
    return 0;
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
    return 1;
  }
}
