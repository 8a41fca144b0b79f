// The named image library: items read from the graphics archive, each a picture cut
// into a grid of patterns, looked up by a 256-bucket name hash, uploaded to surfaces
// when the display comes up and drawn onto the back surface.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/DXDraw.h"
#include "media/Draw.h"
#include "media/Picture.h"
#include "media/Surface.h"

namespace tk {

class EError;
class TFileBytes;

// The bucket of a name: (16 * L + s[L-2] + s[0]) mod 256 of the lower-cased
// Windows-1251 bytes; (16 * L) mod 256 below two characters.
int NameHash(std::string_view name);
// A colour constant's value ("clRed" -> 0x0000FF; system colours 0xFF0000nn); false for an
// unknown name. Case-insensitive.
bool IdentToColor(std::string_view ident, TColor& color);

class TPictureCollection;

class TPictureCollectionItem {
 public:
  explicit TPictureCollectionItem(TPictureCollection& owner);
  ~TPictureCollectionItem();

  const std::string& Name() const { return name_; }
  void SetName(std::string name);  // relinks in the hash
  int Index() const { return index_; }

  TPicture Picture;
  int32_t PatternWidth = 0, PatternHeight = 0;
  int32_t SkipWidth = 0, SkipHeight = 0;
  bool SystemMemory = false;
  bool Transparent = true;
  TColor TransparentColor() const { return transparentColor_; }
  void SetTransparentColor(TColor c);

  int CellWidth() const;
  int CellHeight() const;
  int CountPatterns() const;
  TRect PatternRectOf(int i) const;  // (0,0,0,0) out of range
  const TSurface* PatternSurfaceOf(int i) const;  // null out of range
  TPatternRef PatternRef(int i) const;  // for the pixel test and drawing
  bool Initialized() const { return initialized_; }
  // The decoded picture's pixels, Picture.Width x Picture.Height, from the surface while
  // uploaded; null for an empty picture.
  const uint32_t* Pixels() const;

  void DrawPattern(TSurface& dest, int x, int y, int i) const;
  void DrawPatternStretched(TSurface& dest, const TRect& r, int i) const;
  void DrawPatternAdd(TSurface& dest, const TRect& r, int i, int alpha) const;
  void DrawPatternRotated(TSurface& dest, int x, int y, int width, int height, int i,
                          double centreX, double centreY, int angle) const;
  void DrawPatternRotatedAdd(TSurface& dest, int x, int y, int width, int height, int i,
                             double centreX, double centreY, int angle, int alpha) const;

  void Upload();
  void Release();
  // Decodes the picture (when it was left pending) and makes its surface and opaque runs
  // (when uploaded): what drawing and the pixel test need, done on their first use.
  // Throws EInvalidGraphic for damaged pixel data, once: the item is empty afterwards.
  void Prepare() const;
  bool Pending() const { return surfacePending_ || Picture.Pending(); }
  // Names what drawing the item gives: a number no other item had and this one gets anew
  // whenever what it draws may have changed (uploaded, released, decoded, found damaged, a
  // new transparent colour). Together with Transparent, two draws of the same pattern at the
  // same place with the same Generation give the same pixels; an address alone would not
  // (an item freed and another made in its place, a picture decoded since).
  uint64_t Generation() const { return generation_; }

 private:
  friend class TPictureCollection;
  struct Pattern {
    TRect Rect;
    int Surface;
    TPatternRuns Runs;
  };
  TPictureCollection& owner_;
  std::string name_;
  int index_ = -1;
  int bucket_ = -1;
  TColor transparentColor_ = 0;
  bool initialized_ = false;
  bool pixelsInSurface_ = false;  // Picture.Pixels were moved into surfaces_[0]
  // Uploaded with the pattern rectangles laid out, the surface and runs not made yet.
  bool surfacePending_ = false;
  uint64_t generation_ = 0;
  void Changed();
  void MakeSurface();
  std::vector<TSurface> surfaces_;
  std::vector<Pattern> patterns_;
};

class TPictureCollection {
 public:
  TPictureCollection();
  ~TPictureCollection();
  TPictureCollection(const TPictureCollection&) = delete;
  TPictureCollection& operator=(const TPictureCollection&) = delete;

  int Count() const { return static_cast<int>(items_.size()); }
  TPictureCollectionItem& Items(int i) { return *items_.at(i); }
  const TPictureCollectionItem& Items(int i) const { return *items_.at(i); }
  TPictureCollectionItem& Add();
  void Delete(int i);
  void Clear();

  // Throws EPictureCollectionError "Image '%s' not found".
  TPictureCollectionItem& FindImage(std::string_view name);
  TPictureCollectionItem* Find(std::string_view name);  // null when missing

  // Reads an archive ("Data\Graphic.dxg") through the file layer; the container's errors
  // propagate and the items read so far stay. Each picture is kept once, decoded: the
  // stored bytes are dropped unless keepPayloads (a tool that writes the archive back can
  // read it again with them).
  // Seen, when set, gets the archive's bytes as read (the game hashes them meanwhile).
  void LoadArchive(std::string_view path, bool keepPayloads = false,
                   const std::function<void(std::shared_ptr<const TFileBytes>)>& seen = {});
  void LoadFromBytes(std::string_view bytes, bool keepPayloads = true);  // the same, from memory
  // With DecodeWhenUsed, LoadArchive checks each picture's header and leaves its pixels to
  // be decoded when the item is first drawn or tested (the archive's bytes are kept until
  // then); DecodeAll decodes what is left. The pixels are the same either way.
  bool DecodeWhenUsed = false;
  // LoadArchive maps the archive instead of reading it, so only the parts of it that are
  // parsed or decoded are ever read: for a process that only checks a replay, on game data
  // that does not change under it.
  bool MapArchive = false;
  void DecodeAll();
  // Decodes the next picture still pending, if any, and says whether there was one: a game
  // waiting for its next frame decodes them one by one, so none holds up a frame later.
  // Throws as a first draw would for a damaged one.
  bool DecodeNextPending();
  // An archive of the current items and colour table. Throws EPictureCollectionError for
  // a picture whose stored bytes were dropped: it would not come out as it went in.
  std::string SaveToBytes() const;

  std::array<uint8_t, 1024> ColorTable{};  // (blue, green, red, 0) x 256
  void BuildColorTable();

  // Display life cycle (the image library component wires these to TDXDraw). While an item
  // is uploaded its surface holds the decoded pixels and Picture.Pixels is empty (each
  // picture is kept once); releasing the surfaces gives them back. Pixels() reads them
  // wherever they are.
  bool Initialized() const;
  void AttachDisplay(TDXDraw* display);  // throws "%s cannot be initialized"
  void ReleaseSurfaces();
  void UploadImages();
  TDXDraw* Display() const { return display_; }

 private:
  friend class TPictureCollectionItem;
  void Link(TPictureCollectionItem& it);
  void Unlink(TPictureCollectionItem& it);
  void DrawQueued();
  void Load(std::string_view bytes, bool keepPayloads, std::shared_ptr<const void> source);
  [[noreturn]] void ThrowDamaged(const TPictureCollectionItem& it, const EError& e) const;
  std::string archiveFile_;  // where pending pictures come from, for their errors
  size_t nextPending_ = 0;    // where DecodeNextPending looks first
  std::vector<std::unique_ptr<TPictureCollectionItem>> items_;
  std::array<std::vector<TPictureCollectionItem*>, 256> buckets_;  // head first
  TDXDraw* display_ = nullptr;
};

// The main window's "ImageList" component: the collection plus its display wiring.
class TDXImageList {
 public:
  TDXImageList() = default;
  ~TDXImageList();
  void SetDXDraw(TDXDraw* d);  // registers for the display's notifications
  TDXDraw* DXDraw() const { return dxdraw_; }
  TPictureCollection Items;

 private:
  TDXDraw* dxdraw_ = nullptr;
  int listener_ = 0;
};

}  // namespace tk
