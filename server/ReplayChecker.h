// Replays sent with results are played back by the game's headless checker in child
// processes: a few at once, each bounded in time, memory, CPU and output, the rest waiting
// in the database's check queue. An upload is answered before its check runs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace tk::scores {

struct TCheckerOptions {
  std::string Checker;  // tinokvak-check or tinokvak-sim; empty turns replay checks off
  std::string GameDir;  // the game folder the replays must have been recorded on
  int AtOnce = 2;
  size_t QueueCap = 32;  // replays waiting for a check, all servers of the database together
  int Seconds = 10;
  uint64_t MemoryBytes = 1024ull << 20;
  uint64_t FileBytes = 1ull << 20;  // the largest file a check may write
  int PerAddress = 4;  // replays of one address queued or being checked at once
  int CpuSeconds = 0;  // processor time; 0 is a second past Seconds
};

// How one replay fared.
struct TCheckOutcome {
  int ExitStatus = -1;  // the checker's; -1 when it was killed or could not run
  int Signal = 0;       // the signal that ended it, when one did
  bool TimedOut = false;
  bool Starved = false;  // out of time waiting for the processor, not running: not its fault
  uint64_t Printed = 0;  // bytes it printed
  int Lines = 0;         // lines it printed, of the first MaxAnswer bytes
  std::string LastLine;  // the checker's final state line (JSON); empty past MaxAnswer
  std::string LastWords;  // the last line of its error output, short and printable
};

// The checker prints one short line; more than this is not the checker's answer.
constexpr size_t MaxAnswer = 4096;

// Why a check's answer cannot count, for the server's log: it ran out of time, processor
// time or file size, was killed, failed, or printed other than one short line. Empty when
// it exited normally with one line, which is then the answer to read.
std::string CheckFailure(const TCheckOutcome& out, const TCheckerOptions& o);

// Runs the checker on the replay's bytes: argument vector, no shell; the child, in a
// process group of its own that dies with the server, gets bounded memory, CPU time and
// file sizes and its own temporary folder (removed after it), and is killed with its group
// past the time limit. Only its last line, of a few kilobytes at most, is read.
TCheckOutcome RunChecker(const TCheckerOptions& o, const std::string& replay);

class TReplayChecker {
 public:
  using Job = std::function<void()>;
  // Where the workers find their next check: a job, or nothing when none waits.
  using Source = std::function<std::optional<Job>()>;
  explicit TReplayChecker(TCheckerOptions o);
  ~TReplayChecker();  // finishes the checks running; the rest wait in the database
  TReplayChecker(const TReplayChecker&) = delete;
  TReplayChecker& operator=(const TReplayChecker&) = delete;

  const TCheckerOptions& Options() const { return o_; }
  // Starts the workers on the source (once). They look whenever Wake is called, and every
  // PollSeconds anyway: for checks other servers queued, or a dead one left.
  void Start(Source source);
  void Wake();
  // Waits until the source had nothing left since this call and no check runs (for tests).
  void Drain();
  static constexpr int PollSeconds = 2;

 private:
  void Work();
  TCheckerOptions o_;
  Source source_;
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  uint64_t asked_ = 0, emptySince_ = 0;
  int running_ = 0;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace tk::scores
