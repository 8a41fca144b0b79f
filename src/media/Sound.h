// The sound device and the named sound library read from the sound archive.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <array>
#include <vector>

#include "media/Mixer.h"
#include "media/Wave.h"
#include "platform/Platform.h"

namespace tk {

class TFileBytes;

enum class TDXSoundNotifyType { Initialize, Finalize, Restore, Destroying };

// The main window's "DXSound" component: the mixer on the platform's audio output. With
// no audio device the mixer still runs and the game is silent.
class TDXSound {
 public:
  using Listener = std::function<void(TDXSoundNotifyType)>;
  explicit TDXSound(platform::IAudioOutput& out);
  ~TDXSound();
  void Initialize();
  void Finalize();
  // Tells the listeners to upload again (Initialize does it after telling them it is up).
  void Restore();
  bool Initialized() const { return initialized_; }
  TMixer& Mixer() { return mixer_; }
  int RegisterNotifyEvent(Listener l);
  void UnRegisterNotifyEvent(int id);

 private:
  void Notify(TDXSoundNotifyType t);
  platform::IAudioOutput& out_;
  TMixer mixer_;
  bool initialized_ = false;
  std::vector<std::pair<int, Listener>> listeners_;
  int nextId_ = 1;
};

class TWaveCollection;

class TWaveCollectionItem {
 public:
  explicit TWaveCollectionItem(TWaveCollection& owner);
  ~TWaveCollectionItem();
  const std::string& Name() const { return name_; }
  void SetName(std::string name);
  int Index() const { return index_; }

  bool Looped() const { return looped_; }
  void SetLooped(bool v);  // a change stops the sound first
  int32_t MaxPlayingCount() const { return maxPlaying_; }
  void SetMaxPlayingCount(int32_t v);  // negative reads as 0
  TWave Wave;
  // Applied to every buffer it starts; 0 leaves the wave as it is (the wave's own rate,
  // centred, full volume). Pan and volume in hundredths of a decibel.
  int32_t Frequency = 0, Pan = 0, Volume = 0;
  bool Initialized() const { return initialized_; }

  void PlayWave(bool wait = false);
  void StopWave();
  void Upload();
  void Release();
  // Buffers, for tests: the primary one and the extra copies in list order.
  TSoundBuffer* PrimaryBuffer() const { return primary_.get(); }
  const std::vector<std::unique_ptr<TSoundBuffer>>& ExtraBuffers() const { return extra_; }

 private:
  friend class TWaveCollection;
  void ApplySettings(TSoundBuffer& b) const;
  TWaveCollection& owner_;
  std::string name_;
  int index_ = -1;
  int bucket_ = -1;
  bool looped_ = false;
  int32_t maxPlaying_ = 0;
  bool initialized_ = false;
  std::unique_ptr<TSoundBuffer> primary_;
  std::vector<std::unique_ptr<TSoundBuffer>> extra_;
};

class TWaveCollection {
 public:
  TWaveCollection();
  ~TWaveCollection();
  int Count() const { return static_cast<int>(items_.size()); }
  TWaveCollectionItem& Items(int i) { return *items_.at(i); }
  TWaveCollectionItem& Add();
  void Clear();
  // Throws EWaveCollectionError "Wave '%s' not found".
  TWaveCollectionItem& FindSound(std::string_view name);
  TWaveCollectionItem* Find(std::string_view name);
  // Seen, when set, gets the archive's bytes as read (the game hashes them meanwhile).
  void LoadArchive(std::string_view path,
                   const std::function<void(std::shared_ptr<const TFileBytes>)>& seen = {});
  void LoadFromBytes(std::string_view bytes);
  std::string SaveToBytes() const;

  bool Initialized() const;
  void AttachDevice(TDXSound* device);
  void ReleaseBuffers();
  void UploadAll();
  TDXSound* Device() const { return device_; }

 private:
  friend class TWaveCollectionItem;
  void Link(TWaveCollectionItem& it);
  void Unlink(TWaveCollectionItem& it);
  std::vector<std::unique_ptr<TWaveCollectionItem>> items_;
  std::array<std::vector<TWaveCollectionItem*>, 256> buckets_;
  TDXSound* device_ = nullptr;
};

// The main window's "DXWaveList" component.
class TDXWaveList {
 public:
  TDXWaveList() = default;
  ~TDXWaveList();
  void SetDXSound(TDXSound* s);
  TWaveCollection Items;

 private:
  TDXSound* dxsound_ = nullptr;
  int listener_ = 0;
};

// The module player behind the four operations the game uses; libxmp inside on the
// desktop (MusicPlayer.cpp), the tunes libxmp made at build time in the browser
// (web/MusicPlayerWeb.cpp), which report the same orders. Handles are non-zero; 0 means no
// module. Its state is only touched under the mixer's lock.
class TMusicPlayer {
 public:
  explicit TMusicPlayer(TMixer& mixer);
  ~TMusicPlayer();
  uintptr_t SongLoadFromFile(const std::string& path);  // 0 when it cannot be loaded
  // The same from the module's bytes; `name` is only for the message.
  uintptr_t SongLoadFromMemory(std::string_view bytes, const std::string& name);
  // Why the last load failed ("Music/1.xm: ..."), the first time a file fails; empty for a
  // missing file, after a success, and when the same file failed before (a tune is reloaded
  // every time it starts, and one line about it is enough).
  std::string NewLoadError() const { return newLoadError_; }
  void SongPlay(uintptr_t h);
  int SongGetOrder(uintptr_t h);
  void SongFree(uintptr_t h);

 private:
  void LoadFailed(const std::string& name, const std::string& message);
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::set<std::string> failedNames_;
  std::string newLoadError_;
};

}  // namespace tk
