// Builds a small but complete tracker module (XM) in memory, for the music player's tests
// and the mixer benchmark: one looped square-wave instrument struck at the top of every
// pattern on the first channels, one pattern per order.
#pragma once

#include <cstdint>
#include <string>

namespace tk::testing {

struct XmShape {
  int orders = 3;      // length of the order list, each order its own pattern
  int rows = 4;        // rows per pattern
  int channels = 2;
  int struck = 1;      // channels, from the first, that strike a note at the top of a pattern
  int speed = 1;       // ticks per row
  int bpm = 125;       // 125 BPM: 20 ms a tick
};

inline std::string BuildXm(const XmShape& shape = {}) {
  std::string s;
  auto u8 = [&](int v) { s.push_back(static_cast<char>(v & 0xFF)); };
  auto u16 = [&](int v) { u8(v); u8(v >> 8); };
  auto u32 = [&](uint32_t v) { u16(static_cast<int>(v & 0xFFFF)); u16(static_cast<int>(v >> 16)); };
  auto text = [&](const std::string& t, size_t n) {
    std::string f = t.substr(0, n);
    f.resize(n, '\0');
    s += f;
  };

  text("Extended Module: ", 17);
  text("test", 20);
  u8(0x1A);
  text("tinokvak tests", 20);
  u16(0x0104);
  u32(276);  // header size from this field on
  u16(shape.orders);
  u16(0);  // restart position
  u16(shape.channels);
  u16(shape.orders);  // patterns
  u16(1);             // instruments
  u16(1);             // linear frequency table
  u16(shape.speed);
  u16(shape.bpm);
  for (int i = 0; i < 256; ++i) u8(i < shape.orders ? i : 0);

  for (int p = 0; p < shape.orders; ++p) {
    std::string data;
    for (int r = 0; r < shape.rows; ++r)
      for (int c = 0; c < shape.channels; ++c) {
        if (r == 0 && c < shape.struck) {
          data += static_cast<char>(0x83);  // note and instrument follow
          data += static_cast<char>(49 + 12 * (p % 2) + 4 * c);  // C-4 (C-5 on odd patterns) and up
          data += static_cast<char>(1);
        } else {
          data += static_cast<char>(0x80);  // empty cell
        }
      }
    u32(9);
    u8(0);
    u16(shape.rows);
    u16(static_cast<int>(data.size()));
    s += data;
  }

  // The instrument: header with one sample, no envelopes.
  const int sampleLen = 32;
  u32(243);
  text("square", 22);
  u8(0);
  u16(1);
  u32(40);  // sample header size
  for (int i = 0; i < 96; ++i) u8(0);  // every note uses sample 0
  for (int i = 0; i < 96; ++i) u8(0);  // volume and panning envelope points
  for (int i = 0; i < 8; ++i) u8(0);   // point counts, sustain and loop points
  u8(0);  // volume envelope off
  u8(0);  // panning envelope off
  for (int i = 0; i < 4; ++i) u8(0);  // vibrato
  u16(0);  // fade-out
  u16(0);  // reserved

  u32(sampleLen);
  u32(0);          // loop start
  u32(sampleLen);  // loop length
  u8(64);          // volume
  u8(0);           // fine tune
  u8(1);           // forward loop, 8-bit
  u8(128);         // panning
  u8(0);           // relative note
  u8(0);
  text("square", 22);
  // 8-bit samples are stored as differences from the previous one.
  int prev = 0;
  for (int i = 0; i < sampleLen; ++i) {
    const int v = i < sampleLen / 2 ? 96 : -96;
    u8(v - prev);
    prev = v;
  }
  return s;
}

}  // namespace tk::testing
