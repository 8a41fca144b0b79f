// A soak run's trace: one line per tick with a digest of the game's state (the counters,
// the pond and every sprite's place), and now and then one of the picture, so two builds
// of the game (another compiler, another standard library, the browser's) can be shown to
// play the same seed the same way tick for tick: their traces are equal line for line.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

#include "game/FeedingState.h"
#include "game/PondState.h"
#include "menus/Typing.h"
#include "online/State.h"
#include "shell/MainForm.h"

namespace tk::sim {

class Digest {
 public:
  void Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const uint8_t*>(p);
    for (size_t i = 0; i < n; ++i) h_ = (h_ ^ b[i]) * 1099511628211ull;
  }
  template <class T>
  void Value(T v) {
    Bytes(&v, sizeof v);  // whole numbers and doubles, little-endian on every build we make
  }
  void Text(const std::string& s) {
    Value(static_cast<uint64_t>(s.size()));  // the same eight bytes where size_t has four
    Bytes(s.data(), s.size());
  }
  uint64_t Result() const { return h_; }

 private:
  uint64_t h_ = 14695981039346656037ull;
};

inline void AddSprite(Digest& d, const TSprite& s) {
  d.Text(s.ClassName());
  d.Value(s.X);
  d.Value(s.Y);
  d.Value(s.Z());
  d.Value(s.Width);
  d.Value(s.Height);
  d.Value(s.Killed());
  d.Value(s.Visible);
  if (const auto* i = dynamic_cast<const TImageSprite*>(&s)) d.Value(i->FramePos);
  d.Value(static_cast<uint64_t>(s.ChildCount()));
  for (int i = 0; i < s.ChildCount(); ++i) AddSprite(d, *s.Children(i));
}

inline uint64_t StateDigest(TMainForm& f) {
  Digest d;
  d.Value(f.CurrentScene);
  d.Value(f.Level);
  d.Value(f.Score);
  d.Value(f.Lives);
  d.Value(f.Paused);
  d.Value(f.Module<game::TFeedingState>().AimAngle);
  d.Value(f.MouseX);
  d.Value(f.MouseY);
  d.Text(f.Module<menus::TTyping>().Edit1);
  d.Text(f.Module<online::TOnlineState>().Edit2);
  const auto& pond = f.Module<game::TPondState>();
  d.Value(pond.Hunger);
  d.Value(pond.FrogColumn);
  d.Value(pond.FrogFacing);
  for (auto& row : pond.LilyGrid)
    for (auto& cell : row) {
      d.Value(cell.LilyKind);
      d.Value(cell.Pickup);
    }
  d.Value(f.Module<game::TFeedingState>().TimeLeft);
  d.Text(f.CurrentTrack());
  AddSprite(d, f.Engine());
  return d.Result();
}

inline uint64_t FrameDigest(TSurface& s) {
  Digest d;
  if (s.Empty()) return d.Result();
  for (int y = 0; y < s.Height(); ++y) d.Bytes(s.Row(y), static_cast<size_t>(s.Width()) * 4);
  return d.Result();
}

}  // namespace tk::sim
