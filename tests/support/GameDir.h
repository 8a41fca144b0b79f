// A temporary game folder that is the current directory while it lives, as the game reads
// and writes its files relative to the folder it runs in.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace tk::testing {

class TempGameDir {
 public:
  TempGameDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "tk-game-XXXXXX").string();
    dir_ = mkdtemp(tmpl.data());
    old_ = std::filesystem::current_path();
    std::filesystem::create_directories(dir_ / "Data");
    std::filesystem::current_path(dir_);
  }
  ~TempGameDir() {
    std::error_code ec;
    std::filesystem::current_path(old_, ec);
    std::filesystem::remove_all(dir_, ec);
  }
  TempGameDir(const TempGameDir&) = delete;
  TempGameDir& operator=(const TempGameDir&) = delete;
  const std::filesystem::path& Path() const { return dir_; }
  void Write(const std::string& name, const std::string& bytes) {
    std::filesystem::create_directories((dir_ / name).parent_path());
    std::ofstream(dir_ / name, std::ios::binary) << bytes;
  }

 private:
  std::filesystem::path dir_, old_;
};

}  // namespace tk::testing
