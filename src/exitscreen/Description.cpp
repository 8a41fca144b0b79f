#include "exitscreen/Description.h"

#include <cmath>
#include <limits>
#include <optional>

#include "persist/Numbers.h"
#include "platform/Files.h"

namespace tk {

namespace {

int32_t Saturate(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

class TDescriptionReader {
 public:
  TDescriptionReader(std::string_view text, const TFileExistsFn& fileExists)
      : text_(text), fileExists_(fileExists) {}

  bool Valid() const { return valid_; }
  void Fail() { valid_ = false; }

  std::string Text() {
    std::string_view line;
    if (!NextLine(line)) return {};
    return std::string(line);
  }

  // A text line naming a file that must exist.
  std::string Path() {
    std::string path = Text();
    if (valid_ && (path.empty() || !fileExists_(path))) valid_ = false;
    return path;
  }

  // A line of numbers, one blank between each two; the last takes the rest of the line, so
  // a missing, doubled or trailing blank leaves a number that is not an integer.
  void Numbers(std::initializer_list<int32_t*> out) {
    std::string_view line;
    if (!NextLine(line)) return;
    size_t k = 0;
    for (int32_t* value : out) {
      std::string_view part = line;
      if (++k < out.size()) {
        const size_t blank = line.find(' ');
        part = line.substr(0, blank);
        line = blank == std::string_view::npos ? std::string_view{} : line.substr(blank + 1);
      }
      const std::optional<int32_t> parsed = ParseInteger(part);
      *value = parsed.value_or(0);
      if (!parsed) valid_ = false;
    }
  }

  void Rect(TExitRect& r) { Numbers({&r.X, &r.Y, &r.Width, &r.Height}); }

 private:
  // The next line without its leading blanks; false (and invalid) once the text has ended
  // or after a failure.
  bool NextLine(std::string_view& line) {
    if (!valid_) return false;
    if (pos_ >= text_.size()) {
      valid_ = false;
      return false;
    }
    size_t end = text_.find('\n', pos_);
    if (end == std::string_view::npos) end = text_.size();
    line = text_.substr(pos_, end - pos_);
    pos_ = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    return true;
  }

  std::string_view text_;
  const TFileExistsFn& fileExists_;
  size_t pos_ = 0;
  bool valid_ = true;
};

}  // namespace

TExitScreenDescription ReadExitScreenDescription(std::string_view text,
                                                 const TFileExistsFn& fileExists) {
  TExitScreenDescription d;
  TDescriptionReader in(text, fileExists);

  in.Numbers({&d.ButtonCount});
  // Without buttons there is no exit button, and so no way to leave the page.
  if (d.ButtonCount < 1) in.Fail();
  d.Background = in.Path();

  for (int32_t i = 1; i <= d.ButtonCount && in.Valid(); ++i) {
    TExitButtonDescription& b = d.Buttons.emplace_back();
    b.IsExit = i == d.ButtonCount;
    in.Rect(b.HoverRect);
    in.Rect(b.NormalRect);
    if (b.IsExit) {
      in.Rect(b.DisabledRect);
      b.NormalImage = in.Path();
      b.HoverImage = in.Path();
      b.DisabledImage = in.Path();
      b.Target = "exit";
    } else {
      b.NormalImage = in.Path();
      b.HoverImage = in.Path();
      b.Target = in.Path();
      b.DisabledRect = b.NormalRect;
      b.DisabledImage = b.NormalImage;
    }
  }

  in.Numbers({&d.CountdownX, &d.CountdownY});
  int32_t seconds = 0;
  in.Numbers({&seconds});
  d.CountdownTenths = Saturate(int64_t{seconds} * 10);
  int32_t red = 0, green = 0, blue = 0;
  in.Numbers({&red, &green, &blue});
  d.CountdownColor = (static_cast<uint32_t>(red) & 0xFF) |
                     (static_cast<uint32_t>(green) & 0xFF) << 8 |
                     (static_cast<uint32_t>(blue) & 0xFF) << 16;
  // Case matters: "true" means no size follows.
  d.FontSizeGiven = in.Text() == "TRUE";
  if (d.FontSizeGiven) in.Numbers({&d.FontSize});
  if (!d.FontSizeGiven && !d.Buttons.empty() && d.Buttons.back().IsExit)
    d.FontSize = static_cast<int32_t>(std::nearbyint(0.6 * d.Buttons.back().NormalRect.Height));

  d.ScreenValid = in.Valid();
  return d;
}

TExitScreenDescription LoadExitScreenDescription(std::string_view name) {
  if (!FileExists(name)) return {};
  const TFileExistsFn exists = [](std::string_view path) { return FileExists(path); };
  return ReadExitScreenDescription(ReadWholeFile(name), exists);
}

}  // namespace tk
