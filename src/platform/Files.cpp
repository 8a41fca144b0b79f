#include "platform/Files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "platform/Cp1251.h"
#include "platform/Errors.h"

namespace fs = std::filesystem;

namespace tk {

namespace {

// Windows ignores trailing blanks and dots of a name part.
std::string TrimPart(std::string part) {
  while (!part.empty() && (part.back() == ' ' || part.back() == '.') && part != "." &&
         part != "..")
    part.pop_back();
  return part;
}

bool SameNameIgnoringCase(const std::string& a, const std::string& b) {
  return SameTextCp1251(LowerCp1251(a), LowerCp1251(b));
}

}  // namespace

fs::path ResolvePath(std::string_view name) {
  std::string s(name);
  for (auto& c : s)
    if (c == '\\') c = '/';
  fs::path out;
  size_t pos = 0;
  if (!s.empty() && s[0] == '/') {
    out = "/";
    pos = 1;
  }
  while (pos <= s.size()) {
    size_t next = s.find('/', pos);
    if (next == std::string::npos) next = s.size();
    std::string part = TrimPart(s.substr(pos, next - pos));
    pos = next + 1;
    if (part.empty()) {
      if (next >= s.size()) break;
      continue;
    }
    fs::path candidate = out / part;
    std::error_code ec;
    if (!fs::exists(candidate, ec)) {
      // Match the part case-insensitively among the folder's entries.
      const fs::path dir = out.empty() ? fs::path(".") : out;
      for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (SameNameIgnoringCase(entry, part)) {
          candidate = out / entry;
          break;
        }
      }
    }
    out = candidate;
    if (next >= s.size()) break;
  }
  return out;
}

bool FileExists(std::string_view name) {
  std::error_code ec;
  return fs::is_regular_file(ResolvePath(name), ec);
}

namespace {

// Reads a whole file into a buffer the caller provides: reserve(n) makes room for n bytes
// and returns where they go; the file's size comes first, growth past it is read on.
// Returns the bytes read; throws EFOpenError.
template <typename Reserve>
size_t ReadFileInto(std::string_view name, Reserve&& reserve) {
  const fs::path p = ResolvePath(name);
  const auto fail = [&](int err) {
    throw EFOpenError("Cannot open file \"" + std::string(name) + "\". " + std::strerror(err));
  };
  // Non-blocking, so a pipe of that name is refused below rather than waited on.
  const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) fail(errno);
  struct stat st {};
  int err = 0;
  if (::fstat(fd, &st) != 0) err = errno;
  else if (S_ISDIR(st.st_mode)) err = EISDIR;
  else if (!S_ISREG(st.st_mode)) err = EINVAL;
  // Straight into a buffer of the file's size; past that (a file that grew) in steps.
  size_t got = 0, room = 0;
  char* at = nullptr;
  if (err == 0) {
    room = st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0;
    at = reserve(room);
  }
  while (err == 0) {
    if (got == room) {
      // At the size the file had: one byte more tells whether it grew.
      char probe[65536];
      const ssize_t n = ::read(fd, probe, sizeof probe);
      if (n > 0) {
        room = got + static_cast<size_t>(n);
        at = reserve(room);
        std::memcpy(at + got, probe, static_cast<size_t>(n));
        got = room;
      } else if (n == 0) {
        break;
      } else if (errno != EINTR) {
        err = errno;
      }
      continue;
    }
    const ssize_t n = ::read(fd, at + got, room - got);
    if (n > 0) got += static_cast<size_t>(n);
    else if (n == 0) break;
    else if (errno != EINTR) err = errno;
  }
  ::close(fd);
  if (err) fail(err);
  return got;
}

}  // namespace

std::string ReadWholeFile(std::string_view name) {
  std::string bytes;
  const size_t got = ReadFileInto(name, [&](size_t n) {
    bytes.resize(n);
    return bytes.data();
  });
  bytes.resize(got);
  return bytes;
}

TFileBytes::TFileBytes(size_t capacity) : capacity_(capacity) {
#if defined(MAP_POPULATE)
  // A big buffer comes with its pages in place: one call instead of a page fault for every
  // 4 KiB the read fills, which a virtual machine makes dear.
  // Where the system gives huge pages on request, they are asked for: a 2 MiB page is
  // one fault where 4 KiB pages are 512.
  if (capacity >= (size_t{1} << 20)) {
#if defined(MADV_HUGEPAGE)
    void* p = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS,
                     -1, 0);
    if (p != MAP_FAILED && ::madvise(p, capacity, MADV_HUGEPAGE) != 0) {
      ::munmap(p, capacity);
      p = MAP_FAILED;
    }
    if (p == MAP_FAILED)
#else
    void* p;
#endif
      p = ::mmap(nullptr, capacity, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
    if (p != MAP_FAILED) {
      data_ = static_cast<char*>(p);
      mapped_ = true;
      return;
    }
  }
#endif
  // Left uninitialised: the file's bytes are read over it at once.
  data_ = new char[capacity == 0 ? 1 : capacity];
}

TFileBytes::~TFileBytes() {
#if defined(MAP_POPULATE)
  if (mapped_) {
    ::munmap(data_, capacity_);
    return;
  }
#endif
  delete[] data_;
}

std::shared_ptr<const TFileBytes> ReadFileBytes(std::string_view name) {
  std::shared_ptr<TFileBytes> bytes;
  const size_t got = ReadFileInto(name, [&](size_t n) {
    if (!bytes || n > bytes->capacity_) {
      auto grown = std::make_shared<TFileBytes>(n);
      if (bytes) std::memcpy(grown->data_, bytes->data_, bytes->capacity_);
      bytes = std::move(grown);
    }
    return bytes->data_;
  });
  bytes->size_ = got;
  return bytes;
}

std::shared_ptr<const TFileBytes> MapFileBytes(std::string_view name) {
#if !defined(MAP_POPULATE)
  return ReadFileBytes(name);  // the destructor unmaps only where buffers are mapped too
#else
  const fs::path p = ResolvePath(name);
  const int fd = ::open(p.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return ReadFileBytes(name);  // says why, as a read would
  struct stat st {};
  void* at = MAP_FAILED;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
    at = ::mmap(nullptr, static_cast<size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
  ::close(fd);
  if (at == MAP_FAILED) return ReadFileBytes(name);
  auto bytes = std::make_shared<TFileBytes>(0);
  delete[] bytes->data_;
  bytes->data_ = static_cast<char*>(at);
  bytes->size_ = bytes->capacity_ = static_cast<size_t>(st.st_size);
  bytes->mapped_ = true;
  return bytes;
#endif
}

}  // namespace tk
