// Measures a font at a size with the desktop's text renderer's own libraries (the font
// file it would use, shaped and hinted as it shapes and hints) into a glyph table.
#pragma once

#include <string>

#include "platform/GlyphTable.h"

namespace tk::glyphs {

// Throws std::runtime_error when the font cannot be found or shapes a pair into other
// glyphs than its two characters alone (a ligature), which a table cannot express.
platform::GlyphTable BuildGlyphTable(const std::string& family, int pointSize);

}  // namespace tk::glyphs
