#include "MusicRender.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "media/XmpPlayer.h"

namespace tk::tunes {

namespace {

struct Frame {
  uint32_t start, size;
  int pos, row;
};

// No module the game has runs anywhere near this long.
constexpr uint64_t kLongestRound = 44100ull * 60 * 30;

}  // namespace

TRendered Render(std::string_view module, const std::string& name, int rate) {
  std::unique_ptr<std::remove_pointer_t<xmp_context>, void (*)(xmp_context)> ctx(xmp_create_context(),
                                                                                  xmp_free_context);
  if (!ctx) throw std::runtime_error(name + ": no player context");
  if (xmp_load_module_from_memory(ctx.get(), const_cast<char*>(module.data()), static_cast<long>(module.size())) != 0)
    throw std::runtime_error(name + ": the module player cannot load it");
  if (StartXmpPlayer(ctx.get(), rate) != 0) {
    xmp_release_module(ctx.get());
    throw std::runtime_error(name + ": the module player cannot start at " + std::to_string(rate) + " Hz");
  }
  TRendered r;
  std::vector<Frame> frames;
  size_t secondRound = 0;  // index of the second round's first frame
  // Frame by frame, as the game's player renders them into its buffers: the position a
  // frame reports holds from its first sample to its last.
  for (;;) {
    if (xmp_play_frame(ctx.get()) != 0) break;
    xmp_frame_info fi;
    xmp_get_frame_info(ctx.get(), &fi);
    if (fi.loop_count >= 1 && secondRound == 0) secondRound = frames.size();
    if (fi.loop_count >= 2) break;
    const uint32_t n = static_cast<uint32_t>(fi.buffer_size / 4);
    frames.push_back({static_cast<uint32_t>(r.Rounds.size() / 2), n, fi.pos, fi.row});
    const auto* p = static_cast<const int16_t*>(fi.buffer);
    r.Rounds.insert(r.Rounds.end(), p, p + 2 * static_cast<size_t>(n));
    if (r.Rounds.size() / 2 > 2 * kLongestRound) break;
  }
  xmp_end_player(ctx.get());
  xmp_release_module(ctx.get());
  if (secondRound == 0 || frames.size() == secondRound)
    throw std::runtime_error(name + ": the module does not come round within 30 minutes");

  TPreparedTune& t = r.Tune;
  t.Name = name;
  t.Key = MusicModuleKey(module);
  t.ModuleSize = static_cast<uint32_t>(module.size());
  t.Rate = static_cast<uint32_t>(rate);
  t.Length = frames[secondRound].start;
  // The second round goes on from the first frame of the first round at its position.
  const Frame& again = frames[secondRound];
  size_t from = 0;
  while (from < secondRound && (frames[from].pos != again.pos || frames[from].row != again.row)) ++from;
  if (from == secondRound) throw std::runtime_error(name + ": the second round starts where the first never was");
  t.LoopTo = frames[from].start;
  const size_t roundFrames = secondRound - from;
  if (frames.size() - secondRound != roundFrames)
    throw std::runtime_error(name + ": the second round is not as long as the first");
  for (size_t i = 0; i < roundFrames; ++i) {
    const Frame& a = frames[from + i];
    const Frame& b = frames[secondRound + i];
    if (a.size != b.size || a.pos != b.pos || a.row != b.row)
      throw std::runtime_error(name + ": the second round does not repeat the first's positions");
  }
  // The seam: as long as the second round sounds other than the first.
  const size_t round = t.Length - t.LoopTo;
  size_t seam = 0;
  for (size_t i = 0; i < round; ++i)
    for (int c = 0; c < 2; ++c)
      if (r.Rounds[2 * (t.Length + i) + c] != r.Rounds[2 * (t.LoopTo + i) + c]) seam = i + 1;
  if (seam > static_cast<size_t>(rate))
    throw std::runtime_error(name + ": the second round sounds unlike the first for more than a second");
  t.Seam.assign(r.Rounds.begin() + 2 * t.Length, r.Rounds.begin() + 2 * (t.Length + seam));
  for (size_t i = 0; i < secondRound; ++i)
    if (t.Marks.empty() || t.Marks.back().Order != frames[i].pos || t.Marks.back().Row != frames[i].row)
      t.Marks.push_back({frames[i].start, static_cast<uint16_t>(frames[i].pos), static_cast<uint16_t>(frames[i].row)});
  return r;
}

std::string EncodeVorbis(const std::vector<int16_t>& stereo, size_t frames, int rate, float q) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  if (vorbis_encode_init_vbr(&vi, 2, rate, q) != 0) {
    vorbis_info_clear(&vi);
    throw std::runtime_error("the Vorbis encoder refuses " + std::to_string(rate) + " Hz at quality " + std::to_string(q));
  }
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_block vb;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 1);  // a fixed serial number: the same file every build
  std::string out;
  ogg_page og;
  auto pages = [&](bool flush) {
    while (flush ? ogg_stream_flush(&os, &og) : ogg_stream_pageout(&os, &og)) {
      out.append(reinterpret_cast<const char*>(og.header), static_cast<size_t>(og.header_len));
      out.append(reinterpret_cast<const char*>(og.body), static_cast<size_t>(og.body_len));
    }
  };
  ogg_packet h, hc, hcode;
  vorbis_analysis_headerout(&vd, &vc, &h, &hc, &hcode);
  ogg_stream_packetin(&os, &h);
  ogg_stream_packetin(&os, &hc);
  ogg_stream_packetin(&os, &hcode);
  pages(true);
  auto drain = [&] {
    ogg_packet op;
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        pages(false);
      }
    }
  };
  constexpr size_t kChunk = 4096;
  for (size_t at = 0; at < frames; at += kChunk) {
    const size_t n = std::min(kChunk, frames - at);
    float** buf = vorbis_analysis_buffer(&vd, static_cast<int>(n));
    for (size_t i = 0; i < n; ++i) {
      buf[0][i] = stereo[2 * (at + i)] / 32768.0f;
      buf[1][i] = stereo[2 * (at + i) + 1] / 32768.0f;
    }
    vorbis_analysis_wrote(&vd, static_cast<int>(n));
    drain();
  }
  vorbis_analysis_wrote(&vd, 0);
  drain();
  pages(true);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
  return out;
}

std::string Wav(const int16_t* stereo, size_t frames, int rate) {
  std::string w;
  auto put = [&w](uint32_t v, int bytes) {
    for (int b = 0; b < bytes; ++b) w.push_back(static_cast<char>((v >> (8 * b)) & 0xFF));
  };
  const uint32_t data = static_cast<uint32_t>(frames * 4);
  w += "RIFF";
  put(36 + data, 4);
  w += "WAVEfmt ";
  put(16, 4);
  put(1, 2);
  put(2, 2);
  put(static_cast<uint32_t>(rate), 4);
  put(static_cast<uint32_t>(rate) * 4, 4);
  put(4, 2);
  put(16, 2);
  w += "data";
  put(data, 4);
  for (size_t i = 0; i < 2 * frames; ++i) put(static_cast<uint16_t>(stereo[i]), 2);
  return w;
}

}  // namespace tk::tunes
