#include "Recipe.h"

#include <algorithm>
#include <fstream>
#include <set>
#include <sstream>
#include <stdexcept>

namespace tk::synth {

namespace {

using nlohmann::json;

[[noreturn]] void Fail(const std::string& where, const std::string& what) {
  throw std::runtime_error(where + ": " + what);
}

void CheckKeys(const json& j, const std::string& where, std::set<std::string> allowed) {
  if (!j.is_object()) Fail(where, "expected an object");
  for (const auto& [k, v] : j.items())
    if (!allowed.count(k)) Fail(where, "unknown key \"" + k + "\"");
}

double Num(const json& j, const std::string& where) {
  if (!j.is_number()) Fail(where, "expected a number");
  return j.get<double>();
}

// A number, or [from, to] for a sweep.
void NumOrSweep(const json& j, const std::string& where, double& from, double& to) {
  if (j.is_array()) {
    if (j.size() != 2) Fail(where, "expected [from, to]");
    from = Num(j[0], where);
    to = Num(j[1], where);
  } else {
    from = Num(j, where);
    to = 0;
  }
}

std::vector<double> Nums(const json& j, const std::string& where, size_t count) {
  if (!j.is_array() || (count && j.size() != count))
    Fail(where, count ? "expected " + std::to_string(count) + " numbers" : "expected a list of numbers");
  std::vector<double> out;
  for (const json& v : j) out.push_back(Num(v, where));
  return out;
}

Wave ParseWave(const json& j, const std::string& where) {
  static const std::pair<const char*, Wave> kNames[] = {{"sine", Wave::Sine},
                                                        {"square", Wave::Square},
                                                        {"saw", Wave::Saw},
                                                        {"triangle", Wave::Triangle},
                                                        {"noise", Wave::Noise}};
  if (j.is_string())
    for (const auto& [n, w] : kNames)
      if (j.get<std::string>() == n) return w;
  Fail(where, "wave must be sine, square, saw, triangle or noise");
}

}  // namespace

Layer ParseLayer(const json& j, bool looped) {
  const std::string w = "layer";
  CheckKeys(j, w,
            {"about", "wave", "freq", "glide", "linear", "duty", "smooth", "seed", "start", "length",
             "gain", "env", "vibrato", "tremolo", "lowpass", "highpass", "bandpass", "q", "arp",
             "copies"});
  Layer l;
  if (j.contains("wave")) l.Shape = ParseWave(j["wave"], w);
  if (j.contains("freq")) NumOrSweep(j["freq"], w + ".freq", l.Freq, l.FreqTo);
  if (l.Shape != Wave::Noise && !(l.Freq > 0)) Fail(w + ".freq", "must be positive");
  if (j.contains("glide")) l.Glide = Num(j["glide"], w + ".glide");
  if (j.contains("linear")) l.LinearSweep = j["linear"].get<bool>();
  if (j.contains("duty")) l.Duty = Num(j["duty"], w + ".duty");
  if (j.contains("smooth")) l.NoiseHold = Num(j["smooth"], w + ".smooth");
  if (j.contains("seed")) l.Seed = j["seed"].get<uint32_t>();
  if (j.contains("start")) l.Start = Num(j["start"], w + ".start");
  if (j.contains("length")) l.Length = Num(j["length"], w + ".length");
  if (j.contains("gain")) l.Gain = Num(j["gain"], w + ".gain");
  if (j.contains("env")) {
    const json& e = j["env"];
    if (e.is_boolean() && !e.get<bool>()) {
      l.HasEnvelope = false;
    } else {
      auto v = Nums(e, w + ".env (attack, decay, sustain, release)", 4);
      l.Env = {v[0], v[1], v[2], v[3]};
      if (v[0] < 0 || v[1] < 0 || v[3] < 0 || v[2] < 0 || v[2] > 1)
        Fail(w + ".env", "times must not be negative and the sustain level is 0..1");
    }
  }
  if (j.contains("vibrato")) {
    auto v = Nums(j["vibrato"], w + ".vibrato (semitones, rate)", 2);
    l.VibratoDepth = v[0];
    l.VibratoRate = v[1];
  }
  if (j.contains("tremolo")) {
    auto v = Nums(j["tremolo"], w + ".tremolo (depth, rate)", 2);
    l.TremoloDepth = std::clamp(v[0], 0.0, 1.0);
    l.TremoloRate = v[1];
  }
  double q = j.contains("q") ? Num(j["q"], w + ".q") : 0.707;
  for (auto [key, type] : {std::pair{"highpass", FilterType::HighPass},
                           std::pair{"lowpass", FilterType::LowPass},
                           std::pair{"bandpass", FilterType::BandPass}}) {
    if (!j.contains(key)) continue;
    Filter f;
    f.Type = type;
    f.Q = q;
    NumOrSweep(j[key], w + "." + key, f.Cutoff, f.CutoffTo);
    if (!(f.Cutoff > 0)) Fail(w + "." + key, "must be positive");
    l.Filters.push_back(f);
  }
  if (j.contains("arp")) {
    const json& a = j["arp"];
    CheckKeys(a, w + ".arp", {"semitones", "step"});
    l.Arp.Semitones = Nums(a.value("semitones", json::array()), w + ".arp.semitones", 0);
    if (a.contains("step")) l.Arp.Step = Num(a["step"], w + ".arp.step");
  }
  if (j.contains("copies")) {
    const json& c = j["copies"];
    CheckKeys(c, w + ".copies", {"count", "seed", "from", "to", "pitch", "level"});
    l.Copies.Count = c.value("count", 0);
    l.Copies.Seed = c.value("seed", 1u);
    l.Copies.From = c.value("from", 0.0);
    l.Copies.To = c.value("to", -1.0);
    l.Copies.Pitch = c.value("pitch", 0.0);
    l.Copies.Level = c.value("level", 0.0);
  }
  if (looped && l.Length < 0 && !j.contains("env")) l.HasEnvelope = false;
  return l;
}

Recipe ParseRecipe(const json& j, const std::string& name, const std::vector<std::string>& extraKeys) {
  std::set<std::string> keys = {"about", "rate", "length", "looped", "maxPlayingCount",
                                "peak", "highpass", "layers"};
  keys.insert(extraKeys.begin(), extraKeys.end());
  CheckKeys(j, name, keys);
  Recipe r;
  r.Name = name;
  r.Rate = j.value("rate", 22050);
  r.Looped = j.value("looped", false);
  if (j.contains("length")) r.Length = Num(j["length"], name + ".length");
  r.MaxPlayingCount = j.value("maxPlayingCount", 0);
  if (j.contains("peak")) r.Peak = Num(j["peak"], name + ".peak");
  if (j.contains("highpass")) r.HighPass = Num(j["highpass"], name + ".highpass");
  if (!j.contains("layers") || !j["layers"].is_array() || j["layers"].empty())
    Fail(name, "needs a list of layers");
  int i = 0;
  for (const json& lj : j["layers"]) {
    try {
      r.Layers.push_back(ParseLayer(lj, r.Looped));
    } catch (const std::exception& e) {
      Fail(name + " layer " + std::to_string(i), e.what());
    }
    ++i;
  }
  return r;
}

Recipe LoadRecipe(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + file.string());
  std::stringstream ss;
  ss << in.rdbuf();
  json j;
  try {
    j = json::parse(ss.str(), nullptr, true, /*ignore_comments=*/true);
  } catch (const json::exception& e) {
    throw std::runtime_error(file.string() + ": " + e.what());
  }
  try {
    return ParseRecipe(j, file.stem().string());
  } catch (const json::exception& e) {
    throw std::runtime_error(file.string() + ": " + e.what());
  }
}

}  // namespace tk::synth
