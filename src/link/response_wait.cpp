#include "link/response_wait.h"

#include <algorithm>

#include "protocol/frames.h"
#include "run_end.h"

namespace zelmo::link {
namespace {

// One I2C poll: true when a byte was accepted into destination[count].
// A not-ready byte before the first accepted one costs nothing.
bool PollI2C(Link& link, const Console& console, std::span<std::uint8_t> destination, int count) {
  const int value = link.ReceiveByte();
  if (value < 0) {
    std::fflush(console.out);
    PrintSystemError(console, "poll failed");
    EndRun(1);
  }
  if (count == 0 && value == protocol::kNotReady) return false;
  destination[static_cast<std::size_t>(count)] = static_cast<std::uint8_t>(value);
  return true;
}

// The wait itself: the count collected, or 0 when the budget ran out.
int Collect(Link& link, Clock& clock, const Console& console, std::span<std::uint8_t> destination,
            int minimum, int budget, int& not_ready) {
  const std::int64_t started = clock.NowMs();
  const int total = budget;
  const std::size_t room = std::min(destination.size(), kMaxReply);
  minimum = std::min(minimum, static_cast<int>(room));  // a full destination ends the wait
  clock.Sleep(kFirstPauseMs);
  budget -= kFirstPauseMs;
  int count = 0;
  while (budget > 0) {
    if (link.State().i2c != 0) {
      if (!PollI2C(link, console, destination, count)) {
        ++not_ready;
        // A board that only ever says "not ready" must not hold the run
        // forever: past the budget in real time it counts as no answer.
        if (clock.NowMs() - started > total) return 0;
        continue;
      }
      ++count;
    } else {
      const auto used = static_cast<std::size_t>(count);
      count += link.ReadBlock(destination.data() + used, room - used);
    }
    if (count >= minimum) return count;
    clock.Sleep(kPollPauseMs);
    budget -= kPollPauseMs;
  }
  return 0;
}

}  // namespace

int WaitForResponse(Link& link, Clock& clock, const Console& console,
                    std::span<std::uint8_t> destination, int minimum, int budget) {
  int not_ready = 0;
  const int count = Collect(link, clock, console, destination, minimum, budget, not_ready);
  link.WaitEnded(
      WaitOutcome{destination.first(static_cast<std::size_t>(count)), count == 0, not_ready});
  return count;
}

}  // namespace zelmo::link
