// The one place where names written the Windows way ("Data\Graphic.dxg") become paths.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace tk {

// "\" becomes "/", trailing blanks and dots of each part are dropped, and a part that
// does not exist is matched case-insensitively in its folder. Relative to the current
// directory. The result may not exist.
std::filesystem::path ResolvePath(std::string_view name);
bool FileExists(std::string_view name);
// Whole file; throws EFOpenError ("Cannot open file \"%s\". %s") when it cannot be read.
std::string ReadWholeFile(std::string_view name);

// A file's bytes read once and shared by whoever keeps parts of them (the image library
// decodes its pictures from its archive's bytes when they are first drawn). Unlike a
// string, the buffer is not zeroed before the file is read into it.
class TFileBytes {
 public:
  TFileBytes(std::unique_ptr<char[]> data, size_t size) : data_(std::move(data)), size_(size) {}
  std::string_view View() const { return {data_.get(), size_}; }
  size_t Size() const { return size_; }

 private:
  std::unique_ptr<char[]> data_;
  size_t size_;
};
// Whole file, as ReadWholeFile (the same errors).
std::shared_ptr<const TFileBytes> ReadFileBytes(std::string_view name);

}  // namespace tk
