// The text renderer both platforms share: fonts found by name with fontconfig, drawn
// with SDL_ttf at 96 dots per inch.
#pragma once

#include <memory>
#include <string>

#include "platform/Text.h"

namespace tk::platform {

std::unique_ptr<ITextRenderer> MakeTtfTextRenderer();
// The font file used for a family name: the family itself when installed, else the
// free replacement ("Comfortaa" for the display font, "DejaVu Sans" for the rest).
std::string FindFontFile(const std::string& family, bool bold = false);

}  // namespace tk::platform
