// Loading a module from its file, the same for every module player.
#include "media/ModuleLoad.h"

#include <filesystem>

#include "media/Sound.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace tk {

std::string ModuleLoadMessage(const std::string& name, TModuleProblem problem, int code) {
  switch (problem) {
    case TModuleProblem::NotAModule: return name + ": not a module format the player knows";
    case TModuleProblem::Damaged: return name + ": the module is damaged";
    case TModuleProblem::Other: break;
  }
  return name + ": the player cannot load it (error " + std::to_string(code) + ")";
}

uintptr_t TMusicPlayer::SongLoadFromFile(const std::string& path) {
  newLoadError_.clear();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return 0;  // a tune left out: silence, no message
  std::string bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const EError& e) {
    LoadFailed(path, e.what());  // names the file already
    return 0;
  }
  return SongLoadFromMemory(bytes, path);
}

void TMusicPlayer::LoadFailed(const std::string& name, const std::string& message) {
  if (failedNames_.insert(name).second) newLoadError_ = message;
}

}  // namespace tk
