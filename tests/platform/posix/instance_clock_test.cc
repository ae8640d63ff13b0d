// The single-instance lock across processes, and the clock's basic promises.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>

#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_instance.h"
#include "support/temp_dir.h"

namespace xfr {
namespace {

using testing::TempDir;

TEST(PosixInstanceLock, HeldByChildUntilItDiesAndAnUnusableFileBlocksNothing) {
  TempDir dir;
  const std::string path = dir / "transfer-info.lock";
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // The first instance: takes the lock, says so, and waits to be killed.
    PosixInstanceLock lock(path);
    char held = lock.held() ? 'y' : 'n';
    (void)!::write(ready[1], &held, 1);
    for (;;) ::pause();
  }
  ::close(ready[1]);
  char held = 0;
  ASSERT_EQ(::read(ready[0], &held, 1), 1);
  ::close(ready[0]);
  EXPECT_EQ(held, 'y');

  {
    PosixInstanceLock second(path);
    EXPECT_FALSE(second.held());
    EXPECT_TRUE(second.AnotherInstanceRunning());

    // The first instance dies without any chance to clean up.
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    // The same object now takes the lock it could not take before.
    EXPECT_FALSE(second.AnotherInstanceRunning());
    EXPECT_TRUE(second.held());
  }
  // Released by the destructor.
  PosixInstanceLock third(path);
  EXPECT_TRUE(third.held());
  EXPECT_FALSE(third.AnotherInstanceRunning());

  // A lock file that cannot be used does not stop the program from starting.
  ASSERT_EQ(::symlink("/nonexistent", (dir / "link.lock").c_str()), 0);
  PosixInstanceLock lock(dir / "link.lock");
  EXPECT_FALSE(lock.held());
  EXPECT_FALSE(lock.AnotherInstanceRunning());
  PosixInstanceLock no_dir(dir / "missing/x.lock");
  EXPECT_FALSE(no_dir.AnotherInstanceRunning());
}

TEST(PosixClock, TimeOfDayMonotonicAndSleep) {
  PosixClock clock;
  const double start = clock.MonotonicSeconds();
  clock.Sleep(std::chrono::milliseconds(30));
  EXPECT_GE(clock.MonotonicSeconds() - start, 0.029);
  // Agrees with the C library's local time (unless midnight passed in between).
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  const double ours = clock.SecondsSinceMidnight();
  EXPECT_LT(ours, 86400.0);
  if (ours > 2.0) {
    EXPECT_LT(std::fabs(ours - (local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec)), 2.0);
    EXPECT_EQ(clock.Today(), (Date{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday}));
  }
}

}  // namespace
}  // namespace xfr
