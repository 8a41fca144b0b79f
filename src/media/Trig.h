// Sine and cosine that give the same bits on every machine and standard library: the
// game's positions (the insects' waves, the tongue's tip, turned pictures) feed the
// replays, and a replay recorded on one build must end the same on any other. Each is
// computed in double-double arithmetic and rounded once to the nearest double, so the
// result is the correctly rounded value wherever IEEE doubles are (no fused operations,
// no extended precision). For the few angles of the game where the desktop's library
// rounds the other way, its value is kept, so older recordings play back unchanged.
#pragma once

namespace tk {

// Exact for |x| up to 2^20 radians; larger angles are reduced less precisely.
double Sin(double x);
double Cos(double x);

}  // namespace tk
