#include "Score.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

#include "Recipe.h"
#include "Synth.h"

namespace tk::xm {

namespace {

constexpr double kMiddleC = 261.6255653005986;  // Hz
constexpr double kC4Rate = 8363;                // a sample's rate at note C-4 with no transpose

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> out;
  for (std::string w; in >> w;) out.push_back(w);
  return out;
}

int ToInt(const std::string& s, const std::string& what) {
  size_t used = 0;
  int v = 0;
  try {
    v = std::stoi(s, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used != s.size() || s.empty()) throw std::runtime_error(what + " must be a whole number, not \"" + s + "\"");
  return v;
}

int Volume(const std::string& s) {
  int v = ToInt(s, "a volume");
  if (v < 0 || v > 64) throw std::runtime_error("volumes are 0..64");
  return v;
}

ScoreToken ParseToken(std::string t, bool kit) {
  ScoreToken tok;
  if (size_t colon = t.find(':'); colon != std::string::npos) {
    tok.Volume = Volume(t.substr(colon + 1));
    t.resize(colon);
  }
  if (t == "." || t == "-") return tok;
  if (t == "^") {
    tok.What = ScoreToken::Off;
    return tok;
  }
  if (kit) {
    if (t.size() != 1 || !std::isalpha(static_cast<unsigned char>(t[0])))
      throw std::runtime_error("a drum is one letter, not \"" + t + "\"");
    tok.What = ScoreToken::Drum;
    tok.Letter = t[0];
    return tok;
  }
  static const int kSemis[] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
  char name = char(std::tolower(static_cast<unsigned char>(t.empty() ? '?' : t[0])));
  if (name < 'a' || name > 'g') throw std::runtime_error("\"" + t + "\" is not a note");
  int semi = kSemis[name - 'a'];
  size_t i = 1;
  if (i < t.size() && t[i] == '#') ++semi, ++i;
  else if (i < t.size() && t[i] == 'b') --semi, ++i;
  if (i + 1 != t.size() || !std::isdigit(static_cast<unsigned char>(t[i])))
    throw std::runtime_error("\"" + t + "\" is not a note");
  int pitch = (t[i] - '0') * 12 + semi;
  if (pitch < 0 || pitch > 95) throw std::runtime_error("\"" + t + "\" is out of range (c0..b7)");
  tok.What = ScoreToken::Note;
  tok.Pitch = pitch;
  return tok;
}

}  // namespace

Score ParseScore(const std::string& text, const std::string& source) {
  Score s;
  int defaultRows = 64;
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  std::vector<int> patternLine;
  auto finishPattern = [&]() {
    if (s.Patterns.empty()) return;
    const ScorePattern& p = s.Patterns.back();
    for (const auto& [ch, toks] : p.Lines)
      if (int(toks.size()) != p.Rows)
        throw std::runtime_error(source + ":" + std::to_string(patternLine.back()) + ": pattern " + p.Name +
                                 ": channel " + ch + " has " + std::to_string(toks.size()) + " rows, not " +
                                 std::to_string(p.Rows));
  };
  try {
    while (std::getline(in, line)) {
      ++lineNo;
      // '#' at the start of a word begins a comment; inside a note it is a sharp.
      for (size_t i = 0; i < line.size(); ++i)
        if (line[i] == '#' && (i == 0 || std::isspace(static_cast<unsigned char>(line[i - 1])))) {
          line.resize(i);
          break;
        }
      std::vector<std::string> w = Words(line);
      if (w.empty()) continue;
      const std::string& cmd = w[0];
      if (cmd.find(':') != std::string::npos || (w.size() > 1 && w[1].front() == ':')) {
        // A channel line: "name:" or "name(instrument):" then tokens.
        size_t colon = line.find(':');
        std::string head = Words(line.substr(0, colon)).at(0);
        std::string inst;
        if (size_t open = head.find('('); open != std::string::npos) {
          if (head.back() != ')') throw std::runtime_error("expected name(instrument):");
          inst = head.substr(open + 1, head.size() - open - 2);
          head.resize(open);
        }
        auto ch = std::find_if(s.Channels.begin(), s.Channels.end(),
                               [&](const ScoreChannel& c) { return c.Name == head; });
        if (ch == s.Channels.end()) throw std::runtime_error("no channel named \"" + head + "\"");
        if (s.Patterns.empty()) throw std::runtime_error("notes before the first pattern");
        bool kit = (inst.empty() ? ch->Instrument : inst) == "kit";
        std::vector<ScoreToken>& dest = s.Patterns.back().Lines[head];
        for (const std::string& t : Words(line.substr(colon + 1))) {
          if (t == "|") continue;
          ScoreToken tok = ParseToken(t, kit);
          tok.Instrument = inst;
          dest.push_back(tok);
        }
      } else if (cmd == "title") {
        s.Title = line.substr(line.find("title") + 5);
        s.Title.erase(0, s.Title.find_first_not_of(" \t"));
        s.Title.erase(s.Title.find_last_not_of(" \t\r") + 1);
      } else if (cmd == "speed" && w.size() == 2) {
        s.Speed = ToInt(w[1], "speed");
      } else if (cmd == "bpm" && w.size() == 2) {
        s.Bpm = ToInt(w[1], "bpm");
      } else if (cmd == "rows" && w.size() == 2) {
        defaultRows = ToInt(w[1], "rows");
      } else if (cmd == "channel" && (w.size() == 3 || w.size() == 4)) {
        for (const ScoreChannel& c : s.Channels)
          if (c.Name == w[1]) throw std::runtime_error("channel " + w[1] + " declared twice");
        s.Channels.push_back({w[1], w[2], w.size() == 4 ? Volume(w[3]) : -1});
      } else if (cmd == "kit") {
        for (size_t i = 1; i < w.size(); ++i) {
          size_t eq = w[i].find('=');
          if (eq != 1 || !std::isalpha(static_cast<unsigned char>(w[i][0])))
            throw std::runtime_error("kit entries are letter=instrument[:volume]");
          KitEntry e;
          e.Instrument = w[i].substr(2);
          if (size_t colon = e.Instrument.find(':'); colon != std::string::npos) {
            e.Volume = Volume(e.Instrument.substr(colon + 1));
            e.Instrument.resize(colon);
          }
          s.Kit[w[i][0]] = e;
        }
      } else if (cmd == "pattern" && (w.size() == 2 || (w.size() == 4 && w[2] == "rows"))) {
        finishPattern();
        for (const ScorePattern& p : s.Patterns)
          if (p.Name == w[1]) throw std::runtime_error("pattern " + w[1] + " defined twice");
        ScorePattern p;
        p.Name = w[1];
        p.Rows = w.size() == 4 ? ToInt(w[3], "rows") : defaultRows;
        if (p.Rows < 1 || p.Rows > 256) throw std::runtime_error("a pattern has 1..256 rows");
        s.Patterns.push_back(p);
        patternLine.push_back(lineNo);
      } else if (cmd == "order") {
        s.Order.insert(s.Order.end(), w.begin() + 1, w.end());
      } else {
        throw std::runtime_error("cannot read \"" + cmd + "\" here");
      }
    }
  } catch (const std::runtime_error& e) {
    throw std::runtime_error(source + ":" + std::to_string(lineNo) + ": " + e.what());
  }
  finishPattern();
  if (s.Channels.empty()) throw std::runtime_error(source + ": no channels");
  if (s.Order.empty()) throw std::runtime_error(source + ": no order");
  return s;
}

Score LoadScore(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file.string());
  std::stringstream ss;
  ss << in.rdbuf();
  return ParseScore(ss.str(), file.string());
}

Instrument MakeInstrument(const std::string& name, const nlohmann::json& j, int bpm) {
  synth::Recipe r =
      synth::ParseRecipe(j, name, {"pitched", "adsr", "volume", "panning", "fadeout", "vibrato"});
  bool pitched = j.value("pitched", true);
  double playRate = r.Rate;  // the rate the sample plays at for note C-4
  if (pitched) {
    // The base tone has a whole number of samples a cycle, so a loop of whole cycles fits
    // exactly; the sample's transpose then brings it to middle C.
    int period = int(std::lround(r.Rate / kMiddleC));
    r.BaseFreq = double(r.Rate) / period;
    if (r.Looped) {
      long cycles = std::max(1L, std::lround(r.Length * r.BaseFreq));
      r.Length = double(cycles * period) / r.Rate;
    }
    playRate = kMiddleC * period;
  }
  Sample smp;
  smp.Name = name;
  smp.Data = synth::ToInt16(synth::Render(r));
  if (r.Looped) {
    smp.Loop = LoopType::Forward;
    smp.LoopStart = 0;
    smp.LoopLength = uint32_t(smp.Data.size());
  }
  long fine = std::lround(12 * std::log2(playRate / kC4Rate) * 128);
  long rel = long(std::floor((double(fine) + 64) / 128));
  smp.RelativeNote = int8_t(rel);
  smp.Finetune = int8_t(fine - rel * 128);
  smp.Volume = uint8_t(std::clamp(j.value("volume", 64), 0, 64));
  smp.Panning = uint8_t(std::clamp(j.value("panning", 128), 0, 255));

  Instrument in;
  in.Name = name;
  in.Samples.push_back(std::move(smp));
  in.Fadeout = uint16_t(std::clamp(j.value("fadeout", 0), 0, 0xFFF));
  if (j.contains("vibrato")) {
    auto v = j["vibrato"].get<std::vector<int>>();
    if (v.size() != 4) throw std::runtime_error(name + ": vibrato is [type, sweep, depth, rate]");
    in.VibratoType = uint8_t(v[0]);
    in.VibratoSweep = uint8_t(v[1]);
    in.VibratoDepth = uint8_t(v[2]);
    in.VibratoRate = uint8_t(v[3]);
  }
  if (j.contains("adsr")) {
    auto a = j["adsr"].get<std::vector<double>>();
    if (a.size() != 4 || a[2] < 0 || a[2] > 1) throw std::runtime_error(name + ": adsr is [attack, decay, sustain 0..1, release]");
    const double ticksPerSecond = bpm / 2.5;
    auto& pts = in.Volume.Points;
    auto add = [&](double seconds, double level) {
      uint16_t t = uint16_t(std::lround(seconds * ticksPerSecond));
      if (!pts.empty() && t <= pts.back().first) t = uint16_t(pts.back().first + 1);
      pts.push_back({t, uint16_t(std::lround(std::clamp(level, 0.0, 1.0) * 64))});
    };
    double t = a[0];
    add(0, a[0] > 0 ? 0 : 1);
    if (a[0] > 0) add(t, 1);
    // The decay and the release bend like a natural fade: three straight pieces each.
    for (int k = 1; k <= 3 && a[1] > 0; ++k)
      add(t + a[1] * k / 3, k == 3 ? a[2] : a[2] + (1 - a[2]) * std::exp(-1.6 * k));
    t += a[1];
    if (a[2] > 0) {
      in.Volume.Sustain = int(pts.size()) - 1;
      for (int k = 1; k <= 3; ++k) add(t + a[3] * k / 3, k == 3 ? 0 : a[2] * std::exp(-1.6 * k));
    } else if (pts.back().second != 0) {
      add(t + 0.01, 0);
    }
    in.Volume.On = true;
  } else if (r.Looped) {
    throw std::runtime_error(name + ": a looped instrument needs an adsr to end its notes");
  }
  return in;
}

Module BuildModule(const Score& s, const nlohmann::json& library) {
  Module m;
  m.Name = s.Title;
  m.Channels = int(s.Channels.size());
  m.Tempo = uint16_t(s.Speed);
  m.Bpm = uint16_t(s.Bpm);

  std::map<std::string, uint8_t> index;
  auto use = [&](const std::string& name) -> uint8_t {
    if (name == "kit") return 0;
    if (auto it = index.find(name); it != index.end()) return it->second;
    if (!library.contains(name)) throw std::runtime_error("no instrument named \"" + name + "\"");
    m.Instruments.push_back(MakeInstrument(name, library[name], s.Bpm));
    return index[name] = uint8_t(m.Instruments.size());
  };
  // Instruments in the order the score declares them, leaving out any it never plays.
  std::set<std::string> played;
  for (const ScorePattern& p : s.Patterns)
    for (const auto& [ch, toks] : p.Lines) {
      auto c = std::find_if(s.Channels.begin(), s.Channels.end(), [&](const ScoreChannel& x) { return x.Name == ch; });
      for (const ScoreToken& t : toks) {
        if (t.What == ScoreToken::Note) played.insert(t.Instrument.empty() ? c->Instrument : t.Instrument);
        if (t.What == ScoreToken::Drum && s.Kit.count(t.Letter)) played.insert(s.Kit.at(t.Letter).Instrument);
      }
    }
  for (const ScoreChannel& c : s.Channels)
    if (played.count(c.Instrument)) use(c.Instrument);
  for (const auto& [letter, e] : s.Kit)
    if (played.count(e.Instrument)) use(e.Instrument);

  std::map<std::string, uint8_t> patternIndex;
  for (const ScorePattern& p : s.Patterns) {
    Pattern pat;
    pat.Rows = p.Rows;
    pat.Cells.resize(size_t(p.Rows) * size_t(m.Channels));
    for (size_t ch = 0; ch < s.Channels.size(); ++ch) {
      const ScoreChannel& c = s.Channels[ch];
      auto line = p.Lines.find(c.Name);
      if (line == p.Lines.end()) continue;
      for (int row = 0; row < p.Rows; ++row) {
        const ScoreToken& t = line->second[size_t(row)];
        Cell& cell = pat.Cells[size_t(row) * size_t(m.Channels) + ch];
        int vol = t.Volume >= 0 ? t.Volume : c.Volume;
        switch (t.What) {
          case ScoreToken::None: vol = t.Volume; break;
          case ScoreToken::Off: cell.Note = kNoteOff; break;
          case ScoreToken::Note:
            cell.Note = uint8_t(1 + t.Pitch);
            cell.Instrument = use(t.Instrument.empty() ? c.Instrument : t.Instrument);
            break;
          case ScoreToken::Drum: {
            auto k = s.Kit.find(t.Letter);
            if (k == s.Kit.end())
              throw std::runtime_error("pattern " + p.Name + ": no drum for letter " + std::string(1, t.Letter));
            cell.Note = 49;  // C-4: the sample's own rate
            cell.Instrument = use(k->second.Instrument);
            if (t.Volume < 0 && k->second.Volume >= 0) vol = k->second.Volume;
            break;
          }
        }
        if (vol >= 0) cell.Volume = uint8_t(0x10 + vol);
      }
    }
    patternIndex[p.Name] = uint8_t(m.Patterns.size());
    m.Patterns.push_back(std::move(pat));
  }
  for (const std::string& name : s.Order) {
    auto it = patternIndex.find(name);
    if (it == patternIndex.end()) throw std::runtime_error("the order names a missing pattern " + name);
    m.Orders.push_back(it->second);
  }
  if (m.Instruments.empty()) throw std::runtime_error("the score plays no instrument");
  return m;
}

}  // namespace tk::xm
