#include "persist/Settings.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>
#include <optional>

#include "protocol/Codec.h"
#include "persist/Numbers.h"

namespace tk {

namespace {

constexpr size_t kMaxFileBytes = 1 << 20;

// Lines of the file in order.
class TLineReader {
 public:
  explicit TLineReader(std::string_view bytes) : bytes_(bytes) {}
  // The next line without its LF; nothing past the end.
  std::optional<std::string_view> Next() {
    if (pos_ >= bytes_.size()) return std::nullopt;
    size_t end = bytes_.find('\n', pos_);
    terminated_ = end != std::string_view::npos;
    if (!terminated_) end = bytes_.size();
    const std::string_view line = bytes_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return line;
  }
  // Whether the line last returned ended with LF.
  bool Terminated() const { return terminated_; }
  std::string_view Rest() const {
    return pos_ < bytes_.size() ? bytes_.substr(pos_) : std::string_view();
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
  bool terminated_ = true;
};

std::string StripPadding(std::string text) {
  while (!text.empty() && text.back() == '%') text.pop_back();
  return text;
}

std::string Padded(std::string text) {
  while (text.size() % 5 != 0) text += '%';
  return text;
}

TFileError ErrorText(const std::filesystem::path& file, int err) {
  return {err, file.string() + ": " + std::strerror(err)};
}

// The system's error number, or 0 with the file's bytes. Only a plain file is read: a
// folder gives EISDIR, and a pipe or device is not waited on.
int ReadFileBytes(const std::filesystem::path& path, std::string& bytes) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return errno;
  struct stat st {};
  int err = 0;
  if (::fstat(fd, &st) != 0) {
    err = errno;
  } else if (S_ISDIR(st.st_mode)) {
    err = EISDIR;
  } else if (!S_ISREG(st.st_mode)) {
    err = EINVAL;
  }
  char buf[4096];
  while (err == 0) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      err = errno;
    } else if (n == 0) {
      break;
    } else {
      bytes.append(buf, static_cast<size_t>(n));
      // A real file is well under a kilobyte; past this it is not one of ours, and what
      // was read already shows that.
      if (bytes.size() >= kMaxFileBytes) break;
    }
  }
  ::close(fd);
  return err;
}

// rename() that fails with EEXIST instead of replacing the target.
int RenameNoReplace(const std::filesystem::path& from, const std::filesystem::path& to) {
#if defined(RENAME_NOREPLACE) && !defined(__EMSCRIPTEN__)
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
#endif
  // A file system without the flag: a hard link fails on an existing target too.
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  // A file system without hard links (the browser's answers EMLINK): look, then rename.
  if (errno != EPERM && errno != ENOTSUP && errno != EMLINK) return errno;
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) return EEXIST;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

void SyncFolderOf(const std::filesystem::path& path) {
  std::filesystem::path dir = path.parent_path();
  if (dir.empty()) dir = ".";
  if (const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

THighScoreTable DefaultHighScores() {
  static constexpr int32_t kScores[HighScoreRows] = {3000, 2500, 2000, 1500, 1000,
                                                     500,  400,  300,  200,  100};
  THighScoreTable table;
  for (int k = 0; k < HighScoreRows; ++k) table[k] = {"\xC2\xE0\xED\xFF", kScores[k]};  // "Ваня"
  return table;
}

int32_t LowestHighScore(const THighScoreTable& table) { return table[HighScoreRows - 1].Score; }

bool NameEntryOpens(const THighScoreTable& table, int32_t score) {
  return score >= LowestHighScore(table);
}

bool ResultIsRecorded(const THighScoreTable& table, int32_t score) {
  return score > LowestHighScore(table);
}

int HighScoreRank(const THighScoreTable& table, int32_t score) {
  int beaten = 0;
  for (int k = 0; k < HighScoreRows - 1; ++k)
    if (table[k].Score <= score) ++beaten;
  return HighScoreRows - 1 - beaten;
}

int RecordHighScore(THighScoreTable& table, std::string_view name, int32_t score) {
  if (!ResultIsRecorded(table, score)) return -1;
  const int rank = HighScoreRank(table, score);
  for (int k = HighScoreRows - 1; k > rank; --k) table[k] = std::move(table[k - 1]);
  table[rank] = {std::string(name), score};
  return rank;
}

std::vector<std::string> ReadSettingsLines(std::string_view fileBytes, TSettings& settings) {
  std::vector<std::string> problems;
  TLineReader lines(fileBytes);
  int lineNo = 0;
  bool cut = false;
  // The decoded text of the next line, or nothing past the end or for an unfinished line.
  const auto next = [&]() -> std::optional<std::string> {
    ++lineNo;
    if (cut) return std::nullopt;
    const std::optional<std::string_view> line = lines.Next();
    if (!line) {
      cut = true;
      problems.push_back(lineNo == 1 ? "the file is empty"
                                     : "the file ends after line " + std::to_string(lineNo - 1));
      return std::nullopt;
    }
    if (!lines.Terminated()) {
      // A line without its end was cut in writing; its text is not what was saved.
      cut = true;
      problems.push_back("line " + std::to_string(lineNo) + " is cut short");
      return std::nullopt;
    }
    return DecodeText(*line);
  };
  const auto value = [](const std::optional<std::string>& text) {
    return text ? *text : std::string();
  };

  // Only "false" keeps the window; even an empty line means full screen.
  if (value(next()) != "false") settings.GameFullScreen = true;
  if (value(next()) == "false") settings.GameMusic = false;
  if (value(next()) == "false") settings.GameSound = false;
  // A missing line is an empty one (and so empties these texts), as past the end of a file.
  settings.PlayerCountry = StripPadding(value(next()));
  settings.PlayerName = StripPadding(value(next()));

  bool badScore = false;
  for (auto& row : settings.HighScores) {
    if (std::string name = value(next()); !name.empty()) row.Name = StripPadding(std::move(name));
    if (std::string text = value(next()); !text.empty()) {
      text = StripPadding(std::move(text));
      if (const std::optional<int32_t> score = ParseInteger(text)) {
        row.Score = *score;
      } else {
        problems.push_back("line " + std::to_string(lineNo) + ": '" + text +
                           "' is not a valid integer value");
        badScore = true;
      }
    }
  }
  // Blank lines at the end are harmless; anything the decoder would read is not.
  if (!cut && lines.Rest().find_first_of(EncodingAlphabet) != std::string_view::npos)
    problems.push_back("the file goes on after line " + std::to_string(lineNo));
  // A row that kept its old score may stand out of order; ties keep the order they had.
  if (badScore)
    std::stable_sort(
        settings.HighScores.begin(), settings.HighScores.end(),
        [](const TLocal_HighScores& a, const TLocal_HighScores& b) { return a.Score > b.Score; });
  return problems;
}

bool ReadSettings(std::string_view fileBytes, TSettings& settings, std::string& error) {
  const std::vector<std::string> problems = ReadSettingsLines(fileBytes, settings);
  error.clear();
  for (const auto& p : problems) error += (error.empty() ? "" : "; ") + p;
  return problems.empty();
}

std::string WriteSettings(const TSettings& settings) {
  std::string out;
  const auto line = [&out](std::string_view plain) {
    out += EncodeText(plain);
    out += "\r\n";
  };
  const auto flag = [](bool on) { return on ? "true" : "false"; };
  line(flag(settings.GameFullScreen));
  line(flag(settings.GameMusic));
  line(flag(settings.GameSound));
  // An empty text stays empty: padding would make it a line of "%" only.
  line(Padded(settings.PlayerCountry));
  line(Padded(settings.PlayerName));
  for (const auto& row : settings.HighScores) {
    line(Padded(row.Name));
    line(Padded(std::to_string(row.Score)));
  }
  return out;
}

TSettingsLoad LoadSettingsFile(const std::filesystem::path& path, TSettings& settings) {
  TSettingsLoad load;
  std::string bytes;
  if (const int err = ReadFileBytes(path, bytes)) {
    if (err == ENOENT) return load;  // Missing: the defaults stand
    load.State = TSettingsLoad::Unreadable;
    load.Errno = err;
    load.Problems.push_back(std::strerror(err));
    return load;
  }
  load.Problems = ReadSettingsLines(bytes, settings);
  load.State = load.Problems.empty() ? TSettingsLoad::Whole : TSettingsLoad::Partial;
  return load;
}

std::filesystem::path SettingsTempPath(const std::filesystem::path& path) {
  std::filesystem::path temp = path;
  temp += ".tmp";
  return temp;
}

void RemoveLeftoverTemp(const std::filesystem::path& path) {
  const std::filesystem::path temp = SettingsTempPath(path);
  struct stat st {};
  // Only a plain file of that name is ours; a folder or a link is left alone.
  if (::lstat(temp.c_str(), &st) == 0 && S_ISREG(st.st_mode)) ::unlink(temp.c_str());
}

bool KeepOldSettingsFile(const std::filesystem::path& path, std::filesystem::path& keptAs,
                         TFileError& error) {
  keptAs.clear();
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) {
    if (errno == ENOENT) return true;  // nothing to keep
    error = ErrorText(path, errno);
    return false;
  }
  // A folder cannot be replaced by a save, so it needs no copy.
  if (S_ISDIR(st.st_mode)) return true;
  for (int n = 0; n < 1000; ++n) {
    std::filesystem::path candidate = path;
    candidate += n == 0 ? std::string(".bak") : ".bak." + std::to_string(n);
    const int err = RenameNoReplace(path, candidate);
    if (err == 0) {
      keptAs = candidate;
      SyncFolderOf(path);
      return true;
    }
    if (err != EEXIST) {
      error = ErrorText(candidate, err);
      return false;
    }
  }
  error = ErrorText(path.string() + ".bak", EEXIST);
  return false;
}

bool SaveSettingsFile(const std::filesystem::path& path, const TSettings& settings,
                      TFileError& error) {
  const std::string bytes = WriteSettings(settings);
  const std::filesystem::path temp = SettingsTempPath(path);

  // O_EXCL never writes through a link or into someone else's file of that name.
  ::unlink(temp.c_str());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = ErrorText(temp, errno);
    return false;
  }
  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int err = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  std::filesystem::path failed = temp;
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
    failed = path;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    error = ErrorText(failed, err);
    return false;
  }
  // Make the rename itself durable; the file is complete either way.
  SyncFolderOf(path);
  return true;
}

}  // namespace tk
