#include "Synth.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace tk::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;

// One copy of a layer: where it starts, how it is transposed and how loud it is.
struct Instance {
  double Offset = 0;
  double Pitch = 1;
  double Level = 1;
};

std::vector<Instance> Instances(const Layer& l, double soundLength, double layerLength) {
  std::vector<Instance> base;
  if (l.Arp.Semitones.empty()) {
    base.push_back({});
  } else {
    for (size_t i = 0; i < l.Arp.Semitones.size(); ++i)
      base.push_back({l.Arp.Step * double(i), std::pow(2.0, l.Arp.Semitones[i] / 12.0), 1});
  }
  if (l.Copies.Count <= 0) return base;
  Noise rnd(l.Copies.Seed);
  double to = l.Copies.To >= 0 ? l.Copies.To : std::max(l.Copies.From, soundLength - layerLength);
  std::vector<Instance> out;
  for (int c = 0; c < l.Copies.Count; ++c) {
    double at = l.Copies.From + (to - l.Copies.From) * rnd.Uniform();
    double pitch = 1 + l.Copies.Pitch * rnd.Bipolar();
    double level = 1 - l.Copies.Level * rnd.Uniform();
    for (const Instance& b : base) out.push_back({b.Offset + at, b.Pitch * pitch, b.Level * level});
  }
  return out;
}

double PolyBlep(double t, double dt) {
  if (dt <= 0) return 0;
  if (t < dt) {
    t /= dt;
    return t + t - t * t - 1;
  }
  if (t > 1 - dt) {
    t = (t - 1) / dt;
    return t * t + t + t + 1;
  }
  return 0;
}

// Trapezoidal state-variable filter: stays stable while its cutoff moves.
class Svf {
 public:
  Svf(FilterType type, double q) : type_(type), k_(1.0 / std::max(q, 0.05)) {}
  double Process(double x, double cutoff, int rate) {
    cutoff = std::clamp(cutoff, 5.0, rate * 0.49);
    double g = std::tan(kPi * cutoff / rate);
    double a1 = 1 / (1 + g * (g + k_)), a2 = g * a1, a3 = g * a2;
    double v3 = x - ic2_;
    double v1 = a1 * ic1_ + a2 * v3;
    double v2 = ic2_ + a2 * ic1_ + a3 * v3;
    ic1_ = 2 * v1 - ic1_;
    ic2_ = 2 * v2 - ic2_;
    switch (type_) {
      case FilterType::LowPass: return v2;
      case FilterType::HighPass: return x - k_ * v1 - v2;
      case FilterType::BandPass: return v1;
    }
    return v2;
  }

 private:
  FilterType type_;
  double k_;
  double ic1_ = 0, ic2_ = 0;
};

// A filter over a buffer. Circular: the buffer is one period of an endless signal, so a
// first pass settles the filter on the loop and the second, kept, pass runs on from it.
void ApplyFilter(std::vector<double>& buf, const Filter& f, int rate, bool circular) {
  if (buf.empty()) return;
  Svf svf(f.Type, f.Q);
  size_t n = buf.size();
  auto cutoffAt = [&](size_t i) {
    if (f.CutoffTo <= 0 || n < 2) return f.Cutoff;
    return f.Cutoff * std::pow(f.CutoffTo / f.Cutoff, double(i) / double(n - 1));
  };
  if (circular) {
    for (int pass = 0; pass < 3; ++pass)
      for (size_t i = 0; i < n; ++i) svf.Process(buf[i], f.Cutoff, rate);
  }
  for (size_t i = 0; i < n; ++i) buf[i] = svf.Process(buf[i], cutoffAt(i), rate);
}

// Level of the envelope at sample i of n: attack and decay while the gate is open, then a
// release that reaches exactly 0 on the last sample, leaving no step behind.
class Envelope {
 public:
  Envelope(const Adsr& e, size_t n, int rate)
      : e_(e), rate_(rate), n_(n) {
    size_t rel = size_t(std::lround(std::max(e.Release, 0.0) * rate));
    gateEnd_ = n > rel ? n - rel : 0;
    releaseFrom_ = Held(double(gateEnd_) / rate);
  }
  double At(size_t i) const {
    if (i < gateEnd_) return Held(double(i) / rate_);
    double span = double(n_ - gateEnd_);
    double u = span > 1 ? double(i - gateEnd_) / (span - 1) : 1;
    return releaseFrom_ * (1 - u) * (1 - u);
  }

 private:
  double Held(double t) const {
    if (t < e_.Attack) return 0.5 - 0.5 * std::cos(kPi * t / e_.Attack);
    t -= e_.Attack;
    if (e_.Decay <= 0) return e_.Sustain;
    return e_.Sustain + (1 - e_.Sustain) * std::exp(-5 * t / e_.Decay);
  }
  Adsr e_;
  int rate_;
  size_t n_;
  size_t gateEnd_;
  double releaseFrom_;
};

// Noise values at a given rate joined by straight lines; circular over n samples.
std::vector<double> SlowNoise(Noise& rnd, size_t n, double pointsPerSample, bool circular) {
  size_t points = std::max<size_t>(2, size_t(std::lround(double(n) * pointsPerSample)));
  std::vector<double> pts(points + 1);
  for (size_t i = 0; i < points; ++i) pts[i] = rnd.Bipolar();
  pts[points] = circular ? pts[0] : rnd.Bipolar();
  std::vector<double> out(n);
  for (size_t i = 0; i < n; ++i) {
    double x = double(i) * double(points) / double(n);
    size_t k = std::min(size_t(x), points - 1);
    double u = x - double(k);
    out[i] = pts[k] * (1 - u) + pts[k + 1] * u;
  }
  return out;
}

// A whole number of cycles (at least one) in n samples at the given rate.
double SnapToLoop(double hz, size_t n, int rate) {
  if (hz <= 0) return 0;
  double cycles = std::max(1.0, std::round(hz * double(n) / rate));
  return cycles * rate / double(n);
}

// One instance of a layer, n samples long. `steady` marks a layer that fills a whole loop:
// its pitch and modulation then repeat exactly after n samples.
std::vector<double> RenderInstance(const Layer& l, const Instance& inst, const Recipe& r, size_t n,
                                   bool steady) {
  const int rate = r.Rate;
  std::vector<double> out(n);
  double base = r.BaseFreq > 0 ? r.BaseFreq : 1;
  double f0 = l.Freq * base * inst.Pitch;
  double f1 = l.FreqTo > 0 ? l.FreqTo * base * inst.Pitch : f0;
  double glide = l.Glide >= 0 ? l.Glide : double(n) / rate;
  double vibRate = steady ? SnapToLoop(l.VibratoRate, n, rate) : l.VibratoRate;
  double tremRate = steady ? SnapToLoop(l.TremoloRate, n, rate) : l.TremoloRate;

  if (l.Shape == Wave::Noise) {
    Noise rnd(l.Seed);
    if (l.NoiseHold > 0) {
      out = SlowNoise(rnd, n, l.NoiseHold / rate, steady);
    } else {
      for (double& v : out) v = rnd.Bipolar();
    }
  } else {
    // Phase steps first, so a steady layer can be scaled to end on a whole cycle.
    std::vector<double> step(n);
    double total = 0;
    for (size_t i = 0; i < n; ++i) {
      double t = double(i) / rate;
      double f = f0;
      if (f1 != f0) {
        double u = glide > 0 ? std::min(t / glide, 1.0) : 1.0;
        f = l.LinearSweep ? f0 + (f1 - f0) * u : f0 * std::pow(f1 / f0, u);
      }
      if (l.VibratoDepth != 0 && vibRate > 0)
        f *= std::pow(2.0, l.VibratoDepth / 12.0 * std::sin(2 * kPi * vibRate * t));
      step[i] = std::min(f / rate, 0.5);
      total += step[i];
    }
    if (steady && total > 0) {
      double scale = std::max(1.0, std::round(total)) / total;
      for (double& s : step) s *= scale;
    }
    double phase = 0;
    for (size_t i = 0; i < n; ++i) {
      double dt = step[i];
      double v = 0;
      switch (l.Shape) {
        case Wave::Sine: v = std::sin(2 * kPi * phase); break;
        case Wave::Square: {
          double duty = std::clamp(l.Duty, 0.02, 0.98);
          v = phase < duty ? 1.0 : -1.0;
          v += PolyBlep(phase, dt);
          double shifted = phase - duty;
          if (shifted < 0) shifted += 1;
          v -= PolyBlep(shifted, dt);
          v += 1 - 2 * duty;  // no offset whatever the duty
          break;
        }
        case Wave::Saw: {
          double shifted = phase + 0.5;  // starts at 0, rising
          if (shifted >= 1) shifted -= 1;
          v = 2 * shifted - 1 - PolyBlep(shifted, dt);
          break;
        }
        case Wave::Triangle: {
          double p = phase + 0.25;
          if (p >= 1) p -= 1;
          v = 1 - 4 * std::abs(p - 0.5);
          break;
        }
        case Wave::Noise: break;
      }
      out[i] = v;
      phase += dt;
      if (phase >= 1) phase -= std::floor(phase);
    }
  }

  if (l.TremoloDepth > 0 && tremRate > 0) {
    for (size_t i = 0; i < n; ++i) {
      double t = double(i) / rate;
      out[i] *= 1 - l.TremoloDepth * (0.5 - 0.5 * std::cos(2 * kPi * tremRate * t));
    }
  }
  for (const Filter& f : l.Filters) {
    if (steady && f.CutoffTo > 0)
      throw std::invalid_argument(r.Name + ": a layer that fills the loop cannot sweep its filter");
    ApplyFilter(out, f, rate, steady);
  }
  double gain = l.Gain * inst.Level;
  if (steady || !l.HasEnvelope) {
    for (double& v : out) v *= gain;
  } else {
    Envelope env(l.Env, n, rate);
    for (size_t i = 0; i < n; ++i) out[i] *= gain * env.At(i);
  }
  return out;
}

void FadeEdges(std::vector<double>& s, int rate) {
  size_t in = std::min(s.size() / 4, size_t(rate / 2000 + 1));   // 0.5 ms
  size_t out = std::min(s.size() / 4, size_t(rate / 1000 + 1));  // 1 ms
  for (size_t i = 0; i < in; ++i) s[i] *= double(i) / double(in);
  for (size_t i = 0; i < out; ++i) s[s.size() - 1 - i] *= double(i) / double(out);
}

// Turn a seamless loop so that it starts where two neighbouring samples are both near
// zero: the loop stays seamless and starting it makes no click.
void RotateToQuietStart(std::vector<double>& s) {
  size_t n = s.size();
  if (n < 2) return;
  size_t best = 0;
  double bestCost = 1e300;
  for (size_t i = 0; i < n; ++i) {
    double cost = std::abs(s[(i + n - 1) % n]) + std::abs(s[i]);
    if (cost < bestCost) {
      bestCost = cost;
      best = i;
    }
  }
  std::rotate(s.begin(), s.begin() + std::ptrdiff_t(best), s.end());
}

}  // namespace

std::vector<double> Render(const Recipe& r) {
  if (r.Rate < 8000 || r.Rate > 96000) throw std::invalid_argument(r.Name + ": rate out of range");
  if (!(r.Length > 0) || r.Length > 60) throw std::invalid_argument(r.Name + ": length out of range");
  const size_t n = size_t(std::lround(r.Length * r.Rate));
  std::vector<double> mix(n, 0.0);

  for (const Layer& l : r.Layers) {
    const bool steady = r.Looped && l.Length < 0;
    if (steady && l.FreqTo > 0)
      throw std::invalid_argument(r.Name + ": a layer that fills the loop cannot sweep its pitch");
    double layerLength = l.Length >= 0 ? l.Length : r.Length - l.Start;
    for (const Instance& inst : Instances(l, r.Length, layerLength)) {
      if (steady) {
        std::vector<double> buf = RenderInstance(l, inst, r, n, true);
        for (size_t i = 0; i < n; ++i) mix[i] += buf[i];
        continue;
      }
      long s0 = std::lround((l.Start + inst.Offset) * r.Rate);
      long len = std::lround(layerLength * r.Rate);
      if (!r.Looped) {
        // A one-shot is cut at the sound's end; the envelope is fitted to what remains.
        if (s0 < 0) s0 = 0;
        len = std::min<long>(len, long(n) - s0);
      } else {
        len = std::min<long>(len, long(n));
      }
      if (len <= 0) continue;
      std::vector<double> buf = RenderInstance(l, inst, r, size_t(len), false);
      for (long i = 0; i < len; ++i) {
        long at = s0 + i;
        if (r.Looped) at = ((at % long(n)) + long(n)) % long(n);  // events wrap round the loop
        mix[size_t(at)] += buf[size_t(i)];
      }
    }
  }

  if (r.HighPass > 0) ApplyFilter(mix, {FilterType::HighPass, r.HighPass, 0, 0.707}, r.Rate, r.Looped);
  if (!r.Looped) FadeEdges(mix, r.Rate);

  double peak = 0;
  for (double v : mix) peak = std::max(peak, std::abs(v));
  if (peak > 0) {
    double scale = std::clamp(r.Peak, 0.0, 0.98) / peak;
    for (double& v : mix) v *= scale;
  }
  if (r.Looped && r.QuietStart) RotateToQuietStart(mix);
  return mix;
}

std::vector<int16_t> ToInt16(const std::vector<double>& s) {
  std::vector<int16_t> out(s.size());
  for (size_t i = 0; i < s.size(); ++i)
    out[i] = int16_t(std::clamp<long>(std::lround(s[i] * 32767.0), -32768, 32767));
  return out;
}

std::string ToPcm16(const std::vector<int16_t>& s) {
  std::string out;
  out.reserve(s.size() * 2);
  for (int16_t v : s) {
    uint16_t u = uint16_t(v);
    out.push_back(char(u & 0xFF));
    out.push_back(char(u >> 8));
  }
  return out;
}

}  // namespace tk::synth
