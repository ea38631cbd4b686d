#include "link/clock.h"

#include <unistd.h>

#include <chrono>

namespace zelmo::link {

void RealClock::Sleep(int milliseconds) { usleep(static_cast<useconds_t>(milliseconds) * 1000U); }

std::int64_t RealClock::NowMs() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
}

}  // namespace zelmo::link
