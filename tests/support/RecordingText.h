// A text renderer that draws through the real one and keeps a log of what was drawn.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/Text.h"

namespace tk::testing {

struct TextCall {
  int X, Y;
  std::string Text;  // Windows-1251
  int Size;
  uint32_t Color;
};

class RecordingText : public platform::ITextRenderer {
 public:
  RecordingText(std::unique_ptr<platform::ITextRenderer> inner, std::vector<TextCall>& log)
      : inner_(std::move(inner)), log_(log) {}
  void Draw(uint32_t* pixels, int width, int height, int pitch, int x, int y,
            const std::string& text, const platform::TextStyle& style) override {
    log_.push_back({x, y, text, style.PointSize, style.Color});
    inner_->Draw(pixels, width, height, pitch, x, y, text, style);
  }
  int Width(const std::string& text, const platform::TextStyle& style) override {
    return inner_->Width(text, style);
  }
  int Height(const std::string& text, const platform::TextStyle& style) override {
    return inner_->Height(text, style);
  }

 private:
  std::unique_ptr<platform::ITextRenderer> inner_;
  std::vector<TextCall>& log_;
};

}  // namespace tk::testing
