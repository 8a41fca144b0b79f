// The archive kinds tinokvak-pack knows. Each kind lives in its own source file and
// registers itself with a static TArchiveKindRegistrar, so a new kind is one new file:
// the archive's root class name picks the kind for list, find and unpack, the manifest's
// "format" picks it for pack.
#pragma once

#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace tk::pack {

using Json = nlohmann::ordered_json;

struct TArchiveKind {
  std::string RootClass;  // "TPictureCollectionComponent", "TWaveCollectionComponent"
  std::string Format;     // the "format" of list output and manifests: "images", "sounds"
  // The list document ({"format": ..., "items": [...]}).
  std::function<Json(std::string_view archive)> List;
  // The index a lookup of name (Windows-1251) returns; throws the library's error.
  std::function<int(std::string_view archive, const std::string& name)> Find;
  // Writes dir/manifest.json and the item files; dir exists.
  std::function<void(std::string_view archive, const std::filesystem::path& dir)> Unpack;
  // The archive bytes for a manifest; file names in it are relative to dir.
  std::function<std::string(const Json& manifest, const std::filesystem::path& dir)> Pack;
};

void RegisterArchiveKind(TArchiveKind kind);
const std::vector<TArchiveKind>& ArchiveKinds();

struct TArchiveKindRegistrar {
  explicit TArchiveKindRegistrar(TArchiveKind kind) { RegisterArchiveKind(std::move(kind)); }
};

// Helpers shared by the kinds.
std::string ReadFileBytes(const std::filesystem::path& p);                    // throws EFOpenError
void WriteFileBytes(const std::filesystem::path& p, std::string_view bytes);  // throws EInOutError
std::string ToHex(std::string_view bytes);
std::string FromHex(std::string_view hex);  // throws EConvertError on a bad digit
// Manifest texts are UTF-8; the game's are Windows-1251.
std::string ToUtf8(std::string_view cp1251);
std::string FromUtf8(std::string_view utf8);

}  // namespace tk::pack
