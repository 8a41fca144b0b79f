// The module player of the builds that have no module player yet (the browser's under
// Node): a module is read and kept under a handle as on the desktop, and refused the same
// way when it is missing or not an XM module, but nothing is heard and its order position
// stays 0. The game reads the position only to start a tune again once it has played
// through, and that changes nothing but the sound: a run's state, pictures and replays come
// out as on the desktop, whose replay check mixes no sound either.
#include <filesystem>
#include <map>

#include "media/Sound.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace tk {

struct TMusicPlayer::Impl {
  explicit Impl(TMixer& m) : mixer(m) {}
  TMixer& mixer;
  std::map<uintptr_t, std::string> songs;  // the modules' bytes
};

TMusicPlayer::TMusicPlayer(TMixer& mixer) : impl_(std::make_unique<Impl>(mixer)) {}

TMusicPlayer::~TMusicPlayer() = default;

uintptr_t TMusicPlayer::SongLoadFromFile(const std::string& path) {
  newLoadError_.clear();
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) return 0;  // a tune left out: silence, no message
  std::string bytes;
  try {
    bytes = ReadWholeFile(path);
  } catch (const EError& e) {
    LoadFailed(path, e.what());
    return 0;
  }
  return SongLoadFromMemory(bytes, path);
}

uintptr_t TMusicPlayer::SongLoadFromMemory(std::string_view bytes, const std::string& name) {
  newLoadError_.clear();
  if (bytes.substr(0, 17) != "Extended Module: ") {
    LoadFailed(name, name + ": not a module format the player knows");
    return 0;
  }
  uintptr_t h = 1;  // the smallest free handle, as the desktop's player gives
  while (impl_->songs.count(h)) ++h;
  impl_->songs.emplace(h, std::string(bytes));
  return h;
}

void TMusicPlayer::LoadFailed(const std::string& name, const std::string& message) {
  if (failedNames_.insert(name).second) newLoadError_ = message;
}

void TMusicPlayer::SongPlay(uintptr_t) {}

int TMusicPlayer::SongGetOrder(uintptr_t) { return 0; }

void TMusicPlayer::SongFree(uintptr_t h) { impl_->songs.erase(h); }

}  // namespace tk
