// The browser game's page under /play/: the files of one folder (the page, the game's
// script and WebAssembly, its data), served as they are on disk. A request names a file
// inside the folder and nothing else: no "..", no absolute path, no hidden file, no symlink
// leading out, no folder listing. Each file is read once per version (size, time, inode)
// and kept with its gzip form, made when gzip makes it smaller, so a page rebuilt while
// the server runs is served fresh and the compressing is paid once per build.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tk::scores {

// One file's answer: the bytes to send (gzip or not), how, and its validators.
struct TPlayFile {
  int Status = 404;            // 200, 400, 404, or 500 when it cannot be read
  std::string ContentType;     // of the file; for an error, of the text in Body
  std::shared_ptr<const std::string> Body;
  bool Gzip = false;           // Body is the gzip form
  bool Varies = false;         // a gzip form exists: the answer depends on Accept-Encoding
  std::string ETag;            // of the representation sent (quoted)
  int64_t Modified = 0;        // the file's time, seconds since the epoch
  bool Immutable = false;      // its name carries its content's hash: kept by browsers for good
};

class TPlayFiles {
 public:
  // ROOT: the folder (empty: none, every request answers 404).
  explicit TPlayFiles(std::filesystem::path root);

  const std::filesystem::path& Root() const { return Root_; }

  // PATH: the request's path after "/play", still percent-encoded ("/" for the page,
  // "/Data/Graphic.dxg"). ACCEPTS_GZIP: the client's Accept-Encoding takes gzip.
  TPlayFile Get(std::string_view path, bool acceptsGzip) const;

  // Reads and compresses every file of the folder ahead of the first visitor, who would
  // otherwise wait for it (seconds for the game's archives); returns the files prepared.
  // STOP, when set, ends it early. Safe beside Get on other threads.
  size_t Prepare(const std::atomic<bool>* stop = nullptr) const;

 private:
  struct TEntry {
    uint64_t Dev = 0, Ino = 0, Size = 0;
    int64_t MtimeNs = 0;
    std::string ContentType, Tag;
    std::shared_ptr<const std::string> Plain, Gzipped;
  };

  std::filesystem::path Root_;  // resolved, no symlinks
  mutable std::mutex Mutex_;
  mutable std::unordered_map<std::string, std::shared_ptr<const TEntry>> Cache_;
};

// The folder to serve when none is given: build-web/play beside the build folder the
// server runs from (EXE_DIR/../build-web/play), else the installed
// EXE_DIR/../share/tinokvak/play (/usr/share/tinokvak/play); a program installed in a
// PREFIX/bin looks for the installed one only. TRIED receives the places looked at, in
// order.
std::optional<std::filesystem::path> FindPlayDir(const std::filesystem::path& exeDir,
                                                 std::vector<std::filesystem::path>& tried);

// The Content-Type of a file by its name's extension.
std::string_view PlayContentType(std::string_view name);

// Whether a file's name carries its content's hash, as the build names every file of the
// page but the page itself: "tinokvak.0123456789abcdef.wasm", "Graphic.0123456789abcdef.dxg"
// (16 lowercase hex digits, then at most one extension). Such a file never changes under
// its name.
bool IsHashedName(std::string_view path);

// Whether an Accept-Encoding value takes gzip (not refused with q=0).
bool AcceptsGzip(std::string_view acceptEncoding);

// Percent-decodes a request path; nothing when an escape is malformed or decodes to NUL.
std::optional<std::string> DecodePath(std::string_view path);

// DATA compressed as a gzip file by zlib at LEVEL (the best by default; a quicker one for
// what is made per request).
std::string GzipBytes(std::string_view data, int level = 9);

}  // namespace tk::scores
