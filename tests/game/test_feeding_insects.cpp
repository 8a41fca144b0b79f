// Insects of the feeding stage: which ones each level sends, what eating them is worth,
// how they cross the screen and when their sounds stop.
#include <cmath>
#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "game/Grid.h"
#include "game/Insect.h"
#include "game/Tongue.h"
#include "test_feeding_fixture.h"

namespace tk::feedtest {
namespace {

using game::TEat;

// Puts a motionless insect of class T right on the tongue's tip.
TEat* OnTip(Game& g, const std::function<TEat*(TSpriteEngine&, game::TPondState&)>& make) {
  auto* tip = g.First<game::TKonec_Iazik>();
  TEat* i = make(g.F().Engine(), g.Pond());
  i->Speed = 0;
  i->Amplitude = 0;
  i->BaseLine = static_cast<int32_t>(tip->Y);
  i->X = tip->X;
  i->Y = tip->Y;
  return i;
}

// A stage that sends no insects of its own (the spawn chance is the level in 100).
void QuietStage(Game& g) {
  g.StartFeeding(1);
  g.F().Level = 0;
  g.Frames(1);
}

template <class T>
TEat* Make(TSpriteEngine& e, game::TPondState& pond) {
  return e.Add<T>(pond);
}

TEST(FeedingInsects, EachLevelSendsItsOwnMixAtItsOwnRate) {
  struct Case {
    int level;
    std::set<std::string> kinds;
  };
  const Case cases[] = {
      {1, {"TMushka"}},
      {2, {"TMushka", "TMuha"}},
      {3, {"TMushka", "TMuha", "TKomar"}},
      {4, {"TMushka", "TMuha", "TKomar", "TVodomerka"}},
      {5, {"TMushka", "TMuha", "TKomar", "TVodomerka", "TPchel"}},
      {8, {"TMushka", "TMuha", "TKomar", "TVodomerka", "TPchel"}},
  };
  Game g;
  g.StartFeeding(1);
  g.F().GameSound = false;  // thousands of buzzes are beside the point here
  constexpr int draws = 20000;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.level);
    g.F().Level = c.level;
    std::map<std::string, int> seen;
    int spawned = 0;
    for (int i = 0; i < draws; ++i) {
      if (TEat* e = game::SpawnInsect(g.F(), g.Pond())) {
        ++spawned;
        ++seen[e->ClassName()];
        e->Kill();
        g.F().SpriteEngine.FreeDead();
      }
    }
    std::set<std::string> kinds;
    for (auto& [k, n] : seen) kinds.insert(k);
    EXPECT_EQ(kinds, c.kinds);
    // 1 % a tick per level, at most 5 %.
    const double expected = draws * std::min(c.level, 5) / 100.0;
    EXPECT_NEAR(spawned, expected, expected * 0.15);
  }
}

TEST(FeedingInsects, EatingScoresPointsAndPaysOffHunger) {
  struct Case {
    const char* name;
    TEat* (*make)(TSpriteEngine&, game::TPondState&);
    int points, food;
  };
  const Case cases[] = {
      {"TMushka", Make<game::TMushka>, 5, 1},   {"TMuha", Make<game::TMuha>, 10, 2},
      {"TKomar", Make<game::TKomar>, 15, 2},    {"TVodomerka", Make<game::TVodomerka>, 20, 3},
      {"TPchel", Make<game::TPchel>, 25, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Game g;
    QuietStage(g);
    g.F().Score = 100;
    g.Pond().Hunger = 10;
    OnTip(g, c.make);
    g.Frames(1);
    EXPECT_EQ(g.Count(c.name), 0);
    EXPECT_EQ(g.F().Score, 100 + c.points);
    EXPECT_EQ(g.Pond().Hunger, 10 - c.food);
  }
}

TEST(FeedingInsects, HungerNeverDropsBelowZero) {
  Game g;
  QuietStage(g);
  OnTip(g, Make<game::TMushka>);
  g.Frames(1);
  EXPECT_EQ(g.Pond().Hunger, 0);
  EXPECT_EQ(g.F().Score, 5);
  g.Pond().Hunger = 2;
  OnTip(g, Make<game::TPchel>);
  g.Frames(1);
  EXPECT_EQ(g.Pond().Hunger, 0);
  EXPECT_EQ(g.F().Score, 30);
}

TEST(FeedingInsects, OnlyTheTipOfTheTongueCatches) {
  Game g;
  QuietStage(g);
  auto* body = g.First<game::TIazik>();
  TEat* i = g.F().Engine().Add<game::TVodomerka>(g.Pond());
  i->Speed = 0;
  // Over the tongue's body and the frog, below the tip.
  i->X = body->X - 10;
  i->Y = body->Y + 20;
  g.Frames(5);
  EXPECT_EQ(g.Count("TVodomerka"), 1);
  EXPECT_EQ(g.F().Score, 0);
}

TEST(FeedingInsects, TheGulpOnlyForAFrogThatIsNotHungry) {
  Game g;
  QuietStage(g);
  g.Sounds();
  // Hunger 0: a full bottle.
  OnTip(g, Make<game::TMushka>);
  g.Frames(1);
  EXPECT_EQ(CountOf(g.Sounds(), "food"), 1);
  // The water strider gulps when it swims out, not when it is eaten.
  OnTip(g, Make<game::TVodomerka>);
  g.Frames(1);
  EXPECT_EQ(g.Count("TVodomerka"), 0);
  EXPECT_EQ(CountOf(g.Sounds(), "food"), 0);
  auto swimOut = [&] {
    TEat* w = g.F().Engine().Add<game::TVodomerka>(g.Pond());
    w->Direction = 1;
    w->X = -w->Width + 1;
    w->Y = 250;
    g.Frames(1);
    EXPECT_EQ(g.Count("TVodomerka"), 0);
  };
  swimOut();
  EXPECT_EQ(CountOf(g.Sounds(), "food"), 1);
  // Hungry: neither plays it.
  g.Pond().Hunger = 3;
  swimOut();
  OnTip(g, Make<game::TMuha>);
  g.Frames(1);
  EXPECT_EQ(g.Count("TMuha"), 0);
  EXPECT_EQ(CountOf(g.Sounds(), "food"), 0);
}

TEST(FeedingInsects, FliersWaveAcrossAndLeaveAtTheFarEdge) {
  Game g;
  QuietStage(g);
  TEat* m = g.F().Engine().Add<game::TMushka>(g.Pond());
  m->Direction = 0;
  m->X = -m->Width;
  m->BaseLine = 150;
  m->Amplitude = 40;
  m->Speed = 3;
  for (int k = 1; k <= 20; ++k) {
    g.Frames(1);
    ASSERT_EQ(m->X, -m->Width + 3 * k);
    EXPECT_DOUBLE_EQ(m->Y, 150 + 40 * std::sin(3 * k / 50.0));
  }
  m->X = 798;
  g.Frames(1);  // 801: past the edge
  EXPECT_EQ(g.Count("TMushka"), 0);
  // Straight fliers keep their height; leftward ones leave past their own width.
  TEat* b = g.F().Engine().Add<game::TPchel>(g.Pond());
  const double y = b->Y;
  EXPECT_GE(y, 60);
  EXPECT_LT(y, 390);
  b->Direction = 1;
  b->X = 400;
  b->Speed = 9;
  g.Frames(1);
  EXPECT_EQ(b->X, 391);
  EXPECT_EQ(b->Y, y);
  b->X = 5 - b->Width;
  g.Frames(1);
  EXPECT_EQ(g.Count("TPchel"), 0);
}

TEST(FeedingInsects, ABuzzStopsWithTheLastOfItsKind) {
  Game g;
  QuietStage(g);
  auto flyOut = [&](TEat* f) {
    f->Direction = 0;
    f->Speed = 5;
    f->X = 799;
  };
  TEat* a = g.F().Engine().Add<game::TMuha>(g.Pond());
  TEat* b = g.F().Engine().Add<game::TMuha>(g.Pond());
  a->Speed = b->Speed = 0;
  a->X = b->X = 10;
  ASSERT_TRUE(g.SoundPlaying("muha"));
  flyOut(a);
  g.Frames(1);
  EXPECT_EQ(g.Count("TMuha"), 1);
  EXPECT_TRUE(g.SoundPlaying("muha"));
  // Eaten, the last one stops it too.
  b->Amplitude = 0;
  auto* tip = g.First<game::TKonec_Iazik>();
  b->BaseLine = static_cast<int32_t>(tip->Y);
  b->X = tip->X;
  g.Frames(1);
  EXPECT_EQ(g.Count("TMuha"), 0);
  EXPECT_FALSE(g.SoundPlaying("muha"));
}

}  // namespace
}  // namespace tk::feedtest
