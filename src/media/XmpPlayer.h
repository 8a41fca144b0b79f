// How the game runs libxmp, for the module player and for tinokvak-tunes, which renders the
// browser build's tunes with it: the library's own defaults (16-bit signed stereo, linear
// interpolation, its stereo separation) at the given rate, up to XMP_MAX_SRATE.
#pragma once

#include <xmp.h>

namespace tk {

inline int StartXmpPlayer(xmp_context ctx, int rate) { return xmp_start_player(ctx, rate, 0); }

}  // namespace tk
