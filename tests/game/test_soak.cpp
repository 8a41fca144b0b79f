// A short soak: the whole game played with seeded random input, as tinokvak-sim --soak
// does for hours of virtual time. Under AddressSanitizer this is where use-after-free and
// leaks between scenes show up; here it checks that the game reports no error, that the
// sprite tree stays small and that nothing piles up from one game to the next.
#include <numeric>

#include "../../tools/sim/Soak.h"
#include "test_feeding_fixture.h"

namespace tk::feedtest {
namespace {

TEST(Soak, RandomPlayLeavesNoErrorsAndNoGrowth) {
  Game g(21, /*recordSounds=*/false);
  // Fonts open on first use at each size and stay open; open them all up front so the
  // heap check below sees only what the play itself keeps.
  for (int size = 6; size <= 40; ++size)
    g.F().TextWidth(Cp("Жx"), size);
  sim::SoakPlayer player(g.plat, g.F(), 21);
  constexpr uint64_t ticks = 5000;
  player.Play(ticks);
  const sim::SoakReport& r = player.Report();
  std::string scenes;
  for (auto& [name, n] : r.TicksByScene) scenes += name + " " + std::to_string(n) + "; ";
  SCOPED_TRACE(scenes);
  for (auto& m : r.Messages) ADD_FAILURE() << "the game reported: " << Cp1251ToUtf8(m);
  EXPECT_FALSE(r.Closed);
  EXPECT_FALSE(r.Stuck) << r.StuckScene;
  EXPECT_EQ(r.Ticks, ticks);
  // The play got round: several games, ponds and feeding stages.
  EXPECT_GE(r.Games, 2);
  EXPECT_GE(r.FeedingStages, 1);
  EXPECT_GE(r.GameOvers, 1);
  // A feeding stage holds a handful of insects, a pond a few dozen lilies.
  EXPECT_LE(r.PeakSprites, 300) << r.PeakSpritesScene;
  // Back on the main menu after each game the heap holds no more than after the first,
  // give or take the bounded caches still filling (rendered texts, copies of sounds
  // playing over themselves): what a scene allocates goes with it.
  ASSERT_GE(r.MenuHeap.size(), 3u);
  std::string heap;
  for (size_t h : r.MenuHeap) heap += std::to_string(h) + " ";
  std::printf("heap on the menu: %s\n", heap.c_str());
  for (size_t i = 2; i < r.MenuHeap.size(); ++i)
    EXPECT_LT(static_cast<double>(r.MenuHeap[i]), r.MenuHeap[1] + 1024.0 * 1024) << heap;
}

}  // namespace
}  // namespace tk::feedtest
