// Every angle the game takes a sine or cosine of, as the game computes it: the insects'
// waves, the tongue's aim and the turns of a picture. The media tests hold the portable
// functions to the desktop library over them; tinokvak-crosscheck prints their values so
// two builds can be compared.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <set>
#include <vector>

namespace tk::crosscheck {

// The flying insects: phase / divisor, the phase growing by the speed from 0 while the
// insect crosses the screen; the flying kinds divide by 50, 30, 10 and 60.
inline std::vector<double> InsectAngles() {
  std::vector<double> angles;
  for (double divisor : {50.0, 30.0, 10.0, 60.0})
    for (int32_t phase = 0; phase <= 4000; ++phase) angles.push_back(phase / divisor);
  return angles;
}

// The tongue: the aim is the pointer's x scaled to 720 degrees across the 800 pixels, less
// 180, plus the keys' adjustment in steps of 5, held within 120 .. 240 — over pointers far
// outside the frame and adjustments beyond what the keys can reach.
inline std::vector<double> TongueAngles() {
  std::set<double> aims;
  const double w = 800;
  for (int mouseX = -3000; mouseX <= 5000; ++mouseX)
    for (int steps = -200; steps <= 200; ++steps) {
      double aim = mouseX / (w / 720) - 180 + 5.0 * steps;
      if (aim > 240) aim = 240.0;
      if (aim < 120) aim = 120.0;
      aims.insert(aim);
    }
  std::vector<double> angles;
  for (double aim : aims) angles.push_back((aim - 90) * std::numbers::pi / 180);
  return angles;
}

// A turned picture: 256 turns to the circle.
inline std::vector<double> TurnAngles() {
  std::vector<double> angles;
  for (int turn = 0; turn < 256; ++turn) angles.push_back(turn * (2.0 * M_PI / 256.0));
  return angles;
}

}  // namespace tk::crosscheck
