// The sprite tree's decisions the game relies on: draw and move order, killing and
// freeing, what counts as a touch, animation steps, and the wrapped background.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/DXDraw.h"
#include "media/PictureCollection.h"
#include "platform/Errors.h"
#include "platform/headless/Headless.h"
#include "sprites/Sprites.h"

namespace tk {
namespace {

// A sprite that records what the engine does to it.
struct Probe : TSprite {
  Probe(TSprite* parent, std::string name, std::vector<std::string>* log)
      : TSprite(parent), Name(std::move(name)), Log(log) {
    Width = Height = 10;
  }
  void Render() override { Log->push_back("draw " + Name); }
  void Advance(int32_t) override { Log->push_back("move " + Name); }
  void Collided(TSprite* other, bool&) override {
    Log->push_back("hit " + static_cast<Probe*>(other)->Name);
    if (KillOnHit) Kill();
  }
  std::string Name;
  std::vector<std::string>* Log;
  bool KillOnHit = false;
};

struct EngineFixture : ::testing::Test {
  TSpriteEngine engine;
  TSurface surface{800, 600};
  std::vector<std::string> log;
  EngineFixture() { engine.SetSurface(&surface); }
  Probe* Add(const std::string& name, double x = 0, double y = 0, int z = 0) {
    auto* p = engine.Add<Probe>(name, &log);
    p->X = x;
    p->Y = y;
    p->SetZ(z);
    return p;
  }
};

TEST_F(EngineFixture, EqualZDrawsNewestFirstAndSetZResorts) {
  Probe* a = Add("A", 0, 0, 5);
  Add("B", 0, 0, 5);
  Add("C", 0, 0, 5);
  engine.Draw();
  EXPECT_EQ(log, (std::vector<std::string>{"draw C", "draw B", "draw A"}));
  log.clear();
  a->SetZ(5);  // unchanged: stays in front
  engine.Draw();
  EXPECT_EQ(log, (std::vector<std::string>{"draw C", "draw B", "draw A"}));
  log.clear();
  a->SetZ(6);
  a->SetZ(5);  // re-sorted last: goes to the back of its equals
  engine.Draw();
  EXPECT_EQ(log, (std::vector<std::string>{"draw A", "draw C", "draw B"}));
}

TEST_F(EngineFixture, MoveFollowsCreationOrderAndNewSpritesWaitAFrame) {
  struct Spawner : Probe {
    using Probe::Probe;
    void Advance(int32_t m) override {
      Probe::Advance(m);
      if (!spawned) {
        spawned = true;
        Engine()->Add<Probe>("new", Log);
      }
    }
    bool spawned = false;
  };
  Add("low", 0, 0, -5);
  engine.Add<Spawner>("spawner", &log);
  Add("high", 0, 0, 9);
  engine.Move(16);
  EXPECT_EQ(log, (std::vector<std::string>{"move low", "move spawner", "move high"}));
  log.clear();
  engine.Move(16);
  EXPECT_EQ(log.back(), "move new");
}

TEST_F(EngineFixture, KillTwiceFreesOnceAtFreeDead) {
  Probe* a = Add("A");
  a->Kill();
  a->Kill();
  EXPECT_EQ(engine.DeadList().size(), 1u);
  engine.Move(16);  // a killed sprite still moves until it is freed
  EXPECT_EQ(log, (std::vector<std::string>{"move A"}));
  engine.FreeDead();
  EXPECT_EQ(engine.ChildCount(), 0);
  EXPECT_TRUE(engine.DeadList().empty());
}

TEST_F(EngineFixture, ChildIndexErrors) {
  try {
    engine.Children(3);
    FAIL();
  } catch (const ESpriteError& e) {
    EXPECT_STREQ(e.what(), "Index of the list exceeds the range. (3)");
  }
  Add("A");
  EXPECT_THROW(engine.Children(1), ESpriteError);
}

TEST_F(EngineFixture, TouchingEdgesDoNotCollideOverlapDoes) {
  Probe* a = Add("A", 0, 0);
  Add("B", 10, 0);   // a's Right equals b's Left
  Add("C", 0, 10);   // a's Bottom equals c's Top
  EXPECT_EQ(a->Collide(), 0);
  Add("D", 9.9, 9.9);  // truncated to (9, 9): one pixel overlaps
  EXPECT_EQ(a->Collide(), 1);
  EXPECT_EQ(log, (std::vector<std::string>{"hit D"}));
}

TEST_F(EngineFixture, KilledAskerEndsTheQueryAndKilledSpritesDoNotAsk) {
  Probe* a = Add("A");
  a->KillOnHit = true;
  Add("B");
  Add("C");
  EXPECT_EQ(a->Collide(), 1);
  EXPECT_EQ(a->Collide(), 0);  // now killed
}

TEST_F(EngineFixture, SurfaceEdgeCulling) {
  Add("inside", 799, 599);
  Add("right", 800, 0);
  Add("below", 0, 600);
  Add("left", -10, 0);
  Add("above", 0, -10);
  engine.Draw();
  EXPECT_EQ(log, (std::vector<std::string>{"draw inside"}));
}

TEST_F(EngineFixture, HiddenAndFrozenSubtrees) {
  Probe* parent = Add("P");
  auto* child = parent->Add<Probe>("child", &log);
  child->X = 5;
  parent->Visible = false;
  parent->Movable = false;
  engine.Draw();
  engine.Move(16);
  EXPECT_TRUE(log.empty());
  parent->Visible = true;
  parent->Movable = true;
  engine.Draw();
  engine.Move(16);
  EXPECT_EQ(log, (std::vector<std::string>{"draw P", "draw child", "move P", "move child"}));
  EXPECT_DOUBLE_EQ(child->AbsX(), 5);
}

TEST_F(EngineFixture, OffscreenParentStillVisitsChildren) {
  Probe* parent = Add("P", -100, 0);
  auto* child = parent->Add<Probe>("child", &log);
  child->X = 150;  // absolute x 50
  engine.Draw();
  EXPECT_EQ(log, (std::vector<std::string>{"draw child"}));
}

TEST(ImageSpriteAnimation, Steps) {
  struct Case {
    int count;
    bool loop;
    double pos, speed;
    double wantPos, wantSpeed;
  };
  const Case cases[] = {
      {4, false, 0, 0.25, 3, 0},        // runs past the end: stops on the last frame
      {4, true, 3.5, 0.0625, 0.5, 0.0625},  // wraps around
      {0, false, 0, 0, 0, 0},           // no frames stays at 0
      {4, false, 1, -0.5, 0, 0},        // runs backwards past 0: stops at 0
      {4, true, 0.5, -0.0625, 3.5, -0.0625},  // wraps backwards into [0, 4)
      {0, true, 2, 1, 0, 1},            // looping without frames is pinned at 0
  };
  TSpriteEngine engine;
  for (const Case& c : cases) {
    auto* s = engine.Add<TImageSprite>();
    s->FrameCount = c.count;
    s->FrameLoop = c.loop;
    s->FramePos = c.pos;
    s->FrameSpeed = c.speed;
    s->FrameStart = 7;
    engine.Move(16);
    EXPECT_DOUBLE_EQ(s->FramePos, c.wantPos) << c.count << " " << c.pos;
    EXPECT_DOUBLE_EQ(s->FrameSpeed, c.wantSpeed);
    EXPECT_EQ(s->PatternIndex(), 7 + static_cast<int>(c.wantPos));
    s->Kill();
    engine.FreeDead();
  }
}

// Image fixtures: small pictures uploaded through a headless display.
struct ImageFixture : ::testing::Test {
  platform::HeadlessPlatform plat;
  TDXDraw draw{*plat.Get().Display};
  TDXImageList images;
  TSpriteEngine engine;
  ImageFixture() { images.SetDXDraw(&draw); }
  // Adds a picture from rows of characters: '#' red, '.' the black key, 'g' green.
  TPictureCollectionItem& Picture(const std::string& name, std::vector<std::string> rows,
                                  int pw = 0, int ph = 0) {
    auto& it = images.Items.Add();
    it.SetName(name);
    it.Picture.ClassName = "TDIB";
    it.Picture.Width = static_cast<int>(rows[0].size());
    it.Picture.Height = static_cast<int>(rows.size());
    for (auto& r : rows)
      for (char c : r)
        it.Picture.Pixels.push_back(c == '#' ? 0xFF0000u : c == 'g' ? 0x00FF00u : 0u);
    it.PatternWidth = pw;
    it.PatternHeight = ph;
    return it;
  }
  void Up() {
    draw.Initialize();
    engine.SetSurface(&draw.Surface());
  }
  TImageSprite* Sprite(TPictureCollectionItem& img, double x, double y, bool pixel) {
    auto* s = engine.Add<TImageSprite>();
    s->Image = &img;
    s->X = x;
    s->Y = y;
    s->Width = img.CellWidth();
    s->Height = img.CellHeight();
    s->PixelHit = pixel;
    return s;
  }
};

TEST_F(ImageFixture, PixelTestLooksThroughTransparentPixels) {
  auto& left = Picture("left", {"##..", "##..", "##..", "##.."});
  auto& right = Picture("right", {"..##", "..##", "..##", "..##"});
  Up();
  TImageSprite* a = Sprite(left, 0, 0, true);
  TImageSprite* b = Sprite(right, 0, 0, false);
  EXPECT_EQ(a->Collide(), 0);  // rectangles overlap, opaque pixels do not
  b->X = -2;                   // now b's opaque columns lie over a's
  EXPECT_EQ(a->Collide(), 1);
  a->PixelHit = false;
  b->X = 0;
  EXPECT_EQ(a->Collide(), 1);  // without a pixel test the rectangles decide
  // A sprite without a picture is met by its rectangle even by a pixel-testing sprite.
  a->PixelHit = true;
  b->Collidable = false;
  auto* plain = engine.Add<TSprite>();
  plain->Width = plain->Height = 1;
  plain->X = 3;
  EXPECT_EQ(a->Collide(), 1);
}

TEST_F(ImageFixture, RenderDrawsTheFramePattern) {
  auto& strip = Picture("strip", {"#g"}, 1, 1);
  Up();
  TImageSprite* s = Sprite(strip, 3, 4, false);
  s->FrameCount = 2;
  s->FramePos = 1;
  draw.Surface().Fill(0);
  engine.Draw();
  EXPECT_EQ(draw.Surface().At(3, 4), 0x00FF00u);
  s->FramePos = 2;  // out of the image's patterns: nothing drawn
  draw.Surface().Fill(0);
  engine.Draw();
  EXPECT_EQ(draw.Surface().At(3, 4), 0u);
}

TEST_F(ImageFixture, WrappedBackgroundScrollsWithoutGaps) {
  auto& tile = Picture("tile", {"#g#", "g#g"});
  Up();
  auto* bg = engine.Add<TBackgroundSprite>();
  bg->Image = &tile;
  bg->ResizeMap(1, 1);
  bg->Wrap = true;
  EXPECT_FALSE(bg->Collidable);
  for (int frame = 0; frame < 8; ++frame) {
    bg->Y += 5;
    draw.Surface().Fill(0x123456);
    engine.Draw();
    for (int y = 0; y < 600; y += 1)
      for (int x = 0; x < 800; x += 97)
        ASSERT_NE(draw.Surface().At(x, y), 0x123456u) << "gap at " << x << "," << y;
    // Row y of the surface shows tile row (y - Y) mod 2.
    const int ty = (((0 - static_cast<int>(bg->Y)) % 2) + 2) % 2;
    EXPECT_EQ(draw.Surface().At(0, 0), ty == 0 ? 0xFF0000u : 0x00FF00u);
  }
}

TEST(BackgroundMap, ResizeAndCell) {
  TSpriteEngine engine;
  auto* bg = engine.Add<TBackgroundSprite>();
  bg->ResizeMap(2, 3);
  EXPECT_EQ(bg->Cell(1, 2), 0);
  EXPECT_EQ(bg->Cell(2, 0), -1);
  EXPECT_EQ(bg->Cell(0, -1), -1);
  bg->ResizeMap(0, 5);
  EXPECT_EQ(bg->MapColumns(), 0);
  EXPECT_EQ(bg->MapRows(), 0);
  EXPECT_EQ(bg->GetBounds(), TRect{});
}

struct FinalImage final : TImageSprite {
  using TImageSprite::TImageSprite;
};
struct OpenImage : TImageSprite {
  using TImageSprite::TImageSprite;
};
struct DerivedImage : OpenImage {
  using OpenImage::OpenImage;
};

TEST(SpriteAs, FindsExactlyTheSpritesOfTheClass) {
  TSpriteEngine engine;
  TSprite* finalOne = engine.Add<FinalImage>();
  TSprite* open = engine.Add<OpenImage>();
  TSprite* derived = engine.Add<DerivedImage>();
  TSprite* image = engine.Add<TImageSprite>();
  EXPECT_EQ(SpriteAs<FinalImage>(finalOne), finalOne);
  for (TSprite* other : {open, derived, image}) EXPECT_EQ(SpriteAs<FinalImage>(other), nullptr);
  EXPECT_EQ(SpriteAs<FinalImage>(nullptr), nullptr);
  // A class with subclasses finds them too.
  EXPECT_EQ(SpriteAs<OpenImage>(derived), derived);
  EXPECT_EQ(SpriteAs<OpenImage>(image), nullptr);
  EXPECT_EQ(SpriteAs<TImageSprite>(finalOne), finalOne);
}

}  // namespace
}  // namespace tk
