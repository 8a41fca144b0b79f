// The music's text score and the instruments it plays, turned into a module.
//
// A score (assets/music/<track>.score), one statement a line; a word starting with '#'
// begins a comment:
//
//   title  Pond Morning
//   speed  6                  ticks per row
//   bpm    125
//   rows   64                 rows per pattern (a pattern may say otherwise)
//   channel lead flute 40     a channel: its name, its instrument, optionally a volume 0..64
//   kit k=kick s=snare h=hat:24   letters for channels whose instrument is "kit"
//   pattern A [rows 32]       the lines that follow, up to the next pattern, fill it
//   lead: c5 . e5 - g5 . ^ . | a5 ...    one token a row, appended to what the channel has
//   lead(bell): ...           the same, played on another instrument
//   order A A B A             the song; several order lines join up
//
// Tokens: a note "c4".."b7" with "#" or "b" ("f#4", "bb3"; c4 is middle C), a drum
// letter on kit channels, "." or "-" for nothing new (a held note or a rest), "^" to
// release the note; any of them may end in ":NN" for a volume 0..64. "|" marks bars and
// counts for nothing. Every channel a pattern names must fill exactly its rows.
#pragma once

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "XmWriter.h"

namespace tk::xm {

struct ScoreChannel {
  std::string Name;
  std::string Instrument;
  int Volume = -1;  // -1: the instrument's own
};

struct KitEntry {
  std::string Instrument;
  int Volume = -1;
};

struct ScoreToken {
  enum Kind { None, Note, Off, Drum } What = None;
  int Pitch = 0;         // semitones from C-0 (Note)
  char Letter = 0;       // (Drum)
  int Volume = -1;
  std::string Instrument;  // the line's instrument
};

struct ScorePattern {
  std::string Name;
  int Rows = 64;
  std::map<std::string, std::vector<ScoreToken>> Lines;  // by channel name
};

struct Score {
  std::string Title;
  int Speed = 6;
  int Bpm = 125;
  std::vector<ScoreChannel> Channels;
  std::map<char, KitEntry> Kit;
  std::vector<ScorePattern> Patterns;
  std::vector<std::string> Order;
};

// Throws std::runtime_error "<source>:<line>: <what>".
Score ParseScore(const std::string& text, const std::string& source);
Score LoadScore(const std::filesystem::path& file);

// Instruments are synthesiser recipes with a few settings of their own (see
// assets/music/instruments.json): "pitched" (layers' frequencies are multiples of middle
// C, default true), "adsr" [attack, decay, sustain, release] for the volume envelope,
// "volume", "panning", "fadeout", "vibrato" [type, sweep, depth, rate].
// Sample tuning: a pitched sample plays middle C at note C-4; an unpitched one plays at
// its own rate at C-4.
Instrument MakeInstrument(const std::string& name, const nlohmann::json& recipe, int bpm);

// The module for a score; instruments are made from `library` as the score names them.
Module BuildModule(const Score& s, const nlohmann::json& library);

}  // namespace tk::xm
