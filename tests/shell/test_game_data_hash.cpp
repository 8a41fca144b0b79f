// The game data's hash, taken from the archives' bytes as the game loads them: it must
// equal the hash of the files themselves, and follow a file that changed since.
#include <gtest/gtest.h>

#include "support/GameDir.h"
#include "shell/Replay.h"

namespace tk {
namespace {

TEST(GameDataHash, NotedWhileLoadingEqualsReadAndFollowsAChangedFile) {
  const std::string graphic(3000, 'g'), music = "music bytes";
  uint64_t read = 0;
  {
    testing::TempGameDir dir;
    dir.Write("Data/Graphic.dxg", graphic);
    dir.Write("Data/Music.dxw", music);
    read = GameDataHash();
  }
  testing::TempGameDir dir;
  dir.Write("Data/Graphic.dxg", graphic);
  dir.Write("Data/Music.dxw", music);
  NoteGameData("Data\\Graphic.dxg", graphic);
  NoteGameData("Data\\Music.dxw", music);
  EXPECT_EQ(GameDataHash(), read);
  // Bytes that are not the file's (another size) are never taken for it.
  NoteGameData("Data\\Graphic.dxg", "other");
  EXPECT_EQ(GameDataHash(), read);

  // Rewritten after loading: the hash is of what the file holds now, and back again.
  dir.Write("Data/Graphic.dxg", graphic + "x");
  const uint64_t changed = GameDataHash();
  EXPECT_NE(changed, read);
  dir.Write("Data/Graphic.dxg", graphic);
  EXPECT_EQ(GameDataHash(), read);
  // A missing archive hashes as empty, unlike a present one.
  std::filesystem::remove(dir.Path() / "Data/Music.dxw");
  EXPECT_NE(GameDataHash(), read);
}

}  // namespace
}  // namespace tk
