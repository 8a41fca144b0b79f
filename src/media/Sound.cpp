#include "media/Sound.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "media/Container.h"
#include "media/PictureCollection.h"
#include "platform/Cp1251.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace tk {

// ---- TDXSound ----

TDXSound::TDXSound(platform::IAudioOutput& out) : out_(out) {}

TDXSound::~TDXSound() {
  Finalize();
  Notify(TDXSoundNotifyType::Destroying);
}

void TDXSound::Initialize() {
  Finalize();
  int rate = mixer_.DeviceRate();
  // Without a device the output still pulls the mixer into nothing, so sounds start, run
  // and finish as usual and the game is merely silent.
  if (out_.Open([this](int16_t* frames, int n) { mixer_.Mix(frames, n); }, rate) && rate > 0)
    mixer_.SetDeviceRate(rate);
  initialized_ = true;
  Notify(TDXSoundNotifyType::Initialize);
  Restore();
}

void TDXSound::Finalize() {
  if (!initialized_) return;
  Notify(TDXSoundNotifyType::Finalize);
  out_.Close();
  initialized_ = false;
}

void TDXSound::Restore() {
  if (initialized_) Notify(TDXSoundNotifyType::Restore);
}

int TDXSound::RegisterNotifyEvent(Listener l) {
  const int id = nextId_++;
  listeners_.emplace_back(id, l);
  // A listener that arrives late catches up with a device that is already running.
  if (initialized_) {
    l(TDXSoundNotifyType::Initialize);
    l(TDXSoundNotifyType::Restore);
  }
  return id;
}

void TDXSound::UnRegisterNotifyEvent(int id) {
  auto it = std::find_if(listeners_.begin(), listeners_.end(),
                         [id](const auto& p) { return p.first == id; });
  if (it == listeners_.end()) return;
  Listener l = std::move(it->second);
  listeners_.erase(it);
  if (initialized_) l(TDXSoundNotifyType::Finalize);
}

void TDXSound::Notify(TDXSoundNotifyType t) {
  // A listener may unregister itself (or others) while being told.
  const auto copy = listeners_;
  for (const auto& entry : copy) {
    const int id = entry.first;
    const bool stillThere = std::any_of(listeners_.begin(), listeners_.end(),
                                        [id](const auto& p) { return p.first == id; });
    if (stillThere) entry.second(t);
  }
}

// ---- TWaveCollectionItem ----

TWaveCollectionItem::TWaveCollectionItem(TWaveCollection& owner) : owner_(owner) {}

TWaveCollectionItem::~TWaveCollectionItem() { Release(); }

void TWaveCollectionItem::SetName(std::string name) {
  owner_.Unlink(*this);
  name_ = std::move(name);
  owner_.Link(*this);
}

void TWaveCollectionItem::SetLooped(bool v) {
  if (v == looped_) return;
  StopWave();
  looped_ = v;
}

void TWaveCollectionItem::SetMaxPlayingCount(int32_t v) {
  v = std::max(v, 0);
  if (v == maxPlaying_) return;
  maxPlaying_ = v;
  if (initialized_) extra_.clear();
}

void TWaveCollectionItem::ApplySettings(TSoundBuffer& b) const {
  b.SetFrequency(static_cast<uint32_t>(std::max(Frequency, 0)));
  b.SetPan(Pan);
  b.SetVolume(Volume);
}

void TWaveCollectionItem::Upload() {
  if (Wave.Size() == 0) return;
  if (!initialized_ && owner_.Initialized()) {
    Release();
    initialized_ = true;
  }
  if (!initialized_) return;
  // A buffer made from other sample bytes (the wave was replaced) is made anew.
  if (primary_ && primary_->Wave().Data != Wave.Data) primary_.reset();
  if (!primary_) primary_ = std::make_unique<TSoundBuffer>(owner_.device_->Mixer(), Wave);
  ApplySettings(*primary_);
}

void TWaveCollectionItem::Release() {
  primary_.reset();
  extra_.clear();
  initialized_ = false;
}

void TWaveCollectionItem::PlayWave(bool wait) {
  if (!initialized_) return;
  TSoundBuffer* buf = nullptr;
  if (looped_) {
    if (!primary_) Upload();
    if (!primary_) return;
    // A looped sound never overlaps itself: it starts again from the top.
    primary_->Stop();
    primary_->SetPosition(0);
    primary_->Play(true);
    return;
  }
  for (const auto& b : extra_)
    if (!b->Playing()) {
      buf = b.get();
      break;
    }
  if (!buf) {
    if (maxPlaying_ == 0 || static_cast<int32_t>(extra_.size()) < maxPlaying_) {
      if (!primary_) Upload();
      if (!primary_) return;
      extra_.push_back(std::make_unique<TSoundBuffer>(owner_.device_->Mixer(), primary_->Wave()));
    } else {
      // At the limit: the copy started longest ago starts over and becomes the newest.
      std::rotate(extra_.begin(), extra_.begin() + 1, extra_.end());
    }
    buf = extra_.back().get();
  }
  buf->Stop();
  buf->SetPosition(0);
  ApplySettings(*buf);
  buf->Play(false);
  if (wait && buf->Playable()) {
    // Bounded by the sound's own length, so an output that stopped pulling cannot hang us.
    const TWaveFormat& f = buf->Wave().Format;
    const uint32_t rate = Frequency > 0 ? static_cast<uint32_t>(Frequency) : f.SamplesPerSec;
    const uint64_t frameBytes = static_cast<uint64_t>(f.Channels) * (f.BitsPerSample / 8);
    const uint64_t limitMs = buf->Wave().Size() / frameBytes * 1000 / rate + 1000;
    for (uint64_t waited = 0; buf->Playing() && waited < limitMs; waited += 10)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

void TWaveCollectionItem::StopWave() {
  if (!initialized_) return;
  if (primary_) primary_->Stop();
  for (const auto& b : extra_) b->Stop();
}

// ---- TWaveCollection ----

TWaveCollection::TWaveCollection() = default;

TWaveCollection::~TWaveCollection() { Clear(); }

TWaveCollectionItem& TWaveCollection::Add() {
  items_.push_back(std::make_unique<TWaveCollectionItem>(*this));
  TWaveCollectionItem& it = *items_.back();
  it.index_ = Count() - 1;
  Link(it);
  return it;
}

void TWaveCollection::Clear() {
  for (auto& b : buckets_) b.clear();
  items_.clear();
}

void TWaveCollection::Link(TWaveCollectionItem& it) {
  it.bucket_ = NameHash(it.name_);
  buckets_[it.bucket_].push_back(&it);  // the back of a bucket is the head of its chain
}

void TWaveCollection::Unlink(TWaveCollectionItem& it) {
  if (it.bucket_ < 0) return;
  auto& b = buckets_[it.bucket_];
  b.erase(std::remove(b.begin(), b.end(), &it), b.end());
  it.bucket_ = -1;
}

TWaveCollectionItem* TWaveCollection::Find(std::string_view name) {
  const auto& b = buckets_[NameHash(name)];
  for (auto it = b.rbegin(); it != b.rend(); ++it)
    if (SameTextCp1251((*it)->name_, name)) return *it;
  return nullptr;
}

TWaveCollectionItem& TWaveCollection::FindSound(std::string_view name) {
  if (TWaveCollectionItem* it = Find(name)) return *it;
  throw EWaveCollectionError("Wave '" + std::string(name) + "' not found");
}

bool TWaveCollection::Initialized() const { return device_ && device_->Initialized(); }

void TWaveCollection::AttachDevice(TDXSound* device) {
  ReleaseBuffers();
  device_ = device;
  if (!Initialized()) return;
  for (auto& it : items_) {
    it->Release();
    it->initialized_ = true;
  }
}

void TWaveCollection::ReleaseBuffers() {
  for (auto& it : items_) it->Release();
}

void TWaveCollection::UploadAll() {
  for (auto& it : items_) it->Upload();
}

void TWaveCollection::LoadArchive(
    std::string_view path, const std::function<void(std::shared_ptr<const TFileBytes>)>& seen) {
  // The file is read before anything is emptied: a missing archive leaves the library as it was.
  const std::shared_ptr<const TFileBytes> bytes = ReadFileBytes(path);
  if (seen) seen(bytes);
  try {
    LoadFromBytes(bytes->View());
  } catch (EError& e) {
    e.File = ResolvePath(path).string();  // said on stderr with the offset
    throw;
  }
}

void TWaveCollection::LoadFromBytes(std::string_view bytes) {
  // Every old item goes with its buffers, playing ones included.
  Clear();
  TComponentReader c(bytes);
  TWaveCollectionItem* item = nullptr;
  c.ReadRootProperties([&](TStreamReader& r, std::string_view name) {
    if (name != "List") ThrowPropertyError(name);
    r.ReadCollection(
        [&](int index) {
          if (index == 0) Clear();
          item = &Add();
        },
        [&](TStreamReader& r, std::string_view prop) {
          if (prop == "Name") item->SetName(r.ReadString());
          else if (prop == "Looped") item->SetLooped(r.ReadBoolean());
          else if (prop == "MaxPlayingCount") item->SetMaxPlayingCount(r.ReadInteger());
          else if (prop == "Wave.WAVE") item->Wave = ParseWave(r.ReadBinary());
          else ThrowPropertyError(prop);
        });
  });
  if (Initialized()) {
    AttachDevice(device_);
    UploadAll();
  }
}

std::string TWaveCollection::SaveToBytes() const {
  return MakeComponentResource("TWaveCollectionComponent", "", [&](TStreamWriter& w) {
    w.WritePropName("List");
    w.WriteCollectionBegin();
    for (const auto& it : items_) {
      w.WriteListBegin();
      w.WritePropName("Name");
      w.WriteString(it->name_);
      // Defaults are left out, as the reader keeps them for absent properties.
      if (it->looped_) {
        w.WritePropName("Looped");
        w.WriteBoolean(true);
      }
      if (it->maxPlaying_ != 0) {
        w.WritePropName("MaxPlayingCount");
        w.WriteInteger(it->maxPlaying_);
      }
      w.WritePropName("Wave.WAVE");
      w.WriteBinary(WriteWave(it->Wave));
      w.WriteListEnd();
    }
    w.WriteListEnd();
  });
}

// ---- TDXWaveList ----

TDXWaveList::~TDXWaveList() { SetDXSound(nullptr); }

void TDXWaveList::SetDXSound(TDXSound* s) {
  if (s == dxsound_) return;
  if (dxsound_) dxsound_->UnRegisterNotifyEvent(listener_);
  dxsound_ = s;
  listener_ = 0;
  if (!dxsound_) {
    Items.AttachDevice(nullptr);
    return;
  }
  listener_ = dxsound_->RegisterNotifyEvent([this](TDXSoundNotifyType t) {
    switch (t) {
      case TDXSoundNotifyType::Destroying:
        SetDXSound(nullptr);
        break;
      case TDXSoundNotifyType::Initialize:
        Items.AttachDevice(dxsound_);
        break;
      case TDXSoundNotifyType::Finalize:
        Items.AttachDevice(nullptr);
        break;
      case TDXSoundNotifyType::Restore:
        Items.UploadAll();
        break;
    }
  });
}

}  // namespace tk
