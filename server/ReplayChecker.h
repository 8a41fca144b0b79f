// Replays sent with results are played back by the game's headless checker in child
// processes: a few at once, each bounded in time and memory, the rest waiting in a short
// queue. An upload is answered before its check runs.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tk::scores {

struct TCheckerOptions {
  std::string Checker;  // tinokvak-sim; empty turns replay checks off
  std::string GameDir;  // the game folder the replays must have been recorded on
  int AtOnce = 2;
  size_t QueueCap = 32;
  int Seconds = 10;
  uint64_t MemoryBytes = 1024ull << 20;
  uint64_t FileBytes = 1ull << 20;  // the largest file a check may write
};

// How one replay fared.
struct TCheckOutcome {
  int ExitStatus = -1;  // the checker's; -1 when it was killed or could not run
  bool TimedOut = false;
  std::string LastLine;  // the checker's final state line (JSON)
};

// Runs the checker on the replay's bytes: argument vector, no shell; the child, in a
// process group of its own that dies with the server, gets bounded memory, CPU time and
// file sizes and its own temporary folder (removed after it), and is killed with its group
// past the time limit. Only its last line, of a few kilobytes at most, is read.
TCheckOutcome RunChecker(const TCheckerOptions& o, const std::string& replay);

class TReplayChecker {
 public:
  using Job = std::function<void()>;
  explicit TReplayChecker(TCheckerOptions o);
  ~TReplayChecker();  // finishes the checks running, drops the queued ones
  TReplayChecker(const TReplayChecker&) = delete;
  TReplayChecker& operator=(const TReplayChecker&) = delete;

  const TCheckerOptions& Options() const { return o_; }
  // False when the queue is full.
  bool TryPush(Job job);
  // Waits until nothing is queued or running (for tests).
  void Drain();
  // Replays waiting for a free check.
  size_t Waiting();

 private:
  void Work();
  TCheckerOptions o_;
  std::mutex mutex_;
  std::condition_variable wake_, idle_;
  std::deque<Job> queue_;
  int running_ = 0;
  bool stop_ = false;
  std::vector<std::thread> workers_;
};

}  // namespace tk::scores
