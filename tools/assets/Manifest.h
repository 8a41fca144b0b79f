// Picture manifests (assets/graphics/*.json): what each image is drawn from and how it is
// stored. The format is described in assets/graphics/README.md.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tk::assets {

enum class SourceKind { Svg, Frames, Sheet };

struct ImageSpec {
  std::string Name;  // the game's Windows-1251 lookup name
  std::string Where;  // "base.json: image 'menu'", for messages
  SourceKind Kind = SourceKind::Svg;
  std::vector<std::filesystem::path> Files;  // one for svg and sheet, one a frame otherwise
  int Width = 0, Height = 0;  // the whole picture
  int CellWidth = 0, CellHeight = 0;  // stored pattern size; 0 for a single picture
  int Columns = 1, Count = 1;  // frames or sheet cells, row-major
  bool Transparent = true;
  uint32_t KeyRgb = 0;  // 0x00RRGGBB
  bool Jpeg = false;
};

// One manifest; relative paths are taken from the manifest's folder. Throws BuildError
// naming the file and the image for any mistake (bad JSON, unknown or missing field,
// bad size, missing source file, duplicate name within the file).
std::vector<ImageSpec> ReadManifest(const std::filesystem::path& file);
// The *.json files of the folder in file-name order.
std::vector<std::filesystem::path> ManifestFiles(const std::filesystem::path& dir);
// Every image of those files, in order.
std::vector<ImageSpec> ReadManifestDir(const std::filesystem::path& dir);

}  // namespace tk::assets
