#include "Stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tk::synth {

WaveStats Measure(const std::vector<int16_t>& s) {
  WaveStats st;
  st.Samples = s.size();
  if (s.empty()) return st;
  double sum = 0, sq = 0;
  for (int16_t v : s) {
    st.Peak = std::max(st.Peak, std::abs(int(v)));
    sum += v;
    sq += double(v) * v;
    if (v >= 32767 || v <= -32767) ++st.Clipped;
  }
  st.Mean = sum / double(s.size());
  st.Rms = std::sqrt(sq / double(s.size()));
  st.First = s.front();
  st.Last = s.back();
  st.SeamJump = std::abs(st.First - st.Last);
  size_t n = s.size();
  size_t span = std::min<size_t>(32, n / 2);
  for (size_t k = 1; k < span; ++k) {
    st.LocalStep = std::max(st.LocalStep, std::abs(int(s[k]) - int(s[k - 1])));
    st.LocalStep = std::max(st.LocalStep, std::abs(int(s[n - k]) - int(s[n - k - 1])));
  }
  return st;
}

std::vector<std::string> Problems(const WaveStats& st, bool looped) {
  std::vector<std::string> out;
  if (st.Samples == 0) {
    out.push_back("no samples");
    return out;
  }
  if (st.Clipped > 0) out.push_back("clips (" + std::to_string(st.Clipped) + " samples at full scale)");
  if (st.Peak > 32767 * 0.97) out.push_back("peak too close to full scale");
  if (st.Peak < 32767 * 0.05) out.push_back("nearly silent");
  if (std::abs(st.Mean) > 32767 * 0.02) out.push_back("offset from zero");
  const int nearZero = 32767 / 100;
  if (looped) {
    if (st.SeamJump > std::max(st.LocalStep * 3 / 2, nearZero))
      out.push_back("clicks at the loop seam (jump " + std::to_string(st.SeamJump) + ", local " +
                    std::to_string(st.LocalStep) + ")");
  } else {
    if (std::abs(st.First) > nearZero) out.push_back("starts with a click");
    if (std::abs(st.Last) > nearZero) out.push_back("ends with a click");
  }
  return out;
}

std::string Describe(const std::string& name, const WaveStats& st, int rate, bool looped) {
  auto db = [](double v) { return v > 0 ? 20 * std::log10(v / 32767.0) : -999.0; };
  char buf[256];
  std::snprintf(buf, sizeof buf,
                "%-12s %-6s %7.0f ms  peak %6d (%5.1f dB)  rms %5.1f dB  first %6d  last %6d  seam %5d  local %5d",
                name.c_str(), looped ? "loop" : "once", 1000.0 * double(st.Samples) / rate, st.Peak,
                db(st.Peak), db(st.Rms), st.First, st.Last, st.SeamJump, st.LocalStep);
  return buf;
}

}  // namespace tk::synth
