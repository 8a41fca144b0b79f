// The sprite tree: every on-screen object is a sprite owned by the engine root. Once a
// frame the scene moves every sprite, frees the killed ones and draws the visible ones.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <vector>

#include "media/PictureCollection.h"
#include "media/Surface.h"

namespace tk {

class TSpriteEngine;
class TImageSprite;

// The object that owns the engine (the main window); sprites reach the game through it.
class TSpriteOwner {
 public:
  virtual ~TSpriteOwner() = default;
};

class TSprite {
 public:
  explicit TSprite(TSprite* parent);
  virtual ~TSprite();
  TSprite(const TSprite&) = delete;
  TSprite& operator=(const TSprite&) = delete;

  virtual const char* ClassName() const { return "TSprite"; }

  // Virtual operations, in the order the engine knows them.
  virtual void Collided(TSprite* other, bool& done);
  virtual void Render();
  virtual void Advance(int32_t moveCount);
  virtual TRect GetBounds() const;
  virtual bool HitTest(TSprite* other);
  // This sprite as an image sprite, or null: asked for every pair a collision test meets.
  virtual TImageSprite* AsImageSprite() { return nullptr; }

  TSpriteEngine* Engine() const { return engine_; }
  TSprite* Parent() const { return parent_; }
  bool Killed() const { return killed_; }

  bool Collidable = true;
  bool Movable = true;
  bool Visible = true;
  double X = 0, Y = 0;
  int32_t Z() const { return z_; }
  void SetZ(int32_t value);
  int32_t Width = 0, Height = 0;

  double AbsX() const;
  double AbsY() const;

  void Kill();
  void Clear();  // frees the children, last created first
  int ChildCount() const { return static_cast<int>(children_.size()); }
  TSprite* Children(int i) const;  // throws ESpriteError without children
  const std::vector<TSprite*>& DrawList() const { return drawList_; }

  void Move(int32_t moveCount);
  void Draw();
  int32_t Collide();

  // Creates a child of this sprite; the tree owns it.
  template <class T, class... A>
  T* Add(A&&... args);

  // How the engine may describe this sprite's drawing to the drawing surface by its
  // inputs: set by Add for a class that draws exactly as an image or background sprite
  // (neither Render nor GetBounds replaced); any other sprite is drawn as it is.
  enum class TDrawnAs : uint8_t { Itself, Image, Background };
  TDrawnAs DrawnAs() const { return drawnAs_; }

 protected:
  TSprite();  // the root

 private:
  friend class TSpriteEngine;
  void AddChild(TSprite* s);
  void ReleaseChild(TSprite* s);  // unlinks without destroying
  void Free();  // destroys this sprite and its subtree
  void InsertByZ(TSprite* s);
  void CollisionVisit(TSprite* s);

  TSpriteEngine* engine_ = nullptr;
  TSprite* parent_ = nullptr;
  std::vector<std::unique_ptr<TSprite>> children_;  // creation order
  bool killed_ = false;
  std::vector<TSprite*> drawList_;  // sorted by Z
  int32_t z_ = 0;
  TDrawnAs drawnAs_ = TDrawnAs::Itself;
};

class TImageSprite : public TSprite {
 public:
  using TSprite::TSprite;
  const char* ClassName() const override { return "TImageSprite"; }

  int32_t FrameCount = 0;
  bool FrameLoop = false;
  double FramePos = 0;
  double FrameSpeed = 0;
  int32_t FrameStart = 0;
  TPictureCollectionItem* Image = nullptr;
  bool PixelHit = false;

  int32_t PatternIndex() const;

  void Render() override;
  void Advance(int32_t moveCount) override;
  bool HitTest(TSprite* other) override;
  TImageSprite* AsImageSprite() final { return this; }
};

class TBackgroundSprite : public TSprite {
 public:
  explicit TBackgroundSprite(TSprite* parent);
  ~TBackgroundSprite() override;
  const char* ClassName() const override { return "TBackgroundSprite"; }

  TPictureCollectionItem* Image = nullptr;
  bool Wrap = false;
  int32_t MapColumns() const { return cols_; }
  int32_t MapRows() const { return rows_; }
  void ResizeMap(int32_t columns, int32_t rows);
  int32_t Cell(int32_t c, int32_t r) const;  // -1 outside the map
  void SetCell(int32_t c, int32_t r, int32_t pattern);

  void Render() override;
  TRect GetBounds() const override;
  // The map drawn at (ax, ay) over the surface's rectangle sr, as Render draws it.
  static void DrawMap(TSurface& s, const TPictureCollectionItem& image, int32_t cols,
                      int32_t rows, const int32_t* map, bool wrap, int ax, int ay, TRect sr);
  const std::vector<int32_t>& Map() const { return map_; }

 private:
  int32_t cols_ = 0, rows_ = 0;
  std::vector<int32_t> map_;
};

class TSpriteEngine : public TSprite {
 public:
  explicit TSpriteEngine(TSpriteOwner* owner = nullptr);
  ~TSpriteEngine() override;
  const char* ClassName() const override { return "TSpriteEngine"; }

  TSurface* Surface() const { return surface_; }
  void SetSurface(TSurface* s);
  TRect SurfaceRect() const { return surfaceRect_; }
  TSpriteOwner* Owner() const { return owner_; }

  void FreeDead();
  const std::vector<TSprite*>& DeadList() const { return dead_; }

 private:
  friend class TSprite;
  TSpriteOwner* owner_;
  TSurface* surface_ = nullptr;
  TRect surfaceRect_;
  std::vector<TSprite*> dead_;
  // Collision query state.
  int32_t collisionCount_ = 0;
  bool collisionDone_ = false;
  TRect collisionRect_;
  TSprite* collisionSprite_ = nullptr;
};

// The main window's "SpriteEngine" component: the root plus its drawing surface.
class TDXSpriteEngine {
 public:
  explicit TDXSpriteEngine(TSpriteOwner* owner = nullptr);
  ~TDXSpriteEngine();
  void SetDXDraw(TDXDraw* d);
  TDXDraw* DXDraw() const { return dxdraw_; }
  TSpriteEngine& Engine() { return *engine_; }
  void Move(int32_t moveCount) { engine_->Move(moveCount); }
  void FreeDead() { engine_->FreeDead(); }
  // Only while the display is initialised. When every sprite that shows draws as an image
  // or background sprite, the drawing is queued on the surface by its inputs.
  void Draw();

 private:
  std::unique_ptr<TSpriteEngine> engine_;
  TDXDraw* dxdraw_ = nullptr;
  int listener_ = 0;
};

namespace detail {
template <class T, class Base>
constexpr bool kDrawsAs = std::is_base_of_v<Base, T> && requires {
  requires std::is_same_v<decltype(&T::Render), decltype(&Base::Render)>;
  requires std::is_same_v<decltype(&T::GetBounds), decltype(&Base::GetBounds)>;
};
}  // namespace detail

template <class T, class... A>
T* TSprite::Add(A&&... args) {
  T* s = new T(this, std::forward<A>(args)...);
  if constexpr (detail::kDrawsAs<T, TImageSprite>)
    static_cast<TSprite*>(s)->drawnAs_ = TDrawnAs::Image;
  else if constexpr (detail::kDrawsAs<T, TBackgroundSprite>)
    static_cast<TSprite*>(s)->drawnAs_ = TDrawnAs::Background;
  return s;
}

// The sprite as a T, or null. For a final class one comparison of types does, instead of
// the search of the class tree a dynamic_cast makes: the game's scans ask it of every
// sprite every tick.
template <class T>
T* SpriteAs(TSprite* s) {
  if constexpr (std::is_final_v<T>)
    return s && typeid(*s) == typeid(T) ? static_cast<T*>(s) : nullptr;
  else
    return dynamic_cast<T*>(s);
}

// Pixel-exact test between two image sprites.
bool PixelTest(const TImageSprite& p, const TImageSprite& q);

}  // namespace tk
