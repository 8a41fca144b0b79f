// The stork: when its legs may come, how they walk in and out, the head's two swoops and
// the lives it takes.
#include <algorithm>

#include "game/Eat.h"
#include "game/Feeding.h"
#include "game/Stork.h"
#include "test_feeding_fixture.h"

namespace tk::feedtest {
namespace {

struct StorkTest : ::testing::Test {
  Game g;
  void Stage(int level, bool storkAllowed) {
    g.StartFeeding(level, storkAllowed);
    g.Frames(1);
  }
};

TEST_F(StorkTest, LegsComeOnlyAfterTheFirst11SecondsAndBeforeTheLast10) {
  for (int level : {1, 3}) {
    SCOPED_TRACE(level);
    Stage(level, false);
    TMainForm& f = g.F();
    for (int t = game::FeedingTime(level); t >= 0; --t) {
      g.Feeding().TimeLeft = t;
      bool came = false;
      // At level 1 the chance is 1 in 500 a tick.
      for (int i = 0; i < 6000 && !came; ++i) {
        g.Feeding().StorkLegsCalled = false;
        game::CallStorkLegs(f, g.Feeding());
        came = g.Feeding().StorkLegsCalled;
      }
      const bool allowed = t > 10 && t < 10 * level + 9;
      EXPECT_EQ(came, allowed) << "TimeLeft " << t;
      EXPECT_EQ(g.Count("TNogaAist"), came ? 2 : 0);
      f.KillAll<game::TNogaAist>();
      f.SpriteEngine.FreeDead();
    }
    // Once a stage: called legs do not come again.
    g.Feeding().TimeLeft = 15;
    g.Feeding().StorkLegsCalled = true;
    for (int i = 0; i < 6000; ++i) game::CallStorkLegs(f, g.Feeding());
    EXPECT_EQ(g.Count("TNogaAist"), 0);
  }
}

TEST_F(StorkTest, TheHeadComesOnceTheLegsStandWhileTimeRemains) {
  Stage(2, true);
  TMainForm& f = g.F();
  auto tries = [&] {
    for (int i = 0; i < 2000 && g.Feeding().StorkAllowed; ++i) game::CallStorkHead(f, g.Feeding());
  };
  g.Feeding().TimeLeft = 20;
  g.Feeding().StorkLegsDown = false;
  tries();
  EXPECT_TRUE(g.Feeding().StorkAllowed);
  g.Feeding().StorkLegsDown = true;
  g.Feeding().TimeLeft = 10;
  tries();
  EXPECT_TRUE(g.Feeding().StorkAllowed);
  EXPECT_EQ(g.Count("TAist"), 0);
  g.Feeding().TimeLeft = 11;
  tries();
  EXPECT_FALSE(g.Feeding().StorkAllowed);
  EXPECT_EQ(g.Count("TAist"), 1);
  tries();
  EXPECT_EQ(g.Count("TAist"), 1);
}

TEST_F(StorkTest, LegsWalkDownToTheBottomEdgeAndBackUpWhenTheHeadLeaves) {
  Stage(1, false);
  TMainForm& f = g.F();
  f.Engine().Add<game::TNogaAist>(g.Feeding(), 1);
  f.Engine().Add<game::TNogaAist>(g.Feeding(), 2);
  auto legs = [&] {
    std::vector<game::TNogaAist*> v;
    for (int i = 0; i < f.Engine().ChildCount(); ++i)
      if (auto* l = dynamic_cast<game::TNogaAist*>(f.Engine().Children(i))) v.push_back(l);
    return v;
  };
  auto v = legs();
  ASSERT_EQ(v.size(), 2u);
  const int h = v[0]->Height;
  EXPECT_EQ(v[0]->X, 0);
  EXPECT_EQ(v[1]->X, 800 - v[1]->Width);
  EXPECT_EQ(v[0]->Y, -h);
  g.Frames(3);
  EXPECT_EQ(v[0]->Y, -h + 30);
  EXPECT_FALSE(g.Feeding().StorkLegsDown);
  g.Frames(600 / 10);
  EXPECT_EQ(v[0]->Y, 600 - h);
  EXPECT_EQ(v[1]->Y, 600 - h);
  EXPECT_TRUE(g.Feeding().StorkLegsDown);
  g.Feeding().StorkLeaving = true;
  g.Frames(600 / 10 - 1);
  EXPECT_EQ(legs().size(), 2u);
  g.Frames(1);
  EXPECT_EQ(legs().size(), 0u);
}

TEST_F(StorkTest, TheHeadSwoopsTwiceTurningAtTheBottomAndTheTop) {
  Stage(1, false);
  TMainForm& f = g.F();
  f.Lives = 1000;
  auto* s = f.Engine().Add<game::TAist>(g.Feeding());
  const int h = s->Height;
  ASSERT_EQ(h % 30, 0);
  EXPECT_EQ(s->Y, -h);
  EXPECT_GE(s->X, 0);
  EXPECT_LT(s->X, 800 - s->Width);
  // Down 30 a move; on the move it reaches the bottom it already starts back up.
  std::vector<double> ys;
  const int perSwoop = 2 * (h / 30) - 1;
  for (int k = 0; k < perSwoop; ++k) {
    g.Frames(1);
    ys.push_back(s->Y);
  }
  EXPECT_EQ(ys.front(), -h + 30);
  EXPECT_EQ(*std::max_element(ys.begin(), ys.end()), -30);
  EXPECT_EQ(ys[h / 30 - 1], -30);
  EXPECT_EQ(ys.back(), -h);
  EXPECT_TRUE(s->Descending);
  EXPECT_EQ(s->Swoops, 1);
  EXPECT_FALSE(g.Feeding().StorkLeaving);
  g.Frames(perSwoop - 1);
  EXPECT_EQ(s->Swoops, 1);
  EXPECT_EQ(g.Count("TAist"), 1);
  g.Frames(1);
  EXPECT_EQ(g.Count("TAist"), 0);
  EXPECT_TRUE(g.Feeding().StorkLeaving);
}

TEST_F(StorkTest, EveryMoveOfContactCostsALife) {
  Stage(1, false);
  TMainForm& f = g.F();
  f.Lives = 50;
  auto* frog = g.First<game::TPlayerSpriteEat>();
  auto* s = f.Engine().Add<game::TAist>(g.Feeding());
  s->X = frog->X;
  g.Sounds();
  g.Frames(2 * (s->Height / 30) - 1);  // one swoop
  const int eaten = CountOf(g.Sounds(), "aist_eat");
  EXPECT_GE(eaten, 3);
  EXPECT_EQ(f.Lives, 50 - eaten);
}

TEST_F(StorkTest, TheLastLifeTakenEndsTheGame) {
  Stage(1, false);
  TMainForm& f = g.F();
  f.Lives = 1;
  auto* frog = g.First<game::TPlayerSpriteEat>();
  f.Engine().Add<game::TAist>(g.Feeding())->X = frog->X;
  for (int i = 0; i < 40 && f.CurrentScene == SceneFeeding; ++i) g.Frames(1);
  EXPECT_EQ(f.CurrentScene, SceneGameOver);
  EXPECT_EQ(f.Lives, 0);
  EXPECT_EQ(g.Count("TAist"), 0);
}

TEST_F(StorkTest, NoStorkFollowsIntoTheGameOverScene) {
  Stage(1, false);
  TMainForm& f = g.F();
  // A tick on which the legs would surely come, but the game ends first.
  f.Level = 500;
  g.Feeding().TimeLeft = 15;
  f.Lives = 0;
  g.Frames(1);
  EXPECT_EQ(f.CurrentScene, SceneGameOver);
  EXPECT_FALSE(g.Feeding().StorkLegsCalled);
  EXPECT_EQ(g.Count("TNogaAist"), 0);
}

}  // namespace
}  // namespace tk::feedtest
