#include "link/clock.h"

#include <ctime>

#include <cerrno>
#include <chrono>

namespace zelmo::link {

// A signal that the run survives (the first Ctrl-C of an update) must not
// cut a pause short: the rest of it is slept.
void RealClock::Sleep(int milliseconds) {
  timespec left{milliseconds / 1000, static_cast<long>(milliseconds % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

std::int64_t RealClock::NowMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

}  // namespace zelmo::link
