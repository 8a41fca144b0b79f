#include "XmCheck.h"

#include <xmp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace tk::xm {

namespace {

struct Context {
  xmp_context c = xmp_create_context();
  bool loaded = false;
  bool playing = false;
  ~Context() {
    if (playing) xmp_end_player(c);
    if (loaded) xmp_release_module(c);
    xmp_free_context(c);
  }
};

std::string Num(long v) { return std::to_string(v); }

// The player's event for one of our cells: notes are kept in its own numbering, one
// octave up; a volume column "set volume" is stored as volume + 1.
bool SameEvent(const Cell& c, const xmp_event& e) {
  int note = c.Note == kNoteOff ? XMP_KEY_OFF : c.Note ? c.Note + 12 : 0;
  int vol = c.Volume >= 0x10 && c.Volume <= 0x50 ? c.Volume - 0x10 + 1 : 0;
  return e.note == note && e.ins == c.Instrument && e.vol == vol;
}

void ComparePatterns(const Module& m, const xmp_module& mod, std::vector<std::string>& problems) {
  for (size_t p = 0; p < m.Patterns.size() && problems.size() < 20; ++p) {
    const Pattern& pat = m.Patterns[p];
    const xmp_pattern* xp = mod.xxp[p];
    if (xp->rows != pat.Rows) {
      problems.push_back("pattern " + Num(long(p)) + ": player reads " + Num(xp->rows) + " rows");
      continue;
    }
    for (int ch = 0; ch < m.Channels; ++ch) {
      const xmp_track* t = mod.xxt[xp->index[ch]];
      for (int r = 0; r < pat.Rows; ++r) {
        const Cell& c = pat.Cells[size_t(r) * size_t(m.Channels) + size_t(ch)];
        if (c.Effect == 0 && c.Param == 0 && !SameEvent(c, t->event[r])) {
          problems.push_back("pattern " + Num(long(p)) + " row " + Num(r) + " channel " + Num(ch) +
                             ": the player reads a different note, instrument or volume");
          break;
        }
      }
    }
  }
}

void CompareInstruments(const Module& m, const xmp_module& mod, std::vector<std::string>& problems) {
  int sid = 0;
  for (size_t i = 0; i < m.Instruments.size(); ++i) {
    const Instrument& in = m.Instruments[i];
    const xmp_instrument& xi = mod.xxi[i];
    std::string where = "instrument \"" + in.Name + "\"";
    if (xi.nsm != int(in.Samples.size())) {
      problems.push_back(where + ": player reads " + Num(xi.nsm) + " samples");
      return;
    }
    const Envelope& ve = in.Volume;
    if (ve.On) {
      bool same = (xi.aei.flg & XMP_ENVELOPE_ON) && xi.aei.npt == int(ve.Points.size()) &&
                  (ve.Sustain < 0 || ((xi.aei.flg & XMP_ENVELOPE_SUS) && xi.aei.sus == ve.Sustain));
      for (size_t k = 0; same && k < ve.Points.size(); ++k)
        same = xi.aei.data[2 * k] == ve.Points[k].first && xi.aei.data[2 * k + 1] == ve.Points[k].second;
      if (!same) problems.push_back(where + ": volume envelope reads back differently");
    }
    for (size_t s = 0; s < in.Samples.size(); ++s, ++sid) {
      const Sample& want = in.Samples[s];
      int xs = xi.sub[s].sid;
      if (xs < 0 || xs >= mod.smp) {
        problems.push_back(where + ": sample " + Num(long(s)) + " missing");
        continue;
      }
      const xmp_sample& got = mod.xxs[xs];
      std::string sw = where + " sample " + Num(long(s));
      if (got.len != int(want.Data.size())) {
        problems.push_back(sw + ": length " + Num(got.len) + ", written " + Num(long(want.Data.size())));
        continue;
      }
      if (bool(got.flg & XMP_SAMPLE_16BIT) != want.Bits16) problems.push_back(sw + ": sample width differs");
      bool looped = want.Loop != LoopType::None;
      if (bool(got.flg & XMP_SAMPLE_LOOP) != looped ||
          (looped && (got.lps != int(want.LoopStart) || got.lpe != int(want.LoopStart + want.LoopLength))))
        problems.push_back(sw + ": loop reads back as " + Num(got.lps) + ".." + Num(got.lpe));
      if (xi.sub[s].xpo != want.RelativeNote || xi.sub[s].fin != want.Finetune)
        problems.push_back(sw + ": tuning reads back differently");
      long bad = 0;
      for (size_t k = 0; k < want.Data.size(); ++k) {
        int v = want.Bits16 ? int(reinterpret_cast<const int16_t*>(got.data)[k])
                            : int(reinterpret_cast<const int8_t*>(got.data)[k]);
        if (v != want.Data[k]) ++bad;
      }
      if (bad) problems.push_back(sw + ": " + Num(bad) + " sample values differ from those written");
    }
  }
}

}  // namespace

CheckReport CheckWithPlayer(const std::string& bytes, const Module& m) {
  CheckReport rep;
  auto& problems = rep.Problems;
  Context ctx;
  if (xmp_load_module_from_memory(ctx.c, bytes.data(), long(bytes.size())) != 0) {
    problems.push_back("the player cannot load the module");
    return rep;
  }
  ctx.loaded = true;
  xmp_module_info mi;
  xmp_get_module_info(ctx.c, &mi);
  const xmp_module& mod = *mi.mod;
  auto expect = [&](const char* what, long got, long want) {
    if (got != want) problems.push_back(std::string(what) + ": player reads " + Num(got) + ", written " + Num(want));
  };
  long samples = 0;
  for (const Instrument& in : m.Instruments) samples += long(in.Samples.size());
  expect("channels", mod.chn, m.Channels);
  expect("song length", mod.len, long(m.Orders.size()));
  expect("restart position", mod.rst, m.Restart);
  // The player appends one blank pattern of its own for orders that name none.
  expect("patterns", std::min<long>(mod.pat, long(m.Patterns.size())), long(m.Patterns.size()));
  expect("instruments", mod.ins, long(m.Instruments.size()));
  expect("samples", mod.smp, samples);
  expect("tempo", mod.spd, m.Tempo);
  expect("BPM", mod.bpm, m.Bpm);
  if (!problems.empty()) return rep;
  for (size_t i = 0; i < m.Orders.size(); ++i)
    if (mod.xxo[i] != m.Orders[i]) {
      problems.push_back("order " + Num(long(i)) + " reads back differently");
      break;
    }
  ComparePatterns(m, mod, problems);
  CompareInstruments(m, mod, problems);
  if (mi.num_sequences > 0) rep.PlayerSeconds = mi.seq_data[0].duration / 1000.0;

  // One pass of the song, as the game's mixer would pull it.
  constexpr int kRate = 44100;
  if (xmp_start_player(ctx.c, kRate, 0) != 0) {
    problems.push_back("the player cannot start");
    return rep;
  }
  ctx.playing = true;
  std::vector<int16_t> buf(2 * 4410);
  double sumSq = 0, secondSq = 0;
  long frames = 0, secondFrames = 0;
  rep.QuietestSecondRms = 1e9;
  long limit = long((SongSeconds(m) + 5) * kRate);
  while (frames < limit && xmp_play_buffer(ctx.c, buf.data(), int(buf.size() * 2), 1) == 0) {
    for (size_t i = 0; i < buf.size(); i += 2) {
      for (int k = 0; k < 2; ++k) {
        int v = buf[i + size_t(k)];
        rep.Peak = std::max(rep.Peak, std::abs(v));
        sumSq += double(v) * v;
        secondSq += double(v) * v;
      }
      if (std::abs(int(buf[i])) >= 32767 || std::abs(int(buf[i + 1])) >= 32767) ++rep.ClippedFrames;
      ++frames;
      if (++secondFrames == kRate) {
        rep.QuietestSecondRms = std::min(rep.QuietestSecondRms, std::sqrt(secondSq / (2.0 * kRate)));
        secondSq = 0;
        secondFrames = 0;
      }
    }
  }
  if (frames == 0 || rep.QuietestSecondRms > 1e8) rep.QuietestSecondRms = 0;
  rep.Rms = frames ? std::sqrt(sumSq / (2.0 * double(frames))) : 0;
  if (rep.Peak < 1000 || rep.Rms < 100) problems.push_back("plays as silence (peak " + Num(rep.Peak) + ")");
  if (rep.ClippedFrames * 1000 > frames) problems.push_back("clips in " + Num(rep.ClippedFrames) + " frames");
  if (std::abs(rep.PlayerSeconds - SongSeconds(m)) > 0.5)
    problems.push_back("the player times the song at " + std::to_string(rep.PlayerSeconds) + " s, written for " +
                       std::to_string(SongSeconds(m)) + " s");
  return rep;
}

}  // namespace tk::xm
