#include "sprites/Sprites.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

#include "platform/Errors.h"

namespace tk {

namespace {

// Trunc toward zero, kept inside int32 so far-off sprites never overflow.
int32_t TruncInt(double v) {
  if (!(v == v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int32_t>(v);
}

}  // namespace

TSprite::TSprite() = default;

TSprite::TSprite(TSprite* parent) : parent_(parent) {
  if (parent_) {
    engine_ = parent_->engine_ ? parent_->engine_ : static_cast<TSpriteEngine*>(parent_);
    parent_->AddChild(this);
  }
}

TSprite::~TSprite() {
  Clear();
  // Also reached when a subclass constructor throws: then the parent still holds us.
  if (parent_) parent_->ReleaseChild(this);
  if (engine_) std::erase(engine_->dead_, this);
}

void TSprite::AddChild(TSprite* s) {
  children_.emplace_back(s);
  InsertByZ(s);
}

void TSprite::ReleaseChild(TSprite* s) {
  for (auto it = children_.begin(); it != children_.end(); ++it) {
    if (it->get() == s) {
      it->release();
      children_.erase(it);
      break;
    }
  }
  std::erase(drawList_, s);
  if (children_.empty()) {
    children_.shrink_to_fit();
    drawList_.shrink_to_fit();
  }
}

void TSprite::Free() {
  if (!parent_) return;
  std::unique_ptr<TSprite> owned;
  for (auto it = parent_->children_.begin(); it != parent_->children_.end(); ++it) {
    if (it->get() == this) {
      owned = std::move(*it);
      parent_->children_.erase(it);
      break;
    }
  }
  std::erase(parent_->drawList_, this);
  TSprite* p = parent_;
  parent_ = nullptr;
  if (p->children_.empty()) {
    p->children_.shrink_to_fit();
    p->drawList_.shrink_to_fit();
  }
  owned.reset();
}

void TSprite::InsertByZ(TSprite* s) {
  int lo = 0, hi = static_cast<int>(drawList_.size()) - 1;
  while (hi >= lo) {
    int mid = (lo + hi) / 2;
    if (drawList_[mid]->z_ < s->z_)
      lo = mid + 1;
    else
      hi = mid - 1;
  }
  drawList_.insert(drawList_.begin() + lo, s);
}

void TSprite::SetZ(int32_t value) {
  if (value == z_) return;
  z_ = value;
  if (parent_) {
    std::erase(parent_->drawList_, this);
    parent_->InsertByZ(this);
  }
}

double TSprite::AbsX() const { return parent_ ? X + parent_->AbsX() : X; }
double TSprite::AbsY() const { return parent_ ? Y + parent_->AbsY() : Y; }

void TSprite::Collided(TSprite*, bool&) {}
void TSprite::Render() {}
void TSprite::Advance(int32_t) {}

TRect TSprite::GetBounds() const {
  int32_t l = TruncInt(AbsX()), t = TruncInt(AbsY());
  return {l, t, l + Width, t + Height};
}

bool TSprite::HitTest(TSprite*) { return true; }

void TSprite::Kill() {
  if (engine_ && !killed_) {
    killed_ = true;
    engine_->dead_.push_back(this);
  }
}

void TSprite::Clear() {
  while (!children_.empty()) children_.back()->Free();
}

TSprite* TSprite::Children(int i) const {
  if (children_.empty())
    throw ESpriteError("Index of the list exceeds the range. (" + std::to_string(i) + ")");
  if (i < 0 || i >= static_cast<int>(children_.size()))
    throw ESpriteError("List index out of bounds (" + std::to_string(i) + ")");
  return children_[i].get();
}

void TSprite::Move(int32_t moveCount) {
  if (!Movable) return;
  Advance(moveCount);
  // Sprites created during the pass are appended and first move in the next frame.
  const size_t n = children_.size();
  for (size_t i = 0; i < n && i < children_.size(); ++i) children_[i]->Move(moveCount);
}

void TSprite::Draw() {
  if (!Visible) return;
  if (engine_ && OverlapRect(GetBounds(), engine_->surfaceRect_)) Render();
  const size_t n = drawList_.size();
  for (size_t i = 0; i < n && i < drawList_.size(); ++i) drawList_[i]->Draw();
}

int32_t TSprite::Collide() {
  TSpriteEngine* e = engine_;
  if (!e || killed_ || !Collidable) return 0;
  e->collisionCount_ = 0;
  e->collisionDone_ = false;
  e->collisionRect_ = GetBounds();
  e->collisionSprite_ = this;
  const size_t n = e->children_.size();
  for (size_t i = 0; i < n && i < e->children_.size() && !e->collisionDone_; ++i)
    e->CollisionVisit(e->children_[i].get());
  return e->collisionCount_;
}

void TSprite::CollisionVisit(TSprite* s) {
  auto* e = static_cast<TSpriteEngine*>(this);
  if (!s->Collidable) return;
  TSprite* a = e->collisionSprite_;
  if (s != a && OverlapRect(s->GetBounds(), e->collisionRect_) && a->HitTest(s) &&
      s->HitTest(a)) {
    ++e->collisionCount_;
    a->Collided(s, e->collisionDone_);
    if (!a->Collidable || a->killed_) e->collisionDone_ = true;
  }
  if (e->collisionDone_) return;
  const size_t n = s->children_.size();
  for (size_t i = 0; i < n && i < s->children_.size() && !e->collisionDone_; ++i)
    CollisionVisit(s->children_[i].get());
}

// ---- TImageSprite

int32_t TImageSprite::PatternIndex() const { return FrameStart + TruncInt(FramePos); }

void TImageSprite::Advance(int32_t moveCount) {
  FramePos = FramePos + FrameSpeed * moveCount;
  if (FrameLoop) {
    if (FrameCount > 0) {
      FramePos = FramePos - std::trunc(FramePos / FrameCount) * FrameCount;
      if (FramePos < 0) FramePos += FrameCount;
    } else {
      FramePos = 0;
    }
  } else {
    if (FramePos >= FrameCount) {
      FramePos = FrameCount - 1;
      FrameSpeed = 0;
    }
    if (FramePos < 0) {
      FramePos = 0;
      FrameSpeed = 0;
    }
  }
}

void TImageSprite::Render() {
  TSurface* s = Engine() ? Engine()->Surface() : nullptr;
  if (!Image || !s) return;
  Image->DrawPatternStretched(*s, GetBounds(), PatternIndex());
}

bool TImageSprite::HitTest(TSprite* other) {
  auto* o = other->AsImageSprite();
  if (o && PixelHit) return PixelTest(*this, *o);
  return true;
}

bool PixelTest(const TImageSprite& p, const TImageSprite& q) {
  if (!p.Image || !q.Image) return true;
  TRect pb = p.GetBounds(), qb = q.GetBounds();
  const int pi = p.PatternIndex(), qi = q.PatternIndex();
  const TRect pr = p.Image->PatternRectOf(pi), qr = q.Image->PatternRectOf(qi);
  const int px = pb.Left + (p.Width - p.Image->CellWidth()) / 2;
  const int py = pb.Top + (p.Height - p.Image->CellHeight()) / 2;
  const int qx = qb.Left + (q.Width - q.Image->CellWidth()) / 2;
  const int qy = qb.Top + (q.Height - q.Image->CellHeight()) / 2;
  const TRect ps{px, py, px + pr.Width(), py + pr.Height()};
  const TRect qs{qx, qy, qx + qr.Width(), qy + qr.Height()};
  if (!OverlapRect(ps, qs)) return false;
  const TSurface* psurf = p.Image->PatternSurfaceOf(pi);
  const TSurface* qsurf = q.Image->PatternSurfaceOf(qi);
  if (!psurf || !qsurf) return true;
  const uint32_t pkey = ColorToPixel(p.Image->TransparentColor());
  const uint32_t qkey = ColorToPixel(q.Image->TransparentColor());
  const int x0 = std::max(ps.Left, qs.Left), x1 = std::min(ps.Right, qs.Right);
  const int y0 = std::max(ps.Top, qs.Top), y1 = std::min(ps.Bottom, qs.Bottom);
  for (int y = y0; y < y1; ++y) {
    const int sy = pr.Top + (y - py), ty = qr.Top + (y - qy);
    if (sy < 0 || sy >= psurf->Height() || ty < 0 || ty >= qsurf->Height()) continue;
    const uint32_t* prow = psurf->Row(sy);
    const uint32_t* qrow = qsurf->Row(ty);
    for (int x = x0; x < x1; ++x) {
      const int sx = pr.Left + (x - px), tx = qr.Left + (x - qx);
      if (sx < 0 || sx >= psurf->Width() || tx < 0 || tx >= qsurf->Width()) continue;
      if (prow[sx] != pkey && qrow[tx] != qkey) return true;
    }
  }
  return false;
}

// ---- TBackgroundSprite

TBackgroundSprite::TBackgroundSprite(TSprite* parent) : TSprite(parent) { Collidable = false; }

TBackgroundSprite::~TBackgroundSprite() { ResizeMap(0, 0); }

void TBackgroundSprite::ResizeMap(int32_t columns, int32_t rows) {
  if (columns == cols_ && rows == rows_) return;
  if (columns <= 0 || rows <= 0) {
    columns = 0;
    rows = 0;
  }
  cols_ = columns;
  rows_ = rows;
  map_.assign(static_cast<size_t>(cols_) * static_cast<size_t>(rows_), 0);
}

int32_t TBackgroundSprite::Cell(int32_t c, int32_t r) const {
  if (c < 0 || r < 0 || c >= cols_ || r >= rows_) return -1;
  return map_[static_cast<size_t>(c) + static_cast<size_t>(r) * cols_];
}

void TBackgroundSprite::SetCell(int32_t c, int32_t r, int32_t pattern) {
  if (c < 0 || r < 0 || c >= cols_ || r >= rows_) return;
  map_[static_cast<size_t>(c) + static_cast<size_t>(r) * cols_] = pattern;
}

TRect TBackgroundSprite::GetBounds() const {
  if (Wrap && Engine()) return Engine()->SurfaceRect();
  if (!Image) return {};
  int32_t l = TruncInt(AbsX()), t = TruncInt(AbsY());
  return {l, t, l + Image->CellWidth() * cols_, t + Image->CellHeight() * rows_};
}

void TBackgroundSprite::Render() {
  TSurface* s = Engine() ? Engine()->Surface() : nullptr;
  if (!Image || !s) return;
  DrawMap(*s, *Image, cols_, rows_, map_.data(), Wrap, TruncInt(AbsX()), TruncInt(AbsY()),
          Engine()->SurfaceRect());
}

void TBackgroundSprite::DrawMap(TSurface& s, const TPictureCollectionItem& image, int32_t cols,
                                int32_t rows, const int32_t* map, bool wrap, int ax, int ay,
                                TRect sr) {
  if (cols <= 0 || rows <= 0) return;
  const TRect cell = image.PatternRectOf(0);
  const int cw = cell.Width(), ch = cell.Height();
  if (cw <= 0 || ch <= 0) return;
  const int vc = (sr.Right + cw) / cw + 1;
  const int vr = (sr.Bottom + ch) / ch + 1;
  const int ox = ax % cw, oy = ay % ch;
  int c0 = ax / cw, r0 = ay / ch, sc = 0, sr0 = 0;
  if (c0 < 0) {
    sc = -c0;
    c0 = 0;
  }
  if (r0 < 0) {
    sr0 = -r0;
    r0 = 0;
  }
  auto mod = [](int a, int m) { return ((a % m) + m) % m; };
  auto cellAt = [&](int32_t c, int32_t r) -> int32_t {
    if (c < 0 || r < 0 || c >= cols || r >= rows) return -1;
    return map[static_cast<size_t>(c) + static_cast<size_t>(r) * cols];
  };
  if (wrap) {
    for (int r = -1; r <= vr; ++r) {
      const int mr = mod(r - r0 + sr0, rows);
      for (int c = -1; c <= vc; ++c) {
        const int mc = mod(c - c0 + sc, cols);
        const int p = cellAt(mc, mr);
        if (p >= 0) image.DrawPattern(s, c * cw + ox, r * ch + oy, p);
      }
    }
  } else {
    const int rEnd = std::min(r0 + rows - sr0, vr), cEnd = std::min(c0 + cols - sc, vc);
    for (int r = r0; r < rEnd; ++r)
      for (int c = c0; c < cEnd; ++c) {
        const int p = cellAt(c - c0 + sc, r - r0 + sr0);
        if (p >= 0) image.DrawPattern(s, c * cw + ox, r * ch + oy, p);
      }
  }
}

// ---- TSpriteEngine

TSpriteEngine::TSpriteEngine(TSpriteOwner* owner) : owner_(owner) {}

TSpriteEngine::~TSpriteEngine() { Clear(); }

void TSpriteEngine::SetSurface(TSurface* s) {
  surface_ = s;
  if (s) {
    surfaceRect_ = s->ClientRect();
    Width = s->Width();
    Height = s->Height();
  }
}

void TSpriteEngine::FreeDead() {
  while (!dead_.empty()) {
    TSprite* s = dead_.back();
    dead_.pop_back();
    s->Free();
  }
}

// ---- TDXSpriteEngine

TDXSpriteEngine::TDXSpriteEngine(TSpriteOwner* owner)
    : engine_(std::make_unique<TSpriteEngine>(owner)) {}

TDXSpriteEngine::~TDXSpriteEngine() { SetDXDraw(nullptr); }

void TDXSpriteEngine::SetDXDraw(TDXDraw* d) {
  if (dxdraw_) dxdraw_->UnRegisterNotifyEvent(listener_);
  dxdraw_ = d;
  listener_ = 0;
  if (!d) return;
  listener_ = d->RegisterNotifyEvent([this](TDXDrawNotifyType t) {
    switch (t) {
      case TDXDrawNotifyType::Initialize:
        engine_->SetSurface(&dxdraw_->Surface());
        break;
      case TDXDrawNotifyType::Finalize:
        engine_->SetSurface(nullptr);
        break;
      case TDXDrawNotifyType::Destroying:
        dxdraw_ = nullptr;
        break;
      default:
        break;
    }
  });
  if (d->Initialized()) engine_->SetSurface(&d->Surface());
}

namespace {

struct TQueuedStep {
  std::string Key;
  std::function<void(TSurface&)> Step;
};

template <class V>
void PutKey(std::string& key, const V& v) {
  key.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// Describes the drawing of s and its subtree, in the order TSprite::Draw draws them, as
// steps with keys; false as soon as a sprite that shows draws in a way of its own.
bool DescribeDrawing(const TSprite& s, std::vector<TQueuedStep>& steps) {
  if (!s.Visible) return true;
  TSpriteEngine* e = s.Engine();
  if (e && OverlapRect(s.GetBounds(), e->SurfaceRect())) {
    switch (s.DrawnAs()) {
      case TSprite::TDrawnAs::Image: {
        const auto& im = static_cast<const TImageSprite&>(s);
        if (!im.Image) break;
        TQueuedStep q;
        const TRect r = im.GetBounds();
        const int32_t pattern = im.PatternIndex();
        TPictureCollectionItem* image = im.Image;
        q.Key.push_back('I');
        PutKey(q.Key, image->Generation());
        PutKey(q.Key, image->Transparent);
        PutKey(q.Key, r);
        PutKey(q.Key, pattern);
        q.Step = [image, r, pattern](TSurface& dest) {
          image->DrawPatternStretched(dest, r, pattern);
        };
        steps.push_back(std::move(q));
        break;
      }
      case TSprite::TDrawnAs::Background: {
        const auto& bg = static_cast<const TBackgroundSprite&>(s);
        if (!bg.Image) break;
        TQueuedStep q;
        TPictureCollectionItem* image = bg.Image;
        const int32_t cols = bg.MapColumns(), rows = bg.MapRows();
        const bool wrap = bg.Wrap;
        const int ax = TruncInt(bg.AbsX()), ay = TruncInt(bg.AbsY());
        const TRect sr = e->SurfaceRect();
        q.Key.push_back('B');
        PutKey(q.Key, image->Generation());
        PutKey(q.Key, image->Transparent);
        PutKey(q.Key, cols);
        PutKey(q.Key, rows);
        PutKey(q.Key, wrap);
        PutKey(q.Key, ax);
        PutKey(q.Key, ay);
        PutKey(q.Key, sr);
        q.Key.append(reinterpret_cast<const char*>(bg.Map().data()),
                     bg.Map().size() * sizeof(int32_t));
        q.Step = [image, cols, rows, wrap, ax, ay, sr, map = bg.Map()](TSurface& dest) {
          TBackgroundSprite::DrawMap(dest, *image, cols, rows, map.data(), wrap, ax, ay, sr);
        };
        steps.push_back(std::move(q));
        break;
      }
      case TSprite::TDrawnAs::Itself:
        return false;
    }
  }
  for (const TSprite* c : s.DrawList())
    if (!DescribeDrawing(*c, steps)) return false;
  return true;
}

}  // namespace

void TDXSpriteEngine::Draw() {
  if (!dxdraw_ || !dxdraw_->Initialized() || !dxdraw_->Composing) return;
  std::vector<TQueuedStep> steps;
  if (DescribeDrawing(*engine_, steps)) {
    for (TQueuedStep& q : steps) dxdraw_->Queue(q.Key, std::move(q.Step));
    return;
  }
  dxdraw_->Untracked();
  engine_->Draw();
}

}  // namespace tk
