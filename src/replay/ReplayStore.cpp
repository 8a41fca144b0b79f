#include "replay/ReplayStore.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <regex>

namespace fs = std::filesystem;

namespace tk::replay {

namespace {

const std::regex& NamePattern() {
  static const std::regex re(R"(\d{4}-\d{2}-\d{2}_\d{2}-\d{2}-\d{2}(-\d+)?_-?\d+(_table)?\.tkr)");
  return re;
}

// Writes the whole buffer to a new file; errno describes a failure.
bool WriteNewFile(const fs::path& p, const std::string& bytes) {
  const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      errno = err;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  if (::fsync(fd) != 0 || ::close(fd) != 0) return false;
  return true;
}

}  // namespace

std::string ReplayFileName(const std::tm& when, int32_t score, bool enteredTable) {
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &when);
  return std::string(stamp) + "_" + std::to_string(score) + (enteredTable ? "_table" : "") +
         ReplayExtension;
}

bool IsReplayFileName(const std::string& name, bool* enteredTable) {
  std::smatch m;
  if (!std::regex_match(name, m, NamePattern())) return false;
  if (enteredTable) *enteredTable = m[2].matched;
  return true;
}

TStoreResult StoreReplay(const fs::path& folder, const std::string& bytes, const std::tm& when,
                         int32_t score, bool enteredTable, size_t keepNewest) {
  TStoreResult r;
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (ec) {
    r.Error = "cannot create " + folder.string() + ": " + ec.message();
    return r;
  }
  const std::string name = ReplayFileName(when, score, enteredTable);
  fs::path target = folder / name;
  // Two games ending in the same second keep both.
  for (int n = 2; fs::exists(target, ec) && n < 1000; ++n) {
    std::string alt = name;
    alt.insert(19, "-" + std::to_string(n));
    target = folder / alt;
  }
  const fs::path tmp = folder / (".writing-" + std::to_string(::getpid()) + ".tmp");
  ::unlink(tmp.c_str());
  if (!WriteNewFile(tmp, bytes)) {
    r.Error = "cannot write " + target.string() + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return r;
  }
  if (::rename(tmp.c_str(), target.c_str()) != 0) {
    r.Error = "cannot write " + target.string() + ": " + std::strerror(errno);
    ::unlink(tmp.c_str());
    return r;
  }
  r.Ok = true;
  r.Path = target;
  TrimReplays(folder, keepNewest);
  return r;
}

std::vector<std::string> TrimReplays(const fs::path& folder, size_t keepNewest) {
  std::vector<std::pair<std::string, bool>> ours;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    const std::string name = it->path().filename().string();
    bool table = false;
    if (IsReplayFileName(name, &table)) ours.emplace_back(name, table);
  }
  // The names start with the date and time: the greatest is the newest.
  std::sort(ours.begin(), ours.end(), [](auto& a, auto& b) { return a.first > b.first; });
  std::vector<std::string> deleted;
  for (size_t i = keepNewest; i < ours.size(); ++i) {
    if (ours[i].second) continue;
    if (fs::remove(folder / ours[i].first, ec)) deleted.push_back(ours[i].first);
  }
  return deleted;
}

}  // namespace tk::replay
