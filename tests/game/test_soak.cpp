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
  // Pictures are decoded when first drawn and kept; the game decodes the rest while it waits
  // for frames. Decoded up front here for the same reason as the fonts.
  g.F().Images().DecodeAll();
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

namespace tk::feedtest {
namespace {

// The soak's own draw gives what the desktop's standard library gives for the same
// generator, so soak runs recorded before it (and the README's picture) stay the same,
// while a build with another library plays the same input. Small, odd, power-of-two and
// very large ranges, where refusals are rare or frequent.
#if defined(__GLIBCXX__)
TEST(Soak, DrawEqualsTheDesktopLibrarysDistribution) {
  for (int n : {1, 2, 3, 5, 10, 100, 180, 600, 800, 1000, 1 << 20, 1'000'000'007, INT32_MAX}) {
    std::mt19937 ours(7u + static_cast<uint32_t>(n)), theirs(7u + static_cast<uint32_t>(n));
    for (int i = 0; i < 20000; ++i) {
      const int want = std::uniform_int_distribution<int>(0, n - 1)(theirs);
      const int got = sim::UniformBelow(ours, n);
      ASSERT_EQ(got, want) << "range " << n << ", draw " << i;
    }
    EXPECT_EQ(ours(), theirs()) << "range " << n << ": the generators drifted apart";
  }
}
#endif

}  // namespace
}  // namespace tk::feedtest
