// Tunes rendered ahead of time: what the desktop's module player makes of each module (its
// sound, compressed, and the order and row it reports at every point), written by
// tinokvak-tunes at build time for the builds that have no module player of their own
// (the browser's), which find a module's tune by its bytes' digest and length.
//
// A tune is its first round, from the start up to the frame where the player goes back to
// the restart position (Length), and how every later round goes: from frame LoopTo of the
// first round to its end again, the first Seam frames replaced by the seam (the notes of
// the round before still sounding as the next begins). Frames are stereo sample pairs at
// Rate.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

// From Frame on (until the next mark) the player reports this order and row.
struct TTuneMark {
  uint32_t Frame = 0;
  uint16_t Order = 0, Row = 0;
};

struct TPreparedTune {
  std::string Name;         // the module's file name, for messages
  uint64_t Key = 0;         // MusicModuleKey of the module
  uint32_t ModuleSize = 0;  // its length in bytes
  uint32_t Rate = 44100;
  uint32_t Length = 0;      // frames of the first round
  uint32_t LoopTo = 0;      // where later rounds go on in the first, < Length
  std::vector<int16_t> Seam;  // interleaved stereo, at most Length - LoopTo frames
  std::vector<TTuneMark> Marks;  // rising frames, the first at 0
  std::string Vorbis;       // the first round, an Ogg Vorbis stream of Length frames

  uint32_t SeamFrames() const { return static_cast<uint32_t>(Seam.size() / 2); }
  // Where frame `at` of the tune as played lies in the first round; whether it is a seam
  // frame (then `seam` is its index in Seam).
  uint32_t InFirstRound(uint64_t at, bool* inSeam = nullptr, uint32_t* seam = nullptr) const;
  // The mark in force once `played` frames have been played (the first one before any).
  const TTuneMark& MarkAfter(uint64_t played) const;
};

// A 64-bit FNV-1a digest of the module's bytes.
uint64_t MusicModuleKey(std::string_view module);

std::string SerializePreparedMusic(const std::vector<TPreparedTune>& tunes);
// Throws std::runtime_error for a damaged file, saying what is wrong.
std::vector<TPreparedTune> ParsePreparedMusic(std::string_view bytes);

}  // namespace tk
