// The release's packages under /download/: the files of one flat folder, listed on a page
// with each one's size and SHA-256 and served as they are. A file's digest is computed
// once for each version of it (size, time, inode), when the server starts and when the
// file changes, never for each request. Only plain file names are served (letters,
// digits and "._+~-", no hidden file, nothing outside the folder, no symlink leading out).
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tk::scores {

struct TDownloadFile {
  std::string Name;
  uint64_t Size = 0;
  std::string Sha256;  // hex
  int64_t Modified = 0;
};

// One file's answer.
struct TDownloadAnswer {
  int Status = 404;  // 200, 404, or 500 when it cannot be read
  std::string ContentType = "text/plain; charset=utf-8";
  std::shared_ptr<const std::string> Body;
  std::string ETag;  // quoted, with 200
  int64_t Modified = 0;
};

class TDownloads {
 public:
  // ROOT: the folder (empty or missing: none, the page lists nothing).
  explicit TDownloads(std::filesystem::path root);
  const std::filesystem::path& Root() const { return root_; }

  // The folder's servable files by name, with their sizes and digests. Files that cannot
  // be read are left out (and said on the error stream once per version).
  std::vector<TDownloadFile> List() const;

  // NAME: the request's path after "/download/", still percent-encoded.
  TDownloadAnswer Get(std::string_view name) const;

  // Computes every file's digest ahead of the first visitor; STOP ends it early.
  void Prepare(const std::atomic<bool>* stop = nullptr) const;

  // A name this folder may serve.
  static bool IsServableName(std::string_view name);

  static constexpr uint64_t MaxFileBytes = 512ull << 20;

 private:
  struct TEntry {
    uint64_t Dev = 0, Ino = 0, Size = 0;
    int64_t MtimeNs = 0;
    std::string Sha256;
    std::shared_ptr<const std::string> Bytes;  // kept once served
  };
  // The entry for NAME as it is on disk now (read and hashed when it changed); nothing
  // when it is missing, not a regular file inside the folder, or cannot be read.
  std::shared_ptr<const TEntry> Current(const std::string& name, bool wantBytes) const;

  std::filesystem::path root_;  // resolved, no symlinks
  mutable std::mutex mutex_;
  mutable std::map<std::string, std::shared_ptr<const TEntry>> cache_;
};

// "/download" and everything under "/download/".
bool IsDownloadPath(std::string_view path);

// The Content-Type of a download by its name.
std::string DownloadContentType(std::string_view name);

// The folder to serve when none is given: download/ beside the build folder the server
// runs from (EXE_DIR/download, where "cpack -B download" puts the packages), or the
// installed EXE_DIR/../share/tinokvak/download. TRIED receives the places looked at.
std::optional<std::filesystem::path> FindDownloadDir(const std::filesystem::path& exeDir,
                                                     std::vector<std::filesystem::path>& tried);

// The /download/ page for FILES; ADDRESS as for the site's pages.
std::string DownloadPage(const std::vector<TDownloadFile>& files, std::string_view address);

// BYTES' SHA-256 digest in lower-case hex.
std::string Sha256Hex(std::string_view bytes);

// "12,3 МБ" and the like.
std::string HumanSize(uint64_t bytes);

}  // namespace tk::scores
