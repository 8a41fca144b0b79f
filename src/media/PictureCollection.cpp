#include "media/PictureCollection.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "media/Container.h"
#include "platform/Cp1251.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace tk {

namespace {

struct NamedColor {
  const char* Name;
  TColor Value;
};

// The colour constants an archive may name instead of giving a number.
constexpr NamedColor kColors[] = {
    {"clBlack", 0x000000},
    {"clMaroon", 0x000080},
    {"clGreen", 0x008000},
    {"clOlive", 0x008080},
    {"clNavy", 0x800000},
    {"clPurple", 0x800080},
    {"clTeal", 0x808000},
    {"clGray", 0x808080},
    {"clSilver", 0xC0C0C0},
    {"clRed", 0x0000FF},
    {"clLime", 0x00FF00},
    {"clYellow", 0x00FFFF},
    {"clBlue", 0xFF0000},
    {"clFuchsia", 0xFF00FF},
    {"clAqua", 0xFFFF00},
    {"clWhite", 0xFFFFFF},
    {"clMoneyGreen", 0xC0DCC0},
    {"clSkyBlue", 0xF0CAA6},
    {"clCream", 0xF0FBFF},
    {"clMedGray", 0xA4A0A0},
    {"clNone", 0x1FFFFFFF},
    {"clDefault", 0x20000000},
    {"clScrollBar", 0xFF000000},
    {"clBackground", 0xFF000001},
    {"clActiveCaption", 0xFF000002},
    {"clInactiveCaption", 0xFF000003},
    {"clMenu", 0xFF000004},
    {"clWindow", 0xFF000005},
    {"clWindowFrame", 0xFF000006},
    {"clMenuText", 0xFF000007},
    {"clWindowText", 0xFF000008},
    {"clCaptionText", 0xFF000009},
    {"clActiveBorder", 0xFF00000A},
    {"clInactiveBorder", 0xFF00000B},
    {"clAppWorkSpace", 0xFF00000C},
    {"clHighlight", 0xFF00000D},
    {"clHighlightText", 0xFF00000E},
    {"clBtnFace", 0xFF00000F},
    {"clBtnShadow", 0xFF000010},
    {"clGrayText", 0xFF000011},
    {"clBtnText", 0xFF000012},
    {"clInactiveCaptionText", 0xFF000013},
    {"clBtnHighlight", 0xFF000014},
    {"cl3DDkShadow", 0xFF000015},
    {"cl3DLight", 0xFF000016},
    {"clInfoText", 0xFF000017},
    {"clInfoBk", 0xFF000018},
    {"clHotLight", 0xFF00001A},
    {"clGradientActiveCaption", 0xFF00001B},
    {"clGradientInactiveCaption", 0xFF00001C},
    {"clMenuHighlight", 0xFF00001D},
    {"clMenuBar", 0xFF00001E},
};

constexpr std::string_view kRootClass = "TPictureCollectionComponent";

// Far more cells than any sheet has; it keeps an archive that cuts a big picture into
// one-pixel cells from taking gigabytes at upload.
constexpr int64_t kMaxPatterns = int64_t{1} << 20;

}  // namespace

bool IdentToColor(std::string_view ident, TColor& color) {
  for (const auto& c : kColors) {
    if (SameTextCp1251(ident, c.Name)) {
      color = c.Value;
      return true;
    }
  }
  return false;
}

int NameHash(std::string_view name) {
  const std::string s = LowerCp1251(name);
  const size_t len = s.size();
  unsigned h = static_cast<unsigned>(16 * len);
  if (len >= 2)
    h += static_cast<unsigned char>(s[len - 2]) +
         static_cast<unsigned>(static_cast<unsigned char>(s[0]));
  return static_cast<int>(h & 0xFF);
}

// ---- Item

namespace {
// Generations are unique across every collection of the process; the decoding in the idle
// wait and the drawing run on one thread, but a tool may hold collections on others.
std::atomic<uint64_t> gNextGeneration{1};
}  // namespace

TPictureCollectionItem::TPictureCollectionItem(TPictureCollection& owner) : owner_(owner) {
  Changed();
}

void TPictureCollectionItem::Changed() { generation_ = gNextGeneration.fetch_add(1); }

TPictureCollectionItem::~TPictureCollectionItem() {
  if (bucket_ >= 0) owner_.Unlink(*this);
}

void TPictureCollectionItem::SetName(std::string name) {
  if (name == name_ && bucket_ >= 0) return;
  if (bucket_ >= 0) owner_.Unlink(*this);
  name_ = std::move(name);
  owner_.Link(*this);
}

void TPictureCollectionItem::SetTransparentColor(TColor c) {
  if (c == transparentColor_) return;
  transparentColor_ = c;
  Changed();
  // The surfaces already made take the new key; the opaque runs follow it.
  if (surfacePending_) return;  // the runs are made with the surface
  const uint32_t key = ColorToPixel(c);
  for (auto& p : patterns_) p.Runs = BuildOpaqueRuns(surfaces_[p.Surface], p.Rect, key);
}

int TPictureCollectionItem::CellWidth() const {
  return PatternWidth > 0 ? PatternWidth : Picture.Width;
}

int TPictureCollectionItem::CellHeight() const {
  return PatternHeight > 0 ? PatternHeight : Picture.Height;
}

namespace {

// The pattern grid of an upload: rows x columns cells of cw x ch, stepping by sx, sy.
struct Grid {
  int64_t Cols = 0, Rows = 0, Sx = 0, Sy = 0, Cw = 0, Ch = 0;
};

Grid UploadGrid(const TPictureCollectionItem& it) {
  Grid g;
  const int64_t w = it.Picture.Width, h = it.Picture.Height;
  g.Cw = it.CellWidth();
  g.Ch = it.CellHeight();
  if (g.Cw == w && g.Ch == h) {
    g.Cols = g.Rows = 1;
    g.Sx = w;
    g.Sy = h;
    return g;
  }
  g.Sx = g.Cw + it.SkipWidth;
  g.Sy = g.Ch + it.SkipHeight;
  // A step of zero or less (a negative gap) cuts nothing sensible.
  if (g.Sx <= 0 || g.Sy <= 0 || g.Cw <= 0 || g.Ch <= 0) return g;
  g.Cols = std::max<int64_t>(0, (w + it.SkipWidth) / g.Sx);
  g.Rows = std::max<int64_t>(0, (h + it.SkipHeight) / g.Sy);
  return g;
}

}  // namespace

int TPictureCollectionItem::CountPatterns() const {
  if (!surfaces_.empty() || surfacePending_) return static_cast<int>(patterns_.size());
  const int64_t pw = int64_t{PatternWidth} + SkipWidth, ph = int64_t{PatternHeight} + SkipHeight;
  if (pw <= 0 || ph <= 0) {
    // Not defined by the stored fields; answer what an upload would make.
    if (Picture.Empty()) return 0;
    const Grid g = UploadGrid(*this);
    return static_cast<int>(g.Cols * g.Rows);
  }
  const int64_t w = Picture.Width, h = Picture.Height;
  int64_t cols = w / pw, rows = h / ph;
  if (w - cols * pw == PatternWidth) ++cols;
  if (h - rows * ph == PatternHeight) ++rows;
  return static_cast<int>(cols * rows);
}

TRect TPictureCollectionItem::PatternRectOf(int i) const {
  if (i < 0 || i >= static_cast<int>(patterns_.size())) return {};
  return patterns_[i].Rect;
}

const TSurface* TPictureCollectionItem::PatternSurfaceOf(int i) const {
  if (i < 0 || i >= static_cast<int>(patterns_.size())) return nullptr;
  Prepare();
  if (surfaces_.empty()) return nullptr;  // its data was damaged
  return &surfaces_[patterns_[i].Surface];
}

TPatternRef TPictureCollectionItem::PatternRef(int i) const {
  if (i < 0 || i >= static_cast<int>(patterns_.size())) return {};
  Prepare();
  if (surfaces_.empty()) return {};
  const Pattern& p = patterns_[i];
  TPatternRef r;
  r.Surface = &surfaces_[p.Surface];
  r.Rect = p.Rect;
  r.Transparent = Transparent;
  r.KeyPixel = ColorToPixel(transparentColor_);
  r.Runs = &p.Runs;
  return r;
}

void TPictureCollectionItem::DrawPattern(TSurface& dest, int x, int y, int i) const {
  if (!initialized_ || i < 0 || i >= static_cast<int>(patterns_.size())) return;
  Prepare();
  if (surfaces_.empty()) return;
  BlitPattern(dest, x, y, PatternRef(i));
}

void TPictureCollectionItem::DrawPatternStretched(TSurface& dest, const TRect& r, int i) const {
  if (!initialized_ || i < 0 || i >= static_cast<int>(patterns_.size())) return;
  Prepare();
  if (surfaces_.empty()) return;
  BlitStretched(dest, r, PatternRef(i));
}

void TPictureCollectionItem::DrawPatternAdd(TSurface& dest, const TRect& r, int i,
                                            int alpha) const {
  if (!initialized_ || i < 0 || i >= static_cast<int>(patterns_.size())) return;
  Prepare();
  if (surfaces_.empty()) return;
  BlitAdd(dest, r, PatternRef(i), alpha);
}

void TPictureCollectionItem::DrawPatternRotated(TSurface& dest, int x, int y, int width, int height,
                                                int i, double centreX, double centreY,
                                                int angle) const {
  if (!initialized_ || i < 0 || i >= static_cast<int>(patterns_.size())) return;
  Prepare();
  if (surfaces_.empty()) return;
  BlitRotated(dest, x, y, width, height, PatternRef(i), centreX, centreY, angle);
}

void TPictureCollectionItem::DrawPatternRotatedAdd(TSurface& dest, int x, int y, int width,
                                                   int height, int i, double centreX,
                                                   double centreY, int angle, int alpha) const {
  if (!initialized_ || i < 0 || i >= static_cast<int>(patterns_.size())) return;
  Prepare();
  if (surfaces_.empty()) return;
  BlitRotated(dest, x, y, width, height, PatternRef(i), centreX, centreY, angle, true, alpha);
}

void TPictureCollectionItem::Upload() {
  if (Picture.Empty()) return;
  if (!initialized_ && owner_.Initialized()) {
    Release();
    initialized_ = true;
  }
  if (!initialized_) return;
  Release();
  Changed();

  // One surface holds the whole picture, whatever the mode: the pattern rectangles are
  // those of the cell grid, in the order and number the tiled upload gives them (a tile
  // boundary never cuts a cell, so a cell's place within the picture is its place
  // within its tile plus the tile's offset).
  // The rectangles are laid out now; the surface and the opaque runs, which need the
  // pixels, when the item is first drawn or tested (MakeSurface).
  const int w = Picture.Width, h = Picture.Height;
  const Grid g = UploadGrid(*this);
  const int64_t count = std::min(g.Cols * g.Rows, kMaxPatterns);
  patterns_.reserve(static_cast<size_t>(count));
  for (int64_t r = 0; r < g.Rows; ++r) {
    for (int64_t c = 0; c < g.Cols && static_cast<int64_t>(patterns_.size()) < count; ++c) {
      Pattern p;
      const int64_t left = g.Sx * c, top = g.Sy * r;
      // Cells are inside the picture for any gap of zero or more; keep them there when a
      // gap is negative.
      p.Rect = {static_cast<int32_t>(left), static_cast<int32_t>(top),
                static_cast<int32_t>(std::min<int64_t>(left + g.Cw, w)),
                static_cast<int32_t>(std::min<int64_t>(top + g.Ch, h))};
      p.Surface = 0;
      patterns_.push_back(std::move(p));
    }
  }
  surfacePending_ = true;
  if (!Picture.Pending()) MakeSurface();
}

void TPictureCollectionItem::MakeSurface() {
  surfacePending_ = false;
  Changed();
  try {
    DecodePending(Picture);
  } catch (const EError& e) {
    patterns_.clear();  // said once: the item stays empty from here on
    owner_.ThrowDamaged(*this, e);
  }
  // The decoded pixels move into the surface rather than being copied: a picture is held
  // once. Release gives them back for the next upload.
  surfaces_.push_back(TSurface(Picture.Width, Picture.Height, std::move(Picture.Pixels)));
  Picture.Pixels.clear();
  pixelsInSurface_ = true;
  const TSurface& surf = surfaces_.back();
  const uint32_t key = ColorToPixel(transparentColor_);
  for (Pattern& p : patterns_) p.Runs = BuildOpaqueRuns(surf, p.Rect, key);
}

void TPictureCollectionItem::Prepare() const {
  auto* self = const_cast<TPictureCollectionItem*>(this);
  if (surfacePending_) {
    self->MakeSurface();
  } else if (Picture.Pending()) {
    self->Changed();
    try {
      DecodePending(self->Picture);
    } catch (const EError& e) {
      owner_.ThrowDamaged(*this, e);
    }
  }
}

void TPictureCollectionItem::Release() {
  // Back into the picture, unless someone gave the item a new picture meanwhile.
  if (pixelsInSurface_ && !surfaces_.empty() && Picture.Pixels.empty() &&
      surfaces_[0].Width() == Picture.Width && surfaces_[0].Height() == Picture.Height)
    Picture.Pixels = surfaces_[0].TakePixels();
  pixelsInSurface_ = false;
  surfacePending_ = false;
  patterns_.clear();
  surfaces_.clear();
  Changed();
}

const uint32_t* TPictureCollectionItem::Pixels() const {
  if (Picture.Empty()) return nullptr;
  Prepare();
  if (Picture.Empty()) return nullptr;
  if (pixelsInSurface_ && !surfaces_.empty()) return surfaces_[0].Pixels();
  return Picture.Pixels.size() >= static_cast<size_t>(Picture.Width) * Picture.Height
             ? Picture.Pixels.data()
             : nullptr;
}

// ---- Collection

TPictureCollection::TPictureCollection() = default;

TPictureCollection::~TPictureCollection() {
  while (!items_.empty()) items_.pop_back();
}

TPictureCollectionItem& TPictureCollection::Add() {
  auto item = std::make_unique<TPictureCollectionItem>(*this);
  item->index_ = static_cast<int>(items_.size());
  Link(*item);
  items_.push_back(std::move(item));
  return *items_.back();
}

void TPictureCollection::Delete(int i) {
  if (i < 0 || i >= Count()) return;
  DrawQueued();
  items_.erase(items_.begin() + i);  // the item unlinks itself
  for (int k = i; k < Count(); ++k) items_[k]->index_ = k;
}

void TPictureCollection::Clear() {
  if (!items_.empty()) DrawQueued();
  while (!items_.empty()) items_.pop_back();
}

void TPictureCollection::DrawQueued() {
  // Steps of the frame being drawn may name the items about to go: carried out now, while
  // the items still live, as drawing that no key describes.
  if (Initialized()) display_->Untracked();
}

void TPictureCollection::Link(TPictureCollectionItem& it) {
  const int b = NameHash(it.name_);
  auto& chain = buckets_[b];
  chain.insert(chain.begin(), &it);
  it.bucket_ = b;
}

void TPictureCollection::Unlink(TPictureCollectionItem& it) {
  if (it.bucket_ < 0) return;
  auto& chain = buckets_[it.bucket_];
  chain.erase(std::find(chain.begin(), chain.end(), &it));
  it.bucket_ = -1;
}

TPictureCollectionItem* TPictureCollection::Find(std::string_view name) {
  for (TPictureCollectionItem* it : buckets_[NameHash(name)])
    if (SameTextCp1251(it->name_, name)) return it;
  return nullptr;
}

TPictureCollectionItem& TPictureCollection::FindImage(std::string_view name) {
  if (auto* it = Find(name)) return *it;
  throw EPictureCollectionError("Image '" + std::string(name) + "' not found");
}

void TPictureCollection::LoadArchive(
    std::string_view path, bool keepPayloads,
    const std::function<void(std::shared_ptr<const TFileBytes>)>& seen) {
  const std::shared_ptr<const TFileBytes> bytes =
      MapArchive ? MapFileBytes(path) : ReadFileBytes(path);
  if (seen) seen(bytes);
  archiveFile_ = ResolvePath(path).string();
  try {
    Load(bytes->View(), keepPayloads, DecodeWhenUsed && !keepPayloads ? bytes : nullptr);
  } catch (EError& e) {
    e.File = ResolvePath(path).string();  // said on stderr with the offset
    throw;
  }
}

void TPictureCollection::LoadFromBytes(std::string_view bytes, bool keepPayloads) {
  Load(bytes, keepPayloads, nullptr);
}

void TPictureCollection::ThrowDamaged(const TPictureCollectionItem& it, const EError& e) const {
  // The decoder's message, with the picture's name and the archive it came from.
  EInvalidGraphic err("Image '" + it.Name() + "': " + e.what());
  err.File = archiveFile_;
  throw err;
}

void TPictureCollection::DecodeAll() {
  for (auto& it : items_) it->Prepare();
}

bool TPictureCollection::DecodeNextPending() {
  for (; nextPending_ < items_.size(); ++nextPending_) {
    const TPictureCollectionItem& it = *items_[nextPending_];
    if (!it.Pending()) continue;
    ++nextPending_;  // a damaged one is said once and left behind
    it.Prepare();
    return true;
  }
  return false;
}

void TPictureCollection::Load(std::string_view bytes, bool keepPayloads,
                              std::shared_ptr<const void> source) {
  Clear();
  nextPending_ = 0;
  TComponentReader c(bytes);
  TPictureCollectionItem* item = nullptr;
  auto itemProperty = [&](TStreamReader& r, std::string_view name) {
    if (name == "Name") {
      item->SetName(r.ReadString());
    } else if (name == "PatternHeight") {
      item->PatternHeight = r.ReadInteger();
    } else if (name == "PatternWidth") {
      item->PatternWidth = r.ReadInteger();
    } else if (name == "SkipHeight") {
      item->SkipHeight = r.ReadInteger();
    } else if (name == "SkipWidth") {
      item->SkipWidth = r.ReadInteger();
    } else if (name == "Picture.Data") {
      item->Picture = source ? ReadPicturePayload(r.ReadBinary(), source)
                             : DecodePicturePayload(r.ReadBinary(), keepPayloads);
    } else if (name == "SystemMemory") {
      item->SystemMemory = r.ReadBoolean();
    } else if (name == "Transparent") {
      item->Transparent = r.ReadBoolean();
    } else if (name == "TransparentColor") {
      if (r.NextValue() == TValueType::Ident) {
        TColor color = 0;
        if (!IdentToColor(r.ReadIdent(), color)) ThrowPropertyValueError();
        item->SetTransparentColor(color);
      } else {
        item->SetTransparentColor(static_cast<TColor>(r.ReadInteger()));
      }
    } else {
      ThrowPropertyError(name);
    }
  };
  c.ReadRootProperties([&](TStreamReader& r, std::string_view name) {
    if (name == "List.ColorTable") {
      const std::string_view block = r.ReadBinary();
      if (block.size() < ColorTable.size()) throw EReadError("Stream read error");
      std::memcpy(ColorTable.data(), block.data(), ColorTable.size());
    } else if (name == "List") {
      r.ReadCollection(
          [&](int index) {
            if (index == 0) Clear();
            item = &Add();
          },
          itemProperty);
    } else {
      ThrowPropertyError(name);
    }
  });
  if (Initialized()) {
    AttachDisplay(display_);
    UploadImages();
  }
}

std::string TPictureCollection::SaveToBytes() const {
  return MakeComponentResource(kRootClass, "", [&](TStreamWriter& w) {
    w.WritePropName("List.ColorTable");
    w.WriteBinary(
        std::string_view(reinterpret_cast<const char*>(ColorTable.data()), ColorTable.size()));
    w.WritePropName("List");
    w.WriteCollectionBegin();
    for (const auto& it : items_) {
      w.WriteListBegin();
      w.WritePropName("Name");
      w.WriteString(it->Name());
      w.WritePropName("PatternHeight");
      w.WriteInteger(it->PatternHeight);
      w.WritePropName("PatternWidth");
      w.WriteInteger(it->PatternWidth);
      const TPicture& p = it->Picture;
      if (p.PayloadDropped)
        throw EPictureCollectionError("Image '" + it->Name() +
                                      "' was loaded without its stored data and cannot be saved");
      if (!p.ClassName.empty() || !p.Empty()) {
        w.WritePropName("Picture.Data");
        // A picture made in memory has no stored form yet: it goes in as a 24-bit DIB.
        if (p.RawPayload.empty() && !p.Empty())
          w.WriteBinary(MakePicturePayload("TDIB", EncodeDib24(p)));
        else
          w.WriteBinary(MakePicturePayload(p.ClassName, p.RawPayload, false));
      }
      if (it->SkipHeight != 0) {
        w.WritePropName("SkipHeight");
        w.WriteInteger(it->SkipHeight);
      }
      if (it->SkipWidth != 0) {
        w.WritePropName("SkipWidth");
        w.WriteInteger(it->SkipWidth);
      }
      w.WritePropName("SystemMemory");
      w.WriteBoolean(it->SystemMemory);
      w.WritePropName("Transparent");
      w.WriteBoolean(it->Transparent);
      w.WritePropName("TransparentColor");
      w.WriteInteger(static_cast<int32_t>(it->TransparentColor()));
      w.WriteListEnd();
    }
    w.WriteListEnd();
  });
}

void TPictureCollection::BuildColorTable() {
  ColorTable.fill(0);
  std::array<bool, 256> used{};
  int usedCount = 0;
  auto set = [&](int i, uint8_t r, uint8_t g, uint8_t b) {
    ColorTable[4 * i] = b;
    ColorTable[4 * i + 1] = g;
    ColorTable[4 * i + 2] = r;
    ColorTable[4 * i + 3] = 0;
    used[i] = true;
    ++usedCount;
  };
  static constexpr struct {
    int Index;
    uint8_t R, G, B;
  } kFixed[] = {{0, 0, 0, 0},         {1, 128, 0, 0},     {2, 0, 128, 0},     {3, 128, 128, 0},
                {4, 0, 0, 128},       {5, 128, 0, 128},   {6, 0, 128, 128},   {7, 192, 192, 192},
                {248, 128, 128, 128}, {249, 255, 0, 0},   {250, 0, 255, 0},   {251, 255, 255, 0},
                {252, 0, 0, 255},     {253, 255, 0, 255}, {254, 0, 255, 255}, {255, 255, 255, 255}};
  for (const auto& f : kFixed) set(f.Index, f.R, f.G, f.B);

  auto offer = [&](uint32_t rgb) {
    const uint8_t r = static_cast<uint8_t>(rgb >> 16), g = static_cast<uint8_t>(rgb >> 8),
                  b = static_cast<uint8_t>(rgb);
    int freeSlot = -1;
    for (int i = 0; i < 256; ++i) {
      if (used[i]) {
        if (ColorTable[4 * i] == b && ColorTable[4 * i + 1] == g && ColorTable[4 * i + 2] == r)
          return;
      } else if (freeSlot < 0) {
        freeSlot = i;
      }
    }
    if (freeSlot >= 0) set(freeSlot, r, g, b);
  };
  for (const auto& it : items_) {
    if (it->Picture.Empty()) continue;
    // A DIB of 8 bits or fewer offers all 256 slots; other pictures with a palette offer
    // its entries.
    for (uint32_t c : it->Picture.Palette) offer(c);
    if (usedCount >= 256) break;
  }
}

bool TPictureCollection::Initialized() const {
  return display_ != nullptr && display_->Initialized();
}

void TPictureCollection::AttachDisplay(TDXDraw* display) {
  ReleaseSurfaces();
  display_ = display;
  if (!Initialized()) throw EPictureCollectionError("TPictureCollection cannot be initialized");
  for (auto& it : items_) {
    it->Release();
    it->initialized_ = true;
    it->Changed();
  }
}

void TPictureCollection::ReleaseSurfaces() {
  for (auto& it : items_) {
    it->Release();
    it->initialized_ = false;
    it->Changed();
  }
  display_ = nullptr;
}

void TPictureCollection::UploadImages() {
  for (auto& it : items_) it->Upload();
}

// ---- The image library component

TDXImageList::~TDXImageList() { SetDXDraw(nullptr); }

void TDXImageList::SetDXDraw(TDXDraw* d) {
  if (dxdraw_ == d) return;
  if (dxdraw_) {
    dxdraw_->UnRegisterNotifyEvent(listener_);
    if (Items.Display() == dxdraw_) Items.ReleaseSurfaces();
  }
  dxdraw_ = d;
  listener_ = 0;
  if (!d) return;
  listener_ = d->RegisterNotifyEvent([this](TDXDrawNotifyType t) {
    switch (t) {
      case TDXDrawNotifyType::Destroying:
        SetDXDraw(nullptr);
        break;
      case TDXDrawNotifyType::Initialize:
        Items.AttachDisplay(dxdraw_);
        break;
      case TDXDrawNotifyType::Finalize:
        Items.ReleaseSurfaces();
        break;
      case TDXDrawNotifyType::Restore:
        Items.UploadImages();
        break;
      case TDXDrawNotifyType::Initializing:
        break;
    }
  });
}

}  // namespace tk
