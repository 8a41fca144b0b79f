// Writes extended tracker modules (version 1.04): the module header, packed patterns,
// instruments with envelopes and their delta-encoded samples. Only what the game's music
// needs is modelled, but every field is written as the format lays it out.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tk::xm {

constexpr uint8_t kNoteOff = 97;  // notes 1..96 are C-0..B-7

struct Cell {
  uint8_t Note = 0;        // 0 = none
  uint8_t Instrument = 0;  // 1-based, 0 = none
  uint8_t Volume = 0;      // volume column byte (0x10..0x50 sets 0..64), 0 = none
  uint8_t Effect = 0;
  uint8_t Param = 0;
  bool Empty() const { return !Note && !Instrument && !Volume && !Effect && !Param; }
};

struct Pattern {
  int Rows = 64;
  std::vector<Cell> Cells;  // Rows × channels, row by row
};

enum class LoopType : uint8_t { None = 0, Forward = 1, PingPong = 2 };

struct Sample {
  std::string Name;
  bool Bits16 = true;
  std::vector<int16_t> Data;  // 8-bit samples hold values -128..127
  LoopType Loop = LoopType::None;
  uint32_t LoopStart = 0, LoopLength = 0;  // in samples; written in bytes
  uint8_t Volume = 64;
  int8_t Finetune = 0;     // 1/128 semitone
  uint8_t Panning = 128;
  int8_t RelativeNote = 0;
};

struct Envelope {
  bool On = false;
  std::vector<std::pair<uint16_t, uint16_t>> Points;  // (tick, value 0..64), at most 12
  int Sustain = -1;  // point index, -1 = none
  int LoopStart = -1, LoopEnd = -1;
};

struct Instrument {
  std::string Name;
  std::vector<Sample> Samples;
  std::array<uint8_t, 96> SampleForNote{};  // sample index for each note
  Envelope Volume, Panning;
  uint8_t VibratoType = 0, VibratoSweep = 0, VibratoDepth = 0, VibratoRate = 0;
  uint16_t Fadeout = 0;
};

struct Module {
  std::string Name;
  std::string Tracker = "tinokvak-music";
  int Channels = 4;
  bool LinearFrequencies = true;
  uint16_t Tempo = 6;  // ticks per row
  uint16_t Bpm = 125;
  uint16_t Restart = 0;
  std::vector<uint8_t> Orders;
  std::vector<Pattern> Patterns;
  std::vector<Instrument> Instruments;
};

// Layout figures readers rely on.
constexpr size_t kHeaderSizeOffset = 60;
constexpr uint32_t kHeaderSize = 276;  // counted from kHeaderSizeOffset
constexpr uint32_t kPatternHeaderSize = 9;
constexpr uint32_t kInstrumentSize = 263;
constexpr uint32_t kSampleHeaderSize = 40;

// Throws std::invalid_argument when the module cannot be written as it stands (counts out
// of range, a pattern of the wrong size, a note or instrument number the module lacks).
std::string WriteXm(const Module& m);

// Each sample is stored as its difference from the one before (wrapping).
std::string DeltaEncode(const std::vector<int16_t>& s, bool bits16);
std::vector<int16_t> DeltaDecode(std::string_view bytes, bool bits16);

// How long one pass through the order list plays, in seconds (tempo and BPM fixed).
double SongSeconds(const Module& m);

}  // namespace tk::xm
