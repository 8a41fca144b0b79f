// The promotional exit screen's description "wdata\config.ini": a plain text file naming the
// background, the picture buttons (the last one is always the exit button) and the countdown.
// Reading it is pure: the text comes in, the files it names are checked through a callback
// (the game passes tk::FileExists, tests a fake file system), and a plain struct comes out.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

struct TExitRect {
  int32_t X = 0, Y = 0, Width = 0, Height = 0;
  // Edges included, as the pointer test of the buttons has it.
  bool Contains(int32_t px, int32_t py) const {
    return X <= px && int64_t{px} <= int64_t{X} + Width && Y <= py &&
           int64_t{py} <= int64_t{Y} + Height;
  }
  bool operator==(const TExitRect&) const = default;
};

struct TExitButtonDescription {
  TExitRect HoverRect;     // only X and Y: where the hover image goes
  TExitRect NormalRect;    // the normal image's position and the clickable area
  TExitRect DisabledRect;  // only X and Y; the normal position except for the exit button
  std::string Target;      // "exit" for the exit button, else a file to open
  std::string NormalImage, HoverImage, DisabledImage;  // paths as the file names them
  bool IsExit = false;     // the last button; the only one that starts disabled
};

struct TExitScreenDescription {
  // True only when every line was read and every file named exists.
  bool ScreenValid = false;
  int32_t ButtonCount = 0;
  std::string Background;
  // In file order, up to the first failure.
  std::vector<TExitButtonDescription> Buttons;
  int32_t CountdownX = 0, CountdownY = 0;  // the centre of the countdown number
  int32_t CountdownTenths = 0;             // the file's seconds × 10
  uint32_t CountdownColor = 0;             // 0x00BBGGRR
  bool FontSizeGiven = false;
  // As given, else round-half-to-even(0.6 × the exit button's NormalRect height).
  int32_t FontSize = 0;
};

using TFileExistsFn = std::function<bool(std::string_view name)>;

// Reads the description's text. Lines end at LF (a CR before it is dropped); each line loses
// its leading blanks and keeps its trailing ones. Numbers on a line are separated by exactly
// one blank. The first failure (a missing line, a number that is not an integer (read as 0),
// an empty path or one that does not exist, a button count below 1) makes the description
// invalid and ends the reading: later texts stay empty and later numbers unchanged.
TExitScreenDescription ReadExitScreenDescription(std::string_view text,
                                                 const TFileExistsFn& fileExists);

// The game's description file: invalid when it does not exist, else read with the real
// file system. Errors reading an existing file propagate (EFOpenError).
TExitScreenDescription LoadExitScreenDescription(std::string_view name = "wdata\\config.ini");

}  // namespace tk
