#include "ReplayChecker.h"

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/prctl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

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

// What the checker printed: its size, and its last line and line count when it is short
// enough to be an answer at all.
void ReadAnswer(const fs::path& file, TCheckOutcome& out) {
  std::error_code ec;
  out.Printed = fs::file_size(file, ec);
  if (ec || out.Printed > MaxAnswer) return;
  std::ifstream in(file, std::ios::binary);
  std::string text(MaxAnswer, '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(in.gcount()));
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line))
    if (!line.empty()) {
      out.LastLine = line;
      ++out.Lines;
    }
}

// The last line of what it wrote to its error output (the file's last kilobyte), with
// anything but printable ASCII as "?" and cut to a line of the log.
std::string LastWordsOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  if (!in) return {};
  const std::streamoff size = in.tellg();
  const std::streamoff from = std::max<std::streamoff>(0, size - 1024);
  in.seekg(from);
  std::string text(static_cast<size_t>(size - from), '\0');
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  std::istringstream lines(text);
  std::string line, last;
  while (std::getline(lines, line))
    if (line.find_first_not_of(" \t\r") != std::string::npos) last = line;
  for (char& c : last)
    if (c < 0x20 || c > 0x7e) c = '?';
  if (last.size() > 200) last = last.substr(0, 200) + "...";
  return last;
}

constexpr std::string_view DirPrefix = "tinokvak-check-";

// ioprio_set's arguments (no header of the C library has them): this process, in the idle
// class (3, shifted past the 13 bits of a level).
constexpr int kIoprioWhoProcess = 1;
constexpr int kIoprioIdle = 3 << 13;

// Folders left by checks of a server that died before it could clear them: each name
// carries its server's process id.
void SweepLeftovers() {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(fs::temp_directory_path(), ec)) {
    const std::string name = e.path().filename().string();
    if (name.rfind(DirPrefix, 0) != 0) continue;
    const long pid = std::strtol(name.c_str() + DirPrefix.size(), nullptr, 10);
    if (pid > 0 && pid != ::getpid() && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
      fs::remove_all(e.path(), ec);
  }
}

// How long the process has been ready to run but waiting for a processor (its schedstat's
// second field); zero when the system does not tell.
std::chrono::nanoseconds WaitedForProcessor(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/schedstat");
  unsigned long long ran = 0, waited = 0;
  if (!(in >> ran >> waited)) return {};
  return std::chrono::nanoseconds(waited);
}

}  // namespace

TCheckOutcome RunChecker(const TCheckerOptions& o, const std::string& replay) {
  TCheckOutcome out;
  // A private folder per check: the replay and what the checker prints.
  std::string dirTemplate =
      (fs::temp_directory_path() /
       (std::string(DirPrefix) + std::to_string(::getpid()) + "-XXXXXX"))
          .string();
  if (!::mkdtemp(dirTemplate.data())) return out;
  const fs::path dir = dirTemplate;
  const fs::path file = dir / "game.tkr", output = dir / "out.txt", errors = dir / "err.txt";
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
  const int errFd = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  const int nullFd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (outFd < 0 || errFd < 0 || nullFd < 0) {
    for (int fd : {outFd, errFd, nullFd})
      if (fd >= 0) ::close(fd);
    return out;
  }
  // Everything the child needs is made before the fork: after it, only plain system calls.
  std::vector<std::string> args = {o.Checker, "--replay", file.string(), "--verify",
                                   "--dir",   o.GameDir};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  // Its temporary files go into the check's folder, which goes with the check.
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string_view(*e).rfind("TMPDIR=", 0) != 0) env.emplace_back(*e);
  env.push_back("TMPDIR=" + dir.string());
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const rlimit memory{static_cast<rlim_t>(o.MemoryBytes), static_cast<rlim_t>(o.MemoryBytes)};
  // CPU time a little past the wall clock's limit (the wall clock kills it first on an
  // idle machine), and what it may write: its answer and its copy of the game's small
  // files, never the disk.
  const rlim_t cpu = static_cast<rlim_t>(o.CpuSeconds > 0 ? o.CpuSeconds : o.Seconds + 1);
  const rlimit cpuLimit{cpu, cpu + 1};
  const rlimit fileLimit{static_cast<rlim_t>(o.FileBytes), static_cast<rlim_t>(o.FileBytes)};
  const rlimit noCore{0, 0};
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Dies with the server: a checker outliving it would run on unwatched.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(nullFd, 0);
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    // The server's sockets and files are not the checker's business.
    ::close_range(3, ~0u, 0);
    ::setrlimit(RLIMIT_AS, &memory);
    ::setrlimit(RLIMIT_CPU, &cpuLimit);
    ::setrlimit(RLIMIT_FSIZE, &fileLimit);
    ::setrlimit(RLIMIT_CORE, &noCore);
    // A check waits for its result; players wait for their requests. It gets the processor
    // only when nothing else wants it (and the disk likewise), so however many uploads come
    // in, the checks they start never slow the server's answers. Nice 19 where the idle
    // class cannot be had.
    ::setpriority(PRIO_PROCESS, 0, 19);
    const sched_param idle{};
    ::sched_setscheduler(0, SCHED_IDLE, &idle);
    ::syscall(SYS_ioprio_set, kIoprioWhoProcess, 0, kIoprioIdle);
    ::setpgid(0, 0);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(outFd);
  ::close(errFd);
  ::close(nullFd);
  if (pid < 0) return out;
  // Its own group: whatever it started goes with it when it is killed.
  ::setpgid(pid, pid);
  // The time limit counts the time the check could run: it is the last to get the processor,
  // so on a busy machine it waits for it, and that is not the replay's doing. Twice the
  // limit bounds the wait (the check's lease in the queue runs a little longer).
  const auto start = std::chrono::steady_clock::now();
  const auto limit = std::chrono::seconds(o.Seconds);
  int status = 0;
  for (;;) {
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) break;
    if (r < 0 && errno != EINTR) return out;
    const auto elapsed = std::chrono::steady_clock::now() - start;
    const auto ran = elapsed >= limit ? elapsed - WaitedForProcessor(pid) : elapsed;
    if (ran >= limit || elapsed >= 2 * limit) {
      out.Starved = ran < limit;
      // Its own process group, so anything it started goes too.
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      out.TimedOut = true;
      out.Signal = SIGKILL;
      return out;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  // Anything of its group still there goes now.
  ::kill(-pid, SIGKILL);
  if (WIFEXITED(status)) out.ExitStatus = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) out.Signal = WTERMSIG(status);
  ReadAnswer(output, out);
  out.LastWords = LastWordsOf(errors);
  return out;
}

std::string CheckFailure(const TCheckOutcome& out, const TCheckerOptions& o) {
  const std::string words = out.LastWords.empty() ? "" : ": " + out.LastWords;
  if (out.TimedOut && out.Starved)
    return "had not the processor for " + std::to_string(o.Seconds) + " s in " +
           std::to_string(2 * o.Seconds) + " s";
  if (out.TimedOut) return "out of time (" + std::to_string(o.Seconds) + " s)";
  if (out.Signal == SIGXCPU)
    return "out of processor time (" +
           std::to_string(o.CpuSeconds > 0 ? o.CpuSeconds : o.Seconds + 1) + " s)";
  if (out.Signal == SIGXFSZ)
    return "wrote a file past its limit (" + std::to_string(o.FileBytes) + " bytes)";
  if (out.Signal != 0) {
    const char* name = sigabbrev_np(out.Signal);
    return "killed by signal " + std::to_string(out.Signal) + (name ? std::string(" (SIG") + name + ")" : "") +
           words;
  }
  if (out.ExitStatus < 0) return "the checker could not run";
  if (out.ExitStatus != 0) return "checker exit " + std::to_string(out.ExitStatus) + words;
  if (out.Printed > MaxAnswer)
    return "printed " + std::to_string(out.Printed) + " bytes, more than its one line of " +
           std::to_string(MaxAnswer);
  if (out.Lines != 1) return "printed " + std::to_string(out.Lines) + " lines, not its one";
  return {};
}

TReplayChecker::TReplayChecker(TCheckerOptions o) : o_(std::move(o)) { SweepLeftovers(); }

TReplayChecker::~TReplayChecker() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  for (std::thread& t : workers_) t.join();
}

void TReplayChecker::Start(Source source) {
  if (!workers_.empty()) return;
  source_ = std::move(source);
  for (int i = 0; i < o_.AtOnce; ++i) workers_.emplace_back([this] { Work(); });
}

void TReplayChecker::Wake() {
  {
    std::lock_guard lock(mutex_);
    ++asked_;
  }
  wake_.notify_all();
}

void TReplayChecker::Drain() {
  std::unique_lock lock(mutex_);
  const uint64_t asked = ++asked_;
  wake_.notify_all();
  idle_.wait(lock, [&] { return running_ == 0 && emptySince_ >= asked; });
}

void TReplayChecker::Work() {
  std::unique_lock lock(mutex_);
  while (!stop_) {
    const uint64_t asked = asked_;
    ++running_;  // looking counts as running: Drain must not see a gap between the two
    lock.unlock();
    std::optional<Job> job;
    try {
      job = source_();
      if (job) (*job)();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "tinokvak-scores: replay check: %s\n", e.what());
    }
    lock.lock();
    --running_;
    if (!job) emptySince_ = std::max(emptySince_, asked);
    idle_.notify_all();
    if (!job)
      wake_.wait_for(lock, std::chrono::seconds(PollSeconds),
                     [&] { return stop_ || asked_ != asked; });
  }
}

}  // namespace tk::scores
