// The one place where names written the Windows way ("Data\Graphic.dxg") become paths.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace tk {

// "\" becomes "/", trailing blanks and dots of each part are dropped, and a part that
// does not exist is matched case-insensitively in its folder. Relative to the current
// directory. The result may not exist.
std::filesystem::path ResolvePath(std::string_view name);
bool FileExists(std::string_view name);
// Whole file; throws EFOpenError ("Cannot open file \"%s\". %s") when it cannot be read.
std::string ReadWholeFile(std::string_view name);

}  // namespace tk
