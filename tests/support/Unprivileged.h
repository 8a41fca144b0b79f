// File permissions do not stop root, and the tests run as root in CI. RunUnprivileged runs a
// piece of a test as an ordinary user: in this process when it is not root, else in a forked
// child that has dropped to "nobody" (the folders it works in must be open to that user).
#pragma once

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>

namespace tk::testing {

enum class TUnprivilegedRun { Passed, Failed, NotArranged };

inline TUnprivilegedRun RunUnprivileged(const std::function<void()>& body) {
  if (::geteuid() != 0) {
    body();
    return ::testing::Test::HasFailure() ? TUnprivilegedRun::Failed : TUnprivilegedRun::Passed;
  }
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid < 0) return TUnprivilegedRun::NotArranged;
  if (pid == 0) {
    constexpr uid_t kNobody = 65534;
    if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0 ||
        ::geteuid() == 0)
      ::_exit(77);
    body();
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(::testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return TUnprivilegedRun::NotArranged;
  if (WIFEXITED(status) && WEXITSTATUS(status) == 77) return TUnprivilegedRun::NotArranged;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? TUnprivilegedRun::Passed
                                                       : TUnprivilegedRun::Failed;
}

// In a test body: runs `body` unprivileged, fails when it failed, skips when it cannot be
// arranged.
#define TK_RUN_UNPRIVILEGED(body)                                                         \
  do {                                                                                    \
    const auto tkRun = ::tk::testing::RunUnprivileged(body);                              \
    if (tkRun == ::tk::testing::TUnprivilegedRun::NotArranged)                            \
      GTEST_SKIP() << "cannot run as an ordinary user here (no fork or no setuid)";       \
    EXPECT_EQ(tkRun, ::tk::testing::TUnprivilegedRun::Passed) << "see the output above"; \
  } while (0)

}  // namespace tk::testing
