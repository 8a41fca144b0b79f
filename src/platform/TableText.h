// The text renderer of the builds that cannot run the desktop's: it measures and draws
// from glyph tables (platform/GlyphTable.h) made at build time, one per font and size.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/GlyphTable.h"
#include "platform/Text.h"

namespace tk::platform {

// Reads the tables as tinokvak-glyphs writes them (each after its length in four bytes);
// throws std::runtime_error for a damaged file.
std::vector<GlyphTable> ParseGlyphTables(std::string_view bytes);

// A style without a table measures and draws nothing; it is named once on stderr, so a
// build that lacks one shows which.
std::unique_ptr<ITextRenderer> MakeTableTextRenderer(std::vector<GlyphTable> tables);

}  // namespace tk::platform
