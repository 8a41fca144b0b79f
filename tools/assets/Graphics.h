// The graphics archive and its previews, built from the picture manifests.
#pragma once

#include <filesystem>
#include <ostream>

namespace tk::assets {

// Builds Data/Graphic.dxg from every manifest of manifestDir, writes it to out (replacing
// it only when the archive read back matches what was built).
void BuildGraphics(const std::filesystem::path& out, const std::filesystem::path& manifestDir);
// One PNG per image ("<name>.png"), decoded from the stored payload exactly as the game
// decodes it. Reports each broken manifest or image on errors and returns their number.
int PreviewGraphics(const std::filesystem::path& dir, const std::filesystem::path& manifestDir,
                    std::ostream& errors);

}  // namespace tk::assets
