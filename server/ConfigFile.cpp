#include "ConfigFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <sstream>

namespace tk::scores {

namespace {

std::string Trim(const std::string& s) {
  const char* space = " \t\r";
  const size_t from = s.find_first_not_of(space);
  if (from == std::string::npos) return {};
  return s.substr(from, s.find_last_not_of(space) - from + 1);
}

}  // namespace

std::vector<TConfigSetting> ParseConfig(const std::string& text, const std::string& source,
                                        const std::set<std::string>& known) {
  std::vector<TConfigSetting> out;
  std::map<std::string, int> seen;
  std::istringstream in(text);
  std::string raw;
  int number = 0;
  auto fail = [&](const std::string& what) {
    throw TConfigError(source + ":" + std::to_string(number) + ": " + what);
  };
  while (std::getline(in, raw)) {
    ++number;
    // An editor's byte order mark is not part of the first name.
    if (number == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0) raw.erase(0, 3);
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const size_t eq = line.find('=');
    if (eq == std::string::npos) fail("expected \"name = value\", found \"" + line + "\"");
    TConfigSetting s{Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)), number};
    if (s.Name.empty()) fail("a setting without a name");
    if (!known.count(s.Name)) fail("unknown setting \"" + s.Name + "\"");
    if (s.Value.empty()) fail(s.Name + " has no value");
    if (const auto [it, fresh] = seen.emplace(s.Name, number); !fresh)
      fail(s.Name + " is already set on line " + std::to_string(it->second));
    out.push_back(std::move(s));
  }
  return out;
}

std::vector<TConfigSetting> ReadConfigFile(const std::string& path,
                                           const std::set<std::string>& known) {
  auto fail = [&path] { throw TConfigError("cannot read " + path + ": " + std::strerror(errno)); };
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail();
  std::string text;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      errno = error;
      fail();
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return ParseConfig(text, path, known);
}

}  // namespace tk::scores
