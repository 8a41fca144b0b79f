// The replay file: what is written reads back the same, and anything else is refused with
// its reason; the Replays/ folder's names and keep rule.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "replay/ReplayFile.h"
#include "replay/ReplayStore.h"
#include "support/GameDir.h"

namespace tk::replay {
namespace {

namespace fs = std::filesystem;

TReplay Sample() {
  TReplay r;
  r.GameVersion = "1.2.3";
  r.DataHash = 0x0123456789abcdefull;
  r.Seed = 0xdeadbeef;
  r.StartClock = 123456789;
  r.Start.Scene = 2;
  r.Start.Level = 1;
  r.Start.Lives = 3;
  r.Start.MouseX = -5;
  r.Start.MouseY = 599;
  r.Start.AimAngle = 171.25;
  r.Start.AimAdjust = -3.5;
  r.Start.GameSound = false;
  r.Start.CaretBlink = 17;
  r.Start.Input = InFire | InLeft;
  r.Start.Edit2 = "\xc2\xe0\xed\xff";  // Ваня
  r.Start.HighScores[0] = {"\xc2\xe0\xed\xff", 3000};
  r.Start.HighScores[9] = {"x", -1};
  r.Start.TimerEnabled = {true, false, true, false};
  r.Start.TimerInterval = {3300, 4000, 1000, 100};
  auto add = [&](TEntry e, uint64_t t) {
    e.Time = t;
    r.Entries.push_back(e);
  };
  TEntry e;
  e.Type = TEntry::KeyDown;
  e.Key = 13;
  e.Mods = 2;
  add(e, 0);
  for (int i = 0; i < 3; ++i) {
    TEntry t{TEntry::Tick};
    t.Input = static_cast<uint8_t>(i * 21);
    add(t, 30 * (i + 1));
  }
  TEntry m{TEntry::MouseDown};
  m.Button = 1;
  m.X = 799;
  m.Y = -40;
  add(m, 95);
  TEntry c{TEntry::Char};
  c.Ch = 0xc0;
  add(c, 95);
  TEntry a{TEntry::Activate};
  a.Active = true;
  add(a, 200);
  TEntry tm{TEntry::Timer};
  tm.TimerIndex = LevelTimer;
  add(tm, 1000);
  TEntry sw{TEntry::Switch};
  sw.Scene = 4;
  add(sw, 1000);
  add(TEntry{TEntry::Close}, 5000);
  add(TEntry{TEntry::Mark}, 5000);
  r.Trailer = {1234, 3, 0, true, "\xd4\xf0\xee\xe3"};
  return r;
}

TEST(ReplayFile, WhatIsWrittenReadsBackTheSame) {
  const TReplay r = Sample();
  EXPECT_EQ(ReadReplay(WriteReplay(r)), r);
  TReplay empty;
  EXPECT_EQ(ReadReplay(WriteReplay(empty)), empty);
}

// A journal that heard from the network is written in the newer version with its replies
// (clipped as the game was handed them); one that did not stays in the old version, byte for
// byte, and the old version cannot carry a network entry.
TEST(ReplayFile, NetworkRepliesNeedTheNewerVersionAndOnlyThen) {
  const TReplay plain = Sample();
  const std::string plainBytes = WriteReplay(plain);
  EXPECT_EQ(plainBytes[8], 1);
  EXPECT_EQ(ReadReplay(plainBytes).Version, 1);

  TReplay net = plain;
  TEntry e;
  e.Type = TEntry::Net;
  e.Time = net.Entries.back().Time + 5;
  e.Purpose = 2;
  e.Reply = {false, 503, std::string(5000, 'b'), "busy"};
  net.Entries.push_back(e);
  const std::string netBytes = WriteReplay(net);
  EXPECT_EQ(netBytes[8], 2);
  const TReplay back = ReadReplay(netBytes);
  EXPECT_EQ(back.Version, 2);
  ASSERT_EQ(back.Entries.size(), net.Entries.size());
  TEntry clipped = e;
  clipped.Reply.Body.resize(MaxNetText);
  EXPECT_EQ(back.Entries.back(), clipped);
  EXPECT_EQ(back.Trailer, net.Trailer);

  std::string old = netBytes.substr(0, netBytes.size() - 8);
  old[8] = 1;
  EXPECT_THROW(ReadReplay(old, false), EReplayError);
}

EReplayError::Reason RefusalOf(const std::string& bytes) {
  try {
    ReadReplay(bytes);
  } catch (const EReplayError& e) {
    return e.reason();
  }
  ADD_FAILURE() << "accepted";
  return EReplayError::NotReplay;
}

TEST(ReplayFile, OtherFilesAndOtherVersionsAreRefusedWithTheirReason) {
  const std::string good = WriteReplay(Sample());
  for (char v : {0, 3}) {
    std::string version = good;
    version[8] = v;
    EXPECT_EQ(RefusalOf(version), EReplayError::OtherVersion);
  }
  std::string version = good;
  version[8] = 3;
  try {
    ReadReplay(version);
  } catch (const EReplayError& e) {
    EXPECT_STREQ(e.what(), "replay format version 3; this game reads versions 1 to 2");
  }
  EXPECT_EQ(RefusalOf(""), EReplayError::NotReplay);
  EXPECT_EQ(RefusalOf("Config.cfg is not a replay"), EReplayError::NotReplay);
  EXPECT_EQ(RefusalOf(good.substr(0, 9)), EReplayError::NotReplay);
}

TEST(ReplayFile, EveryTruncationAndEveryChangedByteIsRefusedAsDamaged) {
  const std::string good = WriteReplay(Sample());
  for (size_t n = 10; n < good.size(); ++n)
    EXPECT_EQ(RefusalOf(good.substr(0, n)), EReplayError::Damaged) << "cut at " << n;
  EXPECT_EQ(RefusalOf(good + "x"), EReplayError::Damaged);
  for (size_t i = 10; i < good.size(); ++i) {
    std::string bad = good;
    bad[i] = static_cast<char>(bad[i] ^ 0x10);
    EXPECT_EQ(RefusalOf(bad), EReplayError::Damaged) << "byte " << i;
  }
}

TEST(ReplayFile, TheParserBehindTheChecksumRefusesNonsenseItself) {
  // Without the checksum (as the fuzz target runs it): a length that runs past the end, an
  // unknown entry kind and an out-of-range flag are damage, not a crash or a huge allocation.
  const std::string good = WriteReplay(Sample());
  const std::string body = good.substr(0, good.size() - 8);
  EXPECT_NO_THROW(ReadReplay(body, false));
  std::string longText = body;
  longText[10] = '\x7f';  // the game version's length
  EXPECT_THROW(ReadReplay(longText, false), EReplayError);
  std::string hugeVarint = body.substr(0, 10) + std::string(12, '\xff');
  EXPECT_THROW(ReadReplay(hugeVarint, false), EReplayError);
}

// ---- The Replays/ folder

std::tm At(int day, int hour, int minute, int second) {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 11;
  t.tm_mday = day;
  t.tm_hour = hour;
  t.tm_min = minute;
  t.tm_sec = second;
  return t;
}

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> s;
  for (auto& e : fs::directory_iterator(dir)) s.insert(e.path().filename().string());
  return s;
}

TEST(ReplayStore, NamesCarryDateTimeScoreAndTheTableMark) {
  EXPECT_EQ(ReplayFileName(At(10, 9, 5, 7), 1234, false), "2026-12-10_09-05-07_1234.tkr");
  EXPECT_EQ(ReplayFileName(At(10, 9, 5, 7), 0, true), "2026-12-10_09-05-07_0_table.tkr");
  bool table = false;
  EXPECT_TRUE(IsReplayFileName("2026-12-10_09-05-07-2_40_table.tkr", &table));
  EXPECT_TRUE(table);
  EXPECT_FALSE(IsReplayFileName("notes.txt"));
  EXPECT_FALSE(IsReplayFileName("2026-12-10_09-05-07_40.tkr.tmp"));
}

TEST(ReplayStore, KeepsTheNewestFiftyAndEveryTableGameAndNothingElseOfOurs) {
  testing::TempGameDir d;
  const fs::path dir = d.Path() / "Replays";
  fs::create_directories(dir);
  std::set<std::string> table;
  // 60 games over two days, every seventh one in the table, and a file of the player's.
  std::vector<std::string> all;
  for (int i = 0; i < 60; ++i) {
    const bool t = i % 7 == 0;
    const std::string name = ReplayFileName(At(9 + i / 30, 10, i % 30, 0), i * 10, t);
    std::ofstream(dir / name) << "x";
    all.push_back(name);
    if (t) table.insert(name);
  }
  std::ofstream(dir / "my notes.txt") << "keep me";
  const TStoreResult r = StoreReplay(dir, "REPLAY", At(12, 8, 0, 0), 777, false);
  ASSERT_TRUE(r.Ok) << r.Error;
  EXPECT_EQ(r.Path.filename(), "2026-12-12_08-00-00_777.tkr");
  const std::set<std::string> left = Names(dir);
  std::set<std::string> want{"my notes.txt", "2026-12-12_08-00-00_777.tkr"};
  // The new one and the 49 newest before it, then the table games among the older ten.
  for (int i = 59; i >= 11; --i) want.insert(all[i]);
  for (int i = 0; i < 11; ++i)
    if (table.count(all[i])) want.insert(all[i]);
  EXPECT_EQ(left, want);
  EXPECT_FALSE(fs::exists(dir / all[10]));  // the oldest beyond fifty goes
}

TEST(ReplayStore, TwoGamesInOneSecondAreBothKept) {
  testing::TempGameDir d;
  ASSERT_TRUE(StoreReplay(d.Path() / "Replays", "a", At(1, 1, 1, 1), 5, false).Ok);
  const TStoreResult second = StoreReplay(d.Path() / "Replays", "b", At(1, 1, 1, 1), 5, false);
  ASSERT_TRUE(second.Ok);
  EXPECT_EQ(second.Path.filename(), "2026-12-01_01-01-01-2_5.tkr");
  EXPECT_EQ(Names(d.Path() / "Replays").size(), 2u);
}

TEST(ReplayStore, APlaceThatCannotBeWrittenGivesAnError) {
  testing::TempGameDir d;
  // "Replays" exists as a file: no folder can be made there.
  std::ofstream(d.Path() / "Replays") << "in the way";
  const TStoreResult r = StoreReplay(d.Path() / "Replays", "a", At(1, 1, 1, 1), 5, false);
  EXPECT_FALSE(r.Ok);
  EXPECT_NE(r.Error.find("Replays"), std::string::npos) << r.Error;
}

}  // namespace
}  // namespace tk::replay
