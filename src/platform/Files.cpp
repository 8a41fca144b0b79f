#include "platform/Files.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
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
  std::ifstream in(p, std::ios::binary);
  if (!in) {
    const int err = errno;
    throw EFOpenError("Cannot open file \"" + std::string(name) + "\". " +
                      std::string(std::strerror(err ? err : ENOENT)));
  }
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

}  // namespace tk
