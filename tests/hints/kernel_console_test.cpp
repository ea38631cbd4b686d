#include "hints/kernel_console.h"

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "temp_file.h"

namespace zelmo::hints {
namespace {

// /dev/null is character device 1:3, as a console line would name it.
TEST(KernelConsole, FoundByTheDeviceNumberOfThePort) {
  const int fd = open("/dev/null", O_RDONLY);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  ASSERT_GE(fd, 0);
  const struct {
    const char* consoles;
    bool found;
  } cases[] = {
      {"tty0                 -WU (EC p  )    4:1\nttyS0                -W- (E  p a)    1:3\n",
       true},
      {"tty0                 -WU (EC p  )    4:1\nttyAMA0              -W- (E  p a)  204:64\n",
       false},
      {"ttyS0 -W- (E p a) 1:31\n", false},
      {"", false},
  };
  for (const auto& c : cases) {
    const testing::TempFile consoles(c.consoles);
    EXPECT_EQ(IsKernelConsole(fd, consoles.Path()), c.found) << c.consoles;
  }
  EXPECT_FALSE(IsKernelConsole(fd, "/nonexistent/consoles"));
  close(fd);
}

}  // namespace
}  // namespace zelmo::hints
