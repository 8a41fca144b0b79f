// tinokvak-pack: look into, take apart and rebuild the game's archives.
//   tinokvak-pack list ARCHIVE          JSON on stdout
//   tinokvak-pack find ARCHIVE NAME     the index of the item a lookup of NAME returns
//   tinokvak-pack unpack ARCHIVE DIR    DIR/manifest.json plus one file per item
//   tinokvak-pack pack MANIFEST OUT     an archive from a manifest
// Errors: the library's message on stderr, exit status 1.
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "Kinds.h"
#include "media/Container.h"
#include "platform/Cp1251.h"
#include "platform/Errors.h"
#include "platform/Program.h"

namespace fs = std::filesystem;

namespace tk::pack {

namespace {

std::vector<TArchiveKind>& Registry() {
  static std::vector<TArchiveKind> kinds;
  return kinds;
}

}  // namespace

void RegisterArchiveKind(TArchiveKind kind) { Registry().push_back(std::move(kind)); }
const std::vector<TArchiveKind>& ArchiveKinds() { return Registry(); }

std::string ReadFileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw EFOpenError("Cannot open file \"" + p.string() + "\". " + std::strerror(errno));
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const fs::path& p, std::string_view bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  if (!out) throw EFOpenError("Cannot create file \"" + p.string() + "\". " + std::strerror(errno));
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw EInOutError("I/O error " + std::to_string(errno));
}

std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(bytes.size() * 2);
  for (char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

std::string FromHex(std::string_view hex) {
  auto digit = [&](char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    throw EConvertError("'" + std::string(hex) + "' is not valid hexadecimal");
  };
  if (hex.size() % 2) throw EConvertError("'" + std::string(hex) + "' is not valid hexadecimal");
  std::string out;
  for (size_t i = 0; i < hex.size(); i += 2)
    out += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
  return out;
}

std::string ToUtf8(std::string_view cp1251) { return Cp1251ToUtf8(cp1251); }
std::string FromUtf8(std::string_view utf8) { return Utf8ToCp1251(utf8); }

namespace {

constexpr const char* kUsage =
    "usage: tinokvak-pack list ARCHIVE | find ARCHIVE NAME | unpack ARCHIVE DIR |"
    " pack MANIFEST OUT\n";

const TArchiveKind& KindOfArchive(std::string_view bytes) {
  // The root class says what the archive holds; reading it also checks the header.
  TComponentReader reader(bytes);
  for (const auto& k : ArchiveKinds())
    if (k.RootClass == reader.ClassName()) return k;
  throw EFilerError("Unknown archive class " + reader.ClassName());
}

const TArchiveKind& KindOfFormat(const std::string& format) {
  for (const auto& k : ArchiveKinds())
    if (k.Format == format) return k;
  throw EFilerError("Unknown archive format " + format);
}

int Run(int argc, char** argv) {
  if (AnswersHelpOrVersion(argc, argv, "tinokvak-pack", kUsage)) return 0;
  const std::string cmd = argc > 1 ? argv[1] : "";
  if (cmd == "list" && argc == 3) {
    const std::string bytes = ReadFileBytes(argv[2]);
    std::cout << KindOfArchive(bytes).List(bytes).dump() << "\n";
    return 0;
  }
  if (cmd == "find" && argc == 4) {
    const std::string bytes = ReadFileBytes(argv[2]);
    std::cout << KindOfArchive(bytes).Find(bytes, FromUtf8(argv[3])) << "\n";
    return 0;
  }
  if (cmd == "unpack" && argc == 4) {
    const std::string bytes = ReadFileBytes(argv[2]);
    const TArchiveKind& kind = KindOfArchive(bytes);
    std::error_code ec;
    fs::create_directories(argv[3], ec);
    if (!fs::is_directory(argv[3]))
      throw EFOpenError("Cannot create folder \"" + std::string(argv[3]) + "\". " + ec.message());
    kind.Unpack(bytes, argv[3]);
    return 0;
  }
  if (cmd == "pack" && argc == 4) {
    const fs::path manifestPath = argv[2];
    Json manifest;
    try {
      manifest = Json::parse(ReadFileBytes(manifestPath));
    } catch (const Json::exception& e) {
      throw EFilerError("Invalid manifest: " + std::string(e.what()));
    }
    if (!manifest.is_object() || !manifest.contains("format") || !manifest["format"].is_string())
      throw EFilerError("Invalid manifest: no format");
    const TArchiveKind& kind = KindOfFormat(manifest["format"].get<std::string>());
    std::string out;
    try {
      out = kind.Pack(manifest, manifestPath.parent_path());
    } catch (const Json::exception& e) {
      throw EFilerError("Invalid manifest: " + std::string(e.what()));
    }
    WriteFileBytes(argv[3], out);
    return 0;
  }
  std::cerr << kUsage;
  return 1;
}

}  // namespace

}  // namespace tk::pack

int main(int argc, char** argv) {
  try {
    return tk::pack::Run(argc, argv);
  } catch (const tk::EPictureCollectionError& e) {
    // Lookup messages carry the game's names, which are Windows-1251.
    std::cerr << tk::Cp1251ToUtf8(e.what()) << "\n";
  } catch (const tk::EWaveCollectionError& e) {
    std::cerr << tk::Cp1251ToUtf8(e.what()) << "\n";
  } catch (const std::exception& e) {
    std::cerr << e.what() << "\n";
  }
  return 1;
}
