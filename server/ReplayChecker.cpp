#include "ReplayChecker.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace tk::scores {

namespace fs = std::filesystem;

namespace {

bool WriteAll(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

std::string LastLineOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string line, last;
  while (std::getline(in, line))
    if (!line.empty()) last = line;
  return last;
}

}  // namespace

TCheckOutcome RunChecker(const TCheckerOptions& o, const std::string& replay) {
  TCheckOutcome out;
  // A private folder per check: the replay and what the checker prints.
  std::string dirTemplate = (fs::temp_directory_path() / "tinokvak-check-XXXXXX").string();
  if (!::mkdtemp(dirTemplate.data())) return out;
  const fs::path dir = dirTemplate;
  const fs::path file = dir / "game.tkr", output = dir / "out.txt";
  struct TCleanup {
    fs::path Dir;
    ~TCleanup() {
      std::error_code ec;
      fs::remove_all(Dir, ec);
    }
  } cleanup{dir};
  {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return out;
    const bool ok = WriteAll(fd, replay);
    ::close(fd);
    if (!ok) return out;
  }
  const int outFd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (outFd < 0 || nullFd < 0) {
    if (outFd >= 0) ::close(outFd);
    if (nullFd >= 0) ::close(nullFd);
    return out;
  }
  // Everything the child needs is made before the fork: after it, only plain system calls.
  std::vector<std::string> args = {o.Checker, "--replay", file.string(), "--check",
                                   "--dir",   o.GameDir};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const rlimit memory{static_cast<rlim_t>(o.MemoryBytes), static_cast<rlim_t>(o.MemoryBytes)};
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(nullFd, 0);
    ::dup2(outFd, 1);
    ::dup2(nullFd, 2);
    // The server's sockets and files are not the checker's business.
    ::close_range(3, ~0u, 0);
    ::setrlimit(RLIMIT_AS, &memory);
    ::setpgid(0, 0);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(outFd);
  ::close(nullFd);
  if (pid < 0) return out;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(o.Seconds);
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 && errno != EINTR) return out;
    if (std::chrono::steady_clock::now() >= deadline) {
      // Its own process group, so anything it started goes too.
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      out.TimedOut = true;
      return out;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  if (WIFEXITED(status)) out.ExitStatus = WEXITSTATUS(status);
  out.LastLine = LastLineOf(output);
  return out;
}

TReplayChecker::TReplayChecker(TCheckerOptions o) : o_(std::move(o)) {
  for (int i = 0; i < o_.AtOnce; ++i) workers_.emplace_back([this] { Work(); });
}

TReplayChecker::~TReplayChecker() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
    queue_.clear();
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

bool TReplayChecker::TryPush(Job job) {
  {
    std::lock_guard lock(mutex_);
    if (stop_ || queue_.size() >= o_.QueueCap) return false;
    queue_.push_back(std::move(job));
  }
  wake_.notify_one();
  return true;
}

void TReplayChecker::Drain() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return queue_.empty() && running_ == 0; });
}

size_t TReplayChecker::Waiting() {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

void TReplayChecker::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
    if (stop_) return;
    Job job = std::move(queue_.front());
    queue_.pop_front();
    ++running_;
    lock.unlock();
    try {
      job();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tinokvak-scores: replay check: %s\n", e.what());
    }
    lock.lock();
    --running_;
    if (queue_.empty() && running_ == 0) idle_.notify_all();
  }
}

}  // namespace tk::scores
