#include "PlayFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

namespace tk::scores {

namespace {

// Larger files are not the game's: refused rather than held in memory.
constexpr uint64_t kMaxFileBytes = 256ull << 20;

TPlayFile Refusal(int status, std::string text) {
  TPlayFile f;
  f.Status = status;
  f.ContentType = "text/plain; charset=utf-8";
  f.Body = std::make_shared<const std::string>(std::move(text));
  return f;
}

std::string Tag(std::string_view bytes) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : bytes) h = (h ^ c) * 0x100000001b3ull;
  char buf[24];
  std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(h));
  return buf;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// Types whose bytes are already compressed: not worth trying gzip on.
bool Precompressed(std::string_view type) {
  return type == "image/png" || type == "image/jpeg" || type == "image/webp" ||
         type == "image/gif" || type == "font/woff2" || type == "application/gzip" ||
         type == "application/zip";
}

}  // namespace

std::string_view PlayContentType(std::string_view name) {
  const size_t dot = name.rfind('.');
  const std::string ext = dot == std::string_view::npos ? std::string() : Lower(name.substr(dot + 1));
  static const std::pair<const char*, const char*> kTypes[] = {
      {"html", "text/html; charset=utf-8"},
      {"htm", "text/html; charset=utf-8"},
      {"js", "text/javascript; charset=utf-8"},
      {"mjs", "text/javascript; charset=utf-8"},
      {"wasm", "application/wasm"},
      {"css", "text/css; charset=utf-8"},
      {"json", "application/json"},
      {"map", "application/json"},
      {"webmanifest", "application/manifest+json"},
      {"txt", "text/plain; charset=utf-8"},
      {"png", "image/png"},
      {"jpg", "image/jpeg"},
      {"jpeg", "image/jpeg"},
      {"gif", "image/gif"},
      {"webp", "image/webp"},
      {"svg", "image/svg+xml"},
      {"ico", "image/x-icon"},
      {"woff2", "font/woff2"},
      {"ttf", "font/ttf"},
      {"wav", "audio/wav"},
      {"ogg", "audio/ogg"},
  };
  for (const auto& [e, type] : kTypes)
    if (ext == e) return type;
  // The game's archives, prepared tables, .data packages and anything else.
  return "application/octet-stream";
}

bool IsHashedName(std::string_view path) {
  std::string_view name = path.substr(path.rfind('/') + 1);
  // "stem.HASH" or "stem.HASH.ext": the hash is the last part or the one before it.
  auto hashAt = [&](size_t end) {
    const size_t dot = name.rfind('.', end - 1);
    if (dot == std::string_view::npos || dot == 0 || end - dot - 1 != 16) return false;
    for (char c : name.substr(dot + 1, 16))
      if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
  };
  if (name.empty()) return false;
  if (hashAt(name.size())) return true;
  const size_t ext = name.rfind('.');
  return ext != std::string_view::npos && ext > 0 && ext + 1 < name.size() && hashAt(ext);
}

bool AcceptsGzip(std::string_view value) {
  for (;;) {
    const size_t comma = value.find(',');
    std::string item = Lower(value.substr(0, comma));
    // "gzip;q=0.5": the coding, then parameters; q=0 refuses it.
    const size_t semi = item.find(';');
    std::string coding = item.substr(0, semi);
    auto trim = [](std::string& s) {
      while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.erase(0, 1);
      while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    };
    trim(coding);
    if (coding == "gzip" || coding == "x-gzip" || coding == "*") {
      bool refused = false;
      if (semi != std::string::npos) {
        std::string params = item.substr(semi + 1);
        params.erase(std::remove_if(params.begin(), params.end(), [](char c) { return c == ' ' || c == '\t'; }),
                     params.end());
        if (params.rfind("q=", 0) == 0) {
          const std::string q = params.substr(2);
          refused = !q.empty() && std::strtod(q.c_str(), nullptr) <= 0.0;
        }
      }
      if (!refused) return true;
    }
    if (comma == std::string_view::npos) return false;
    value.remove_prefix(comma + 1);
  }
}

std::optional<std::string> DecodePath(std::string_view path) {
  std::string out;
  out.reserve(path.size());
  for (size_t i = 0; i < path.size(); ++i) {
    char c = path[i];
    if (c == '%') {
      if (i + 2 >= path.size() || !std::isxdigit(static_cast<unsigned char>(path[i + 1])) ||
          !std::isxdigit(static_cast<unsigned char>(path[i + 2])))
        return std::nullopt;
      c = static_cast<char>(std::stoi(std::string(path.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    }
    if (c == '\0') return std::nullopt;
    out += c;
  }
  return out;
}

std::string GzipBytes(std::string_view data, int level) {
  z_stream z{};
  // 15 window bits + 16: a gzip header and trailer around the deflate stream.
  if (deflateInit2(&z, level, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("zlib: cannot start compressing");
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) throw std::runtime_error("zlib: compressing failed");
  return out;
}

std::optional<fs::path> FindPlayDir(const fs::path& exeDir, std::vector<fs::path>& tried) {
  if (exeDir.empty()) return std::nullopt;
  std::vector<fs::path> candidates;
  // An installed program (PREFIX/bin) has no build folder beside it.
  if (exeDir.filename() != "bin") candidates.push_back((exeDir / ".." / "build-web" / "play").lexically_normal());
  candidates.push_back((exeDir / ".." / "share" / "tinokvak" / "play").lexically_normal());
  for (const fs::path& c : candidates) {
    tried.push_back(c);
    std::error_code ec;
    if (fs::is_regular_file(c / "index.html", ec)) return c;
  }
  return std::nullopt;
}

TPlayFiles::TPlayFiles(fs::path root) {
  if (root.empty()) return;
  std::error_code ec;
  Root_ = fs::canonical(root, ec);
  if (ec || !fs::is_directory(Root_, ec)) Root_.clear();
}

TPlayFile TPlayFiles::Get(std::string_view path, bool acceptsGzip) const {
  if (Root_.empty())
    return Refusal(404, "The game's page is not installed on this server (no play folder; see "
                        "tinokvak-scores --play-dir).\n");
  const std::optional<std::string> decoded = DecodePath(path);
  if (!decoded || decoded->empty() || (*decoded)[0] != '/')
    return Refusal(400, "bad path\n");
  // Segment by segment: only plain names; "." and ".." and empty segments (an absolute
  // path after "/play/") are refused, hidden files are not served.
  std::string rel = decoded->substr(1);
  if (rel.empty() || rel.back() == '/') rel += "index.html";
  fs::path file = Root_;
  for (size_t start = 0; start <= rel.size();) {
    const size_t slash = std::min(rel.find('/', start), rel.size());
    const std::string seg = rel.substr(start, slash - start);
    if (seg.empty() || seg == "." || seg == ".." || seg.find('\\') != std::string::npos)
      return Refusal(400, "bad path\n");
    for (unsigned char c : seg)
      if (c < 0x20 || c == 0x7f) return Refusal(400, "bad path\n");
    if (seg[0] == '.') return Refusal(404, "not found\n");
    file /= seg;
    start = slash + 1;
  }
  // Symlinks are followed only while they stay inside the folder.
  std::error_code ec;
  const fs::path real = fs::canonical(file, ec);
  if (ec) return Refusal(404, "not found\n");
  const std::string rootText = Root_.string() + "/";
  if (real.string().rfind(rootText, 0) != 0) return Refusal(404, "not found\n");
  const int fd = ::open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) return Refusal(404, "not found\n");
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return Refusal(404, "not found\n");  // a folder: no listing
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxFileBytes) {
    ::close(fd);
    return Refusal(500, "file too large to serve\n");
  }
  const int64_t mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  std::shared_ptr<const TEntry> entry;
  {
    std::lock_guard lock(Mutex_);
    auto it = Cache_.find(rel);
    if (it != Cache_.end() && it->second->Dev == st.st_dev && it->second->Ino == st.st_ino &&
        it->second->Size == static_cast<uint64_t>(st.st_size) && it->second->MtimeNs == mtimeNs)
      entry = it->second;
  }
  if (!entry) {
    // Read and compressed outside the lock: two first requests at once do it twice, and
    // nobody waits on another file's compressing.
    auto e = std::make_shared<TEntry>();
    e->Dev = st.st_dev;
    e->Ino = st.st_ino;
    e->Size = static_cast<uint64_t>(st.st_size);
    e->MtimeNs = mtimeNs;
    std::string bytes(static_cast<size_t>(st.st_size), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
    if (got != bytes.size()) {
      ::close(fd);
      return Refusal(500, "cannot read the file\n");  // changed while read: the next try reads it anew
    }
    e->ContentType = std::string(PlayContentType(rel));
    e->Tag = Tag(bytes);
    if (!Precompressed(e->ContentType) && bytes.size() > 256) {
      std::string gz = GzipBytes(bytes);
      // Only when it saves something worth a decoder's time (a tenth at least).
      if (gz.size() < bytes.size() - bytes.size() / 10)
        e->Gzipped = std::make_shared<const std::string>(std::move(gz));
    }
    e->Plain = std::make_shared<const std::string>(std::move(bytes));
    std::lock_guard lock(Mutex_);
    Cache_[rel] = e;
    entry = e;
  }
  ::close(fd);
  TPlayFile f;
  f.Status = 200;
  f.ContentType = entry->ContentType;
  f.Varies = entry->Gzipped != nullptr;
  f.Gzip = acceptsGzip && entry->Gzipped;
  f.Body = f.Gzip ? entry->Gzipped : entry->Plain;
  f.ETag = "\"" + entry->Tag + (f.Gzip ? "-gzip\"" : "\"");
  f.Modified = static_cast<int64_t>(st.st_mtim.tv_sec);
  f.Immutable = IsHashedName(rel);
  return f;
}

size_t TPlayFiles::Prepare(const std::atomic<bool>* stop) const {
  if (Root_.empty()) return 0;
  size_t n = 0;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(Root_, ec), end; !ec && it != end; it.increment(ec)) {
    if (stop && stop->load()) break;
    const std::string rel = fs::path(it->path()).lexically_relative(Root_).generic_string();
    // Hidden files and folders are never served: nothing to prepare in them.
    if (it->path().filename().string().rfind('.', 0) == 0) {
      if (it->is_directory(ec)) it.disable_recursion_pending();
      continue;
    }
    if (!it->is_regular_file(ec)) continue;
    try {
      if (Get("/" + rel, true).Status == 200) ++n;
    } catch (const std::exception&) {
      // Served (or refused) when asked for, as any file.
    }
  }
  return n;
}

}  // namespace tk::scores
