// UniqueFd: each descriptor is closed exactly once, by whoever owns it last.
#include "platform/posix/unique_fd.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

namespace platform::posix {
namespace {

bool IsOpen(int fd) { return fcntl(fd, F_GETFD) != -1; }

int OpenNull() { return open("/dev/null", O_RDONLY | O_CLOEXEC); }

TEST(UniqueFdTest, OwnershipMovesAndTheLastOwnerCloses) {
  int raw = OpenNull();
  ASSERT_GE(raw, 0);
  {
    UniqueFd first(raw);
    UniqueFd second(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(second.get(), raw);
    UniqueFd third;
    third = std::move(second);
    EXPECT_FALSE(second);
    EXPECT_TRUE(IsOpen(raw));
  }
  EXPECT_FALSE(IsOpen(raw));

  // Assigning over a held descriptor closes it; release hands it over unclosed.
  int a = OpenNull(), b = OpenNull();
  UniqueFd holder(a);
  holder = UniqueFd(b);
  EXPECT_FALSE(IsOpen(a));
  int released = holder.release();
  EXPECT_EQ(released, b);
  EXPECT_FALSE(holder);
  EXPECT_TRUE(IsOpen(b));
  close(b);
}

TEST(UniqueFdTest, ResetKeepsErrnoAndCloseReportsItsResult) {
  UniqueFd fd(OpenNull());
  ASSERT_TRUE(fd);
  int raw = fd.get();
  fd.reset(raw);  // the same descriptor again: still open
  EXPECT_TRUE(IsOpen(raw));
  errno = ENOSPC;
  fd.reset();
  EXPECT_EQ(errno, ENOSPC);  // the error an early return is about to report
  EXPECT_FALSE(IsOpen(raw));

  UniqueFd written(OpenNull());
  raw = written.get();
  EXPECT_EQ(written.Close(), 0);
  EXPECT_FALSE(written);
  EXPECT_FALSE(IsOpen(raw));
  EXPECT_EQ(written.Close(), 0);  // nothing held: nothing to close

  // A descriptor that was closed behind the owner's back: Close says so.
  int other = OpenNull();
  close(other);
  UniqueFd stale(other);
  EXPECT_EQ(stale.Close(), -1);
  EXPECT_EQ(errno, EBADF);
}

}  // namespace
}  // namespace platform::posix
