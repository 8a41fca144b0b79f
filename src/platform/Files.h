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
  explicit TFileBytes(size_t capacity);
  ~TFileBytes();
  TFileBytes(const TFileBytes&) = delete;
  TFileBytes& operator=(const TFileBytes&) = delete;
  std::string_view View() const { return {data_, size_}; }
  size_t Size() const { return size_; }

 private:
  friend std::shared_ptr<const TFileBytes> ReadFileBytes(std::string_view name);
  friend std::shared_ptr<const TFileBytes> MapFileBytes(std::string_view name);
  char* data_ = nullptr;
  size_t size_ = 0, capacity_ = 0;
  bool mapped_ = false;
};
// Whole file, as ReadWholeFile (the same errors).
std::shared_ptr<const TFileBytes> ReadFileBytes(std::string_view name);
// The same bytes mapped rather than read (the same errors): only the pages looked at are
// ever read. For a file nobody changes while its bytes are in use (one cut short under a
// mapping ends the process when its lost end is touched); a file that cannot be mapped
// (empty, not a plain file, no mapping to be had) is read as ReadFileBytes does.
std::shared_ptr<const TFileBytes> MapFileBytes(std::string_view name);

}  // namespace tk
