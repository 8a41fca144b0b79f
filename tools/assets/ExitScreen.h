// The sample goodbye screen: pictures as BMP files and its description wdata/config.ini.
#pragma once

#include <filesystem>

namespace tk::assets {

// Reads srcDir/exitscreen.json and its SVGs, writes outDir/wdata/*.bmp and
// outDir/wdata/config.ini. Every button target must already exist under outDir.
void BuildExitScreen(const std::filesystem::path& outDir, const std::filesystem::path& srcDir);

}  // namespace tk::assets
