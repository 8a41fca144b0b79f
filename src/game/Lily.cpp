#include "game/Lily.h"

#include <cmath>

#include "game/Frog.h"
#include "game/Grid.h"
#include "game/PondScenery.h"
#include "shell/MainForm.h"

namespace tk::game {

namespace {
const char* KindNameOf(uint8_t kind) {
  switch (kind) {
    case KindHunter: return "hunter";
    case KindSpring: return "pruginka";
    case KindSticky: return "liapuchka";
    case KindCrocodile: return "kroko_yes";
    default: return "simple";
  }
}

std::string ImageOf(uint8_t kind) {
  switch (kind) {
    case KindSimple2: return "kuvshinka_simple_2";
    case KindSimple3: return "kuvshinka_simple_3";
    case KindHunter:
    case KindSpring:
    case KindSticky: return std::string("kuvshinka_") + KindNameOf(kind);
    default: return "kuvshinka_simple_1";  // plain look 1, also under the crocodile's eyes
  }
}

template <class T>
void KillPickupsAt(TMainForm& f, int32_t row, int32_t column) {
  auto& e = f.Engine();
  for (int i = 0; i < e.ChildCount(); ++i)
    if (auto* p = SpriteAs<T>(e.Children(i)); p && p->Row == row && p->Column == column)
      p->Kill();
}
}  // namespace

// ---- TKuvshinka

TKuvshinka::TKuvshinka(TSprite* parent, TPondState& pond, int32_t row, int32_t column,
                       uint8_t kind)
    : TImageSprite(parent), pond_(pond) {
  TMainForm& f = Form(*this);
  KindName = KindNameOf(kind);
  Image = &f.FindImage(ImageOf(kind));
  const TPointD c = LilyCentre(row, column);
  if (kind == KindCrocodile) Engine()->Add<TVeki_Kroko>(pond_, c.x, c.y, row, column);
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  Row = row;
  Column = column;
  // Standing with its bottom middle on the cell's centre.
  X = c.x - Width / 2.0;
  Y = c.y - Height;
  SetZ(3);
  FramePos = 0;
  FrameCount = Image->CountPatterns();
  FrameLoop = false;
  BaseSpeed = 0;
  if (KindName == "simple") {
    FrameLoop = true;
    if (row != FrogRow) {
      FramePos = f.Random(FrameCount);
      BaseSpeed = (f.Random(5) + 1) / 5000.0;
    } else {
      // The frog starts on this row: every lily there starts afloat and dives slowly.
      FramePos = 0;
      BaseSpeed = (f.Random(5) + 1) / 10000.0;
    }
  }
  SlowPhase = true;
  FrameSpeed = BaseSpeed;
  Armed = true;
}

void TKuvshinka::Render() { TImageSprite::Render(); }

void TKuvshinka::DiveCycle() {
  TMainForm& f = Form(*this);
  const int last = FrameCount - 1;
  if (FramePos >= 0 && FramePos < 1 && SlowPhase) {
    // Surfaced: rest, and show the cell's pickup again.
    SlowPhase = false;
    FrameSpeed = BaseSpeed / 3;
    if (!pond_.Scrolling) {
      // Lilies that have scrolled below the bottom row have no cell left.
      if (const TLilyCell* cell = GridCell(pond_, Row, Column)) {
        if (cell->Pickup == 1) Engine()->Add<TLife>(pond_, Row, Column);
        else if (cell->Pickup == 2) Engine()->Add<TDollar>(pond_, Row, Column);
      }
    }
  } else if (FramePos >= 1 && FramePos < last - 1 && !SlowPhase) {
    // Diving: quick, and the pickup goes under with the pad.
    SlowPhase = true;
    FrameSpeed = BaseSpeed * 5;
    KillPickupsAt<TDollar>(f, Row, Column);
    KillPickupsAt<TLife>(f, Row, Column);
  } else if (FramePos >= last - 1 && FramePos < last && SlowPhase) {
    SlowPhase = false;  // under water: linger
    FrameSpeed = BaseSpeed / 3;
  } else if (FramePos >= last && !SlowPhase) {
    SlowPhase = true;  // rising quickly
    FrameSpeed = BaseSpeed * 5;
  }
}

void TKuvshinka::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  SavedFramePos = FramePos;
  TMainForm& f = Form(*this);
  const double last = FrameCount - 1;
  if (KindName == "simple") DiveCycle();
  if (KindName == "hunter") {
    if (FramePos > 1 && Armed) {
      f.PlaySound("kuv_eat");
      Armed = false;
    }
    if (FramePos == last && pond_.FrogCaught) {
      pond_.LifeLost = true;
      Armed = true;
    }
    if (FramePos == last) {
      // Open again and wait for the next frog.
      FramePos = 0;
      FrameSpeed = 0;
      Armed = true;
    }
  }
  FollowScroll(*this, pond_);
  if (KindName == "liapuchka") {
    if (FramePos == last) {
      f.KillAll<TLiapu>();
      pond_.StuckToLily = false;
      pond_.StrandShown = false;
      FrameSpeed = 0;
      FramePos = 0;
    }
    if (FramePos > 1) Engine()->Add<TLiapu>(pond_, X, Y);
  }
  if (Y > 600) Kill();
}

// ---- TVeki_Kroko

TVeki_Kroko::TVeki_Kroko(TSprite* parent, TPondState& pond, double x, double y, int32_t row,
                         int32_t column)
    : TImageSprite(parent), pond_(pond) {
  Image = &Form(*this).FindImage("kroco_yes");
  PixelHit = true;
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  X = x;
  Y = y - Height - 40;
  SetZ(4);
  Column = column;
  Row = row;
  LastFrame = 0;
  FramePos = 0;
  FrameCount = Image->CountPatterns();
  FrameLoop = true;
  FrameSpeed = 0;
}

void TVeki_Kroko::Stop() {
  FrameSpeed = 0;
  FramePos = 0;
  BlinkCount = 0;
}

void TVeki_Kroko::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  TMainForm& f = Form(*this);
  FollowScroll(*this, pond_);
  if (Y > 600) Kill();
  const int32_t frame = static_cast<int32_t>(std::trunc(FramePos));
  if (frame != LastFrame) {
    LastFrame = frame;
    ++BlinkCount;
  }
  if (BlinkCount == 4) pond_.FrogControllable = false;
  if (BlinkCount == 5) {
    // The crocodile comes up in place of the lily.
    auto& e = f.Engine();
    for (int i = 0; i < e.ChildCount(); ++i)
      if (auto* l = SpriteAs<TKuvshinka>(e.Children(i));
          l && l->Row == FrogRow && l->Column == pond_.FrogColumn + 1)
        l->Kill();
    Kill();
    pond_.FrogFrozen = true;
    e.Add<TKroko>(pond_, FrogRow, Column);
  }
}

// ---- TKroko

TKroko::TKroko(TSprite* parent, TPondState& pond, int32_t row, int32_t column)
    : TImageSprite(parent), pond_(pond) {
  Image = &Form(*this).FindImage("kroko");
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  const TPointD c = LilyCentre(row, column);
  X = c.x - 150;
  Y = c.y - Height;
  SetZ(805);
  FramePos = 0;
  FrameCount = Image->CountPatterns();
  FrameLoop = false;
  FrameSpeed = 1.0 / 30;
}

void TKroko::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  // The bite shows on the last frame; it keeps taking the life until the pond is rebuilt.
  if (Round(FramePos) == Image->CountPatterns() - 1) {
    pond_.LifeLost = true;
    Form(*this).PlaySound("kroco");
  }
}

// ---- TLiapu

TLiapu::TLiapu(TSprite* parent, TPondState& pond, double x, double y) : TImageSprite(parent) {
  TMainForm& f = Form(*this);
  const char* name = pond.FrogFacing == 0   ? "liapuchka_l"
                     : pond.FrogFacing == 1 ? "liapuchka_p"
                                            : "liapuchka_c";
  Image = &f.FindImage(name);
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  if (pond.FrogFacing == 0) {
    X = x + 80 - Width;
    Y = y;
  } else if (pond.FrogFacing == 1) {
    X = x;
    Y = y;
  } else {
    X = x;
    Y = y + 62 - Height;
  }
  PixelHit = true;
  SetZ(4);
  pond.StrandShown = true;
}

void TLiapu::Advance(int32_t moveCount) { TImageSprite::Advance(moveCount); }

// ---- Pickups

TPickup::TPickup(TSprite* parent, TPondState& pond, int32_t row, int32_t column,
                 const char* image)
    : TImageSprite(parent), pond_(pond) {
  Image = &Form(*this).FindImage(image);
  Width = Image->CellWidth();
  Height = Image->CellHeight();
  const TPointD c = LilyCentre(row, column);
  X = c.x - Width / 2.0;
  Y = c.y - Height;
  Row = row;
  Column = column;
  SetZ(4);
}

void TPickup::Advance(int32_t moveCount) {
  TImageSprite::Advance(moveCount);
  Collide();
  FollowScroll(*this, pond_);
}

void TPickup::Collided(TSprite* other, bool&) {
  if (!SpriteAs<TPlayerSprite>(other)) return;
  Kill();
  // Collected for good: the lily shows nothing when it next surfaces.
  if (TLilyCell* cell = GridCell(pond_, Row, Column)) cell->Pickup = 0;
  Collect();
}

void TDollar::Collect() {
  TMainForm& f = Form(*this);
  f.Score += 100;
  f.PlaySound("dollar");
}

void TLife::Collect() {
  TMainForm& f = Form(*this);
  f.Lives += 1;
  f.PlaySound("life");
}

}  // namespace tk::game
