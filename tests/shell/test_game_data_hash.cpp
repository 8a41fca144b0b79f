// The game data's hash, taken from the archives' bytes as the game loads them: it must
// equal the hash of the files themselves, and follow a file that changed since.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include "platform/Files.h"
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
  // Noted with the bytes the game keeps, each is hashed on a worker while the game goes on,
  // the sound archive's link after the pictures': the same value, however it is waited for.
  dir.Write("Data/Graphic.dxg", graphic + "y");
  dir.Write("Data/Music.dxw", music + "y");
  NoteGameData("Data\\Graphic.dxg", ReadFileBytes("Data\\Graphic.dxg"));
  NoteGameData("Data\\Music.dxw", ReadFileBytes("Data\\Music.dxw"));
  const uint64_t noted = GameDataHash();
  {
    testing::TempGameDir other;
    other.Write("Data/Graphic.dxg", graphic + "y");
    other.Write("Data/Music.dxw", music + "y");
    EXPECT_EQ(GameDataHash(), noted);
  }
  dir.Write("Data/Graphic.dxg", graphic);
  dir.Write("Data/Music.dxw", music);
  EXPECT_EQ(GameDataHash(), read);
  // A missing archive hashes as empty, unlike a present one.
  std::filesystem::remove(dir.Path() / "Data/Music.dxw");
  EXPECT_NE(GameDataHash(), read);
}

// The hash kept between runs (the replay check): taken for the very file it was made of,
// never for a file written since or for what a damaged cache says.
struct GameDataHashCache : ::testing::Test {
  testing::TempGameDir dir;
  std::filesystem::path cache = dir.Path() / "cache" / "hash";
  void SetUp() override {
    dir.Write("Data/Graphic.dxg", std::string(5000, 'p'));
    dir.Write("Data/Music.dxw", "waves");
  }
  void TearDown() override { UseGameDataHashCache({}); }
  std::string Cache() const {
    std::ifstream in(cache);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // The same bytes written again, its modification time a second on: another identity even
  // where the clock has not moved on since the last write.
  void Rewrite(const char* file) {
    struct stat st {};
    ASSERT_EQ(::stat(file, &st), 0);
    const std::string bytes = file == std::string("Data/Music.dxw") ? "waves" : std::string(5000, 'p');
    dir.Write(file, bytes);
    st.st_mtim.tv_sec += 1;
    const timespec times[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, file, times, 0), 0);
  }
  // A cache line for the file as it is now, with the values given.
  static std::string Line(int index, const char* file, uint64_t from, uint64_t to) {
    struct stat st {};
    EXPECT_EQ(::stat(file, &st), 0);
    std::ostringstream o;
    o << index << ' ' << st.st_dev << ' ' << st.st_ino << ' ' << st.st_size << ' '
      << int64_t{st.st_mtim.tv_sec} * 1000000000 + st.st_mtim.tv_nsec << ' '
      << int64_t{st.st_ctim.tv_sec} * 1000000000 + st.st_ctim.tv_nsec << ' ' << std::hex
      << from << ' ' << to << "\n";
    return o.str();
  }
};

TEST_F(GameDataHashCache, WrittenOnceAndTakenOnlyForTheSameFiles) {
  const uint64_t plain = GameDataHash();  // no cache: nothing written
  EXPECT_FALSE(std::filesystem::exists(cache));
  UseGameDataHashCache(cache);
  EXPECT_EQ(GameDataHash(), plain);
  const std::string written = Cache();
  std::ostringstream last;
  last << std::hex << ' ' << plain << "\n";
  EXPECT_EQ(written.rfind("tinokvak game data hash 1\n", 0), 0u) << written;
  EXPECT_NE(written.find(last.str()), std::string::npos) << written;

  // A cache naming these very files is believed, as a new process would (noting the bytes
  // it loaded hashes nothing): the made-up values show it was taken.
  const uint64_t empty = replay::Fnv1a("");
  auto write = [&](const std::string& text) { std::ofstream(cache, std::ios::trunc) << text; };
  write("tinokvak game data hash 1\n" + Line(0, "Data/Graphic.dxg", empty, 0x1234) +
        Line(1, "Data/Music.dxw", 0x1234, 0x5678));
  NoteGameData("Data\\Graphic.dxg", ReadFileBytes("Data\\Graphic.dxg"));
  EXPECT_EQ(GameDataHash(), 0x5678u);

  // Rewritten with the same bytes, the file is no longer the one the cache names.
  Rewrite("Data/Graphic.dxg");
  EXPECT_EQ(GameDataHash(), plain);
  EXPECT_NE(Cache().find(last.str()), std::string::npos);

  // A link cached from another starting value is not taken for this chain.
  Rewrite("Data/Music.dxw");
  write("tinokvak game data hash 1\n" + Line(1, "Data/Music.dxw", 0x9999, 0x5678));
  EXPECT_EQ(GameDataHash(), plain);
}

TEST_F(GameDataHashCache, DamagedOrForeignCacheFilesAreHashedOverAndReplaced) {
  const uint64_t plain = GameDataHash();
  UseGameDataHashCache(cache);
  std::filesystem::create_directories(cache.parent_path());
  for (const std::string& text :
       {std::string("tinokvak game data hash 1\n0 1 2 three\n"), std::string("other\n"),
        std::string("tinokvak game data hash 1\n7 1 2 3 4 5 6 7\n"),
        "tinokvak game data hash 1\n" + Line(0, "Data/Graphic.dxg", 1, 2) + " extra\n"}) {
    Rewrite("Data/Graphic.dxg");  // not the file this process hashed last
    std::ofstream(cache, std::ios::trunc) << text;
    EXPECT_EQ(GameDataHash(), plain) << text;
    EXPECT_NE(Cache(), text);
  }
  // A cache that cannot be written is no error.
  UseGameDataHashCache(dir.Path() / "Data/Music.dxw" / "hash");
  Rewrite("Data/Graphic.dxg");
  EXPECT_EQ(GameDataHash(), plain);
}

TEST(GameDataHashCacheFolder, FollowsTheCacheHomeOrTheHomeFolder) {
  const char* oldXdg = std::getenv("XDG_CACHE_HOME");
  const char* oldHome = std::getenv("HOME");
  const std::string xdg = oldXdg ? oldXdg : "", home = oldHome ? oldHome : "";
  ::setenv("XDG_CACHE_HOME", "/var/cache/x", 1);
  EXPECT_EQ(DefaultGameDataHashCache(), "/var/cache/x/tinokvak/game-data-hash");
  ::setenv("XDG_CACHE_HOME", "relative", 1);
  ::setenv("HOME", "/srv/scores", 1);
  EXPECT_EQ(DefaultGameDataHashCache(), "/srv/scores/.cache/tinokvak/game-data-hash");
  ::unsetenv("XDG_CACHE_HOME");
  ::setenv("HOME", "", 1);
  EXPECT_EQ(DefaultGameDataHashCache(), "");
  if (oldXdg) ::setenv("XDG_CACHE_HOME", xdg.c_str(), 1);
  if (oldHome) ::setenv("HOME", home.c_str(), 1);
  else ::unsetenv("HOME");
}

}  // namespace
}  // namespace tk
