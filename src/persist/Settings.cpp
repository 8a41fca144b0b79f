#include "persist/Settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <limits>
#include <optional>

#include "persist/Codec.h"
#include "persist/Numbers.h"

namespace tk {

namespace {

// Lines of the file in order; past the end every line is empty.
class TLineReader {
 public:
  explicit TLineReader(std::string_view bytes) : bytes_(bytes) {}
  std::string_view Next() {
    if (pos_ >= bytes_.size()) return {};
    size_t end = bytes_.find('\n', pos_);
    if (end == std::string_view::npos) end = bytes_.size();
    const std::string_view line = bytes_.substr(pos_, end - pos_);
    pos_ = end + 1;
    return line;
  }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

std::string StripPadding(std::string text) {
  while (!text.empty() && text.back() == '%') text.pop_back();
  return text;
}

std::string Padded(std::string text) {
  while (text.size() % 5 != 0) text += '%';
  return text;
}

std::string IoError(int err) { return "I/O error " + std::to_string(err); }

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

bool ReadSettings(std::string_view fileBytes, TSettings& settings, std::string& error) {
  TLineReader lines(fileBytes);
  const auto next = [&lines] { return DecodeText(lines.Next()); };

  // Only "false" keeps the window; even an empty line means full screen.
  if (next() != "false") settings.GameFullScreen = true;
  if (next() == "false") settings.GameMusic = false;
  if (next() == "false") settings.GameSound = false;
  settings.PlayerCountry = StripPadding(next());
  settings.PlayerName = StripPadding(next());

  for (auto& row : settings.HighScores) {
    if (std::string name = next(); !name.empty()) row.Name = StripPadding(std::move(name));
    if (std::string text = next(); !text.empty()) {
      text = StripPadding(std::move(text));
      const std::optional<int32_t> score = ParseInteger(text);
      if (!score) {
        error = "'" + text + "' is not a valid integer value";
        return false;
      }
      row.Score = *score;
    }
  }
  return true;
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

bool SaveSettingsFile(const std::filesystem::path& path, const TSettings& settings,
                      std::string& error) {
  const std::string bytes = WriteSettings(settings);
  std::filesystem::path dir = path.parent_path();
  if (dir.empty()) dir = ".";

  // A fresh name beside the target: O_EXCL never opens someone else's file.
  std::filesystem::path temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = path;
    temp += ".tmp" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST) break;
  }
  if (fd < 0) {
    error = IoError(errno);
    return false;
  }

  bool ok = WriteAll(fd, bytes) && ::fsync(fd) == 0;
  int err = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && ::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    error = IoError(err);
    return false;
  }
  // Make the rename itself durable; the file is complete either way.
  if (const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }
  return true;
}

}  // namespace tk
