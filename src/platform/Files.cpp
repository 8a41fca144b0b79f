#include "platform/Files.h"

#include <fcntl.h>
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

std::string ReadWholeFile(std::string_view name) {
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
  // Straight into a string of the file's size; past that (a file that grew) through a
  // buffer, so the string's capacity stays the file's size.
  std::string bytes;
  if (err == 0 && st.st_size > 0) bytes.resize(static_cast<size_t>(st.st_size));
  size_t got = 0;
  char buf[65536];
  while (err == 0) {
    const bool within = got < bytes.size();
    const ssize_t n = within ? ::read(fd, bytes.data() + got, bytes.size() - got)
                             : ::read(fd, buf, sizeof buf);
    if (n > 0) {
      if (!within) bytes.append(buf, static_cast<size_t>(n));
      got += static_cast<size_t>(n);
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      err = errno;
    }
  }
  ::close(fd);
  if (err) fail(err);
  bytes.resize(got);
  return bytes;
}

}  // namespace tk
