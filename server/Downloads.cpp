#include "Downloads.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <stdexcept>
#include <system_error>

#include "PlayFiles.h"
#include "ScoreService.h"
#include "SitePages.h"

namespace fs = std::filesystem;

namespace tk::scores {

namespace {

// The whole file behind FD (of SIZE bytes); nothing when it ends early or fails.
std::optional<std::string> ReadAll(int fd, uint64_t size) {
  std::string bytes(static_cast<size_t>(size), '\0');
  size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return std::nullopt;
    got += static_cast<size_t>(n);
  }
  return bytes;
}


}  // namespace

std::string Sha256Hex(std::string_view bytes) {
  unsigned char md[EVP_MAX_MD_SIZE];
  unsigned int n = 0;
  if (!EVP_Digest(bytes.data(), bytes.size(), md, &n, EVP_sha256(), nullptr))
    throw std::runtime_error("cannot compute a SHA-256 digest");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < n; ++i) {
    hex += kHex[md[i] >> 4];
    hex += kHex[md[i] & 15];
  }
  return hex;
}

bool IsDownloadPath(std::string_view path) {
  return path == "/download" || path.rfind("/download/", 0) == 0;
}

std::string DownloadContentType(std::string_view name) {
  auto ends = [&](std::string_view ext) {
    return name.size() > ext.size() && name.substr(name.size() - ext.size()) == ext;
  };
  if (ends(".deb")) return "application/vnd.debian.binary-package";
  if (ends(".tar.gz") || ends(".tgz")) return "application/gzip";
  if (ends(".tar.xz")) return "application/x-xz";
  if (ends(".zip")) return "application/zip";
  if (ends(".txt") || ends(".sha256") || ends("SUMS")) return "text/plain; charset=utf-8";
  return "application/octet-stream";
}

bool TDownloads::IsServableName(std::string_view name) {
  if (name.empty() || name.size() > 255 || name[0] == '.') return false;
  for (unsigned char c : name) {
    const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                    c == '.' || c == '_' || c == '+' || c == '~' || c == '-';
    if (!ok) return false;
  }
  return true;
}

std::optional<fs::path> FindDownloadDir(const fs::path& exeDir, std::vector<fs::path>& tried) {
  if (exeDir.empty()) return std::nullopt;
  std::vector<fs::path> candidates;
  // An installed program (PREFIX/bin) has no build folder around it.
  if (exeDir.filename() != "bin") candidates.push_back((exeDir / "download").lexically_normal());
  candidates.push_back((exeDir / ".." / "share" / "tinokvak" / "download").lexically_normal());
  for (const fs::path& c : candidates) {
    tried.push_back(c);
    std::error_code ec;
    if (fs::is_directory(c, ec)) return c;
  }
  return std::nullopt;
}

TDownloads::TDownloads(fs::path root) {
  if (root.empty()) return;
  std::error_code ec;
  root_ = fs::canonical(root, ec);
  if (ec || !fs::is_directory(root_, ec)) root_.clear();
}

std::shared_ptr<const TDownloads::TEntry> TDownloads::Current(const std::string& name, bool wantBytes) const {
  if (root_.empty() || !IsServableName(name)) return nullptr;
  // The name is one plain segment; a symlink is followed only while it stays inside.
  std::error_code ec;
  const fs::path real = fs::canonical(root_ / name, ec);
  if (ec || real.parent_path() != root_) return nullptr;
  const int fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return nullptr;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || static_cast<uint64_t>(st.st_size) > MaxFileBytes) {
    ::close(fd);
    return nullptr;
  }
  const int64_t mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  std::shared_ptr<const TEntry> known;
  {
    std::lock_guard lock(mutex_);
    auto it = cache_.find(name);
    if (it != cache_.end() && it->second->Dev == st.st_dev && it->second->Ino == st.st_ino &&
        it->second->Size == static_cast<uint64_t>(st.st_size) && it->second->MtimeNs == mtimeNs)
      known = it->second;
  }
  if (known && (known->Bytes || !wantBytes)) {
    ::close(fd);
    return known;
  }
  // Read (and hashed) outside the lock: nobody waits on another file's reading.
  std::optional<std::string> bytes = ReadAll(fd, static_cast<uint64_t>(st.st_size));
  struct stat after {};
  const bool same = bytes && ::fstat(fd, &after) == 0 && after.st_size == st.st_size &&
                    after.st_mtim.tv_sec == st.st_mtim.tv_sec && after.st_mtim.tv_nsec == st.st_mtim.tv_nsec;
  ::close(fd);
  if (!same) {
    // Being written: the next request reads it anew.
    std::fprintf(stderr, "tinokvak-scores: cannot read %s/%s whole (changing?)\n", root_.c_str(), name.c_str());
    return nullptr;
  }
  auto e = std::make_shared<TEntry>();
  e->Dev = st.st_dev;
  e->Ino = st.st_ino;
  e->Size = static_cast<uint64_t>(st.st_size);
  e->MtimeNs = mtimeNs;
  e->Sha256 = known ? known->Sha256 : Sha256Hex(*bytes);
  // The bytes are kept only once somebody downloads the file.
  if (wantBytes) e->Bytes = std::make_shared<const std::string>(std::move(*bytes));
  std::lock_guard lock(mutex_);
  cache_[name] = e;
  return e;
}

std::vector<TDownloadFile> TDownloads::List() const {
  std::vector<TDownloadFile> files;
  if (root_.empty()) return files;
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (IsServableName(name)) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::shared_ptr<const TEntry> e = Current(name, false);
    if (!e) continue;
    files.push_back({name, e->Size, e->Sha256, e->MtimeNs / 1000000000});
  }
  // Files gone since are forgotten.
  std::lock_guard lock(mutex_);
  for (auto it = cache_.begin(); it != cache_.end();)
    it = std::binary_search(names.begin(), names.end(), it->first) ? std::next(it) : cache_.erase(it);
  return files;
}

TDownloadAnswer TDownloads::Get(std::string_view encoded) const {
  TDownloadAnswer a;
  const std::optional<std::string> name = DecodePath(encoded);
  if (!name || !IsServableName(*name)) {
    a.Body = std::make_shared<const std::string>("not found\n");
    return a;
  }
  const std::shared_ptr<const TEntry> e = Current(*name, true);
  if (!e) {
    a.Body = std::make_shared<const std::string>("not found\n");
    return a;
  }
  a.Status = 200;
  a.ContentType = DownloadContentType(*name);
  a.Body = e->Bytes;
  a.ETag = "\"" + e->Sha256.substr(0, 32) + "\"";
  a.Modified = e->MtimeNs / 1000000000;
  return a;
}

void TDownloads::Prepare(const std::atomic<bool>* stop) const {
  if (root_.empty()) return;
  std::error_code ec;
  for (fs::directory_iterator it(root_, ec), end; !ec && it != end; it.increment(ec)) {
    if (stop && stop->load()) return;
    const std::string name = it->path().filename().string();
    if (IsServableName(name)) Current(name, false);
  }
}

std::string HumanSize(uint64_t bytes) {
  char buf[64];
  if (bytes < 1024) {
    std::snprintf(buf, sizeof buf, "%llu байт", static_cast<unsigned long long>(bytes));
  } else {
    const bool mega = bytes >= 1024 * 1024;
    const double v = static_cast<double>(bytes) / (mega ? 1024.0 * 1024.0 : 1024.0);
    std::snprintf(buf, sizeof buf, "%.1f %s", v, mega ? "МБ" : "КБ");
    for (char* p = buf; *p; ++p)
      if (*p == '.') *p = ',';
  }
  return buf;
}

std::string DownloadPage(const std::vector<TDownloadFile>& files, std::string_view address) {
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"ru\">\n<head>\n<meta charset=\"utf-8\">\n" +
      PageHead({"Тиноквак: скачать игру",
                "Пакеты игры Тиноквак для Debian и Ubuntu: размер и контрольная сумма SHA-256 каждого.",
                "/download/"},
               address) +
      "</head>\n<body>\n<header>\n<h1>Тиноквак: скачать</h1>\n"
      "<nav><a href=\"/\">Об игре</a><a href=\"/play/\">Играть</a>"
      "<a href=\"/cgi/version.pl?prg=Pondlark&amp;type=0&amp;show\">Лучшие результаты</a></nav>\n"
      "</header>\n<main>\n";
  if (files.empty()) {
    page +=
        "<p>Пакетов этого выпуска на сервере пока нет. Игру можно <a href=\"/#source\">собрать из "
        "исходников</a> или <a href=\"/play/\">играть в браузере</a>.</p>\n";
  } else {
    page +=
        "<p>Пакеты выпуска для Debian и Ubuntu (amd64). <code>tinokvak</code> — сама игра, "
        "<code>tinokvak-scores</code> — сервер рекордов для своего сайта.</p>\n"
        "<div class=\"wide\">\n<table class=\"downloads\">\n<tr><th>Файл</th><th>Размер</th><th>SHA-256</th></tr>\n";
    for (const TDownloadFile& f : files) {
      const std::string name = HtmlEscape(f.Name);
      page += "<tr><td><a href=\"/download/" + name + "\" download>" + name + "</a></td><td class=\"size\">" +
              HumanSize(f.Size) + "<br><small>" + std::to_string(f.Size) +
              " байт</small></td><td><code class=\"sum\">" + f.Sha256 + "</code></td></tr>\n";
    }
    page +=
        "</table>\n</div>\n"
        "<p>Проверьте скачанный файл и установите его:</p>\n"
        "<pre>sha256sum tinokvak_*.deb\nsudo apt install ./tinokvak_*.deb</pre>\n"
        "<p>Сумма, которую покажет <code>sha256sum</code>, должна совпасть с суммой в таблице.</p>\n";
  }
  page += "</main>\n<footer>Тиноквак — игра для Linux. <a href=\"/#source\">Сборка из исходников</a>.</footer>\n"
          "</body>\n</html>\n";
  return page;
}

}  // namespace tk::scores
