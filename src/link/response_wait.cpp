#include "link/response_wait.h"

#include <algorithm>

namespace zelmo::link {
namespace {

// The wait itself: the count collected, 0 when the budget ran out,
// kTransferFailed or kLinkGone.
int Collect(Link& link, Clock& clock, std::span<std::uint8_t> destination, int minimum, int budget,
            const ReadErrorReport& report, int& not_ready) {
  const std::int64_t started = clock.NowMs();
  const int total = budget;
  const std::size_t room = std::min(destination.size(), kMaxReply);
  minimum = std::min(minimum, static_cast<int>(room));  // a full destination ends the wait
  clock.Sleep(kFirstPauseMs);
  budget -= kFirstPauseMs;
  std::size_t count = 0;
  while (budget > 0) {
    const Polled polled = link.Poll(destination.subspan(count, room - count), count == 0);
    if (polled.failed) return kTransferFailed;
    if (polled.gone) return kLinkGone;
    if (polled.read_error != 0 && report) report(polled.read_error);
    if (polled.not_ready) {
      // Costs nothing, but a board that only ever says "not ready" must not
      // hold the run forever: past the budget in real time it is no answer.
      ++not_ready;
      if (clock.NowMs() - started > total) return 0;
      continue;
    }
    count += polled.count;
    if (count >= static_cast<std::size_t>(minimum)) return static_cast<int>(count);
    clock.Sleep(kPollPauseMs);
    budget -= kPollPauseMs;
  }
  return 0;
}

}  // namespace

int WaitForResponse(Link& link, Clock& clock, std::span<std::uint8_t> destination, int minimum,
                    int budget, const ReadErrorReport& report) {
  int not_ready = 0;
  const int count = Collect(link, clock, destination, minimum, budget, report, not_ready);
  if (count < 0) return count;  // no reply to log: the transfer itself failed
  link.WaitEnded(
      WaitOutcome{destination.first(static_cast<std::size_t>(count)), count == 0, not_ready});
  return count;
}

}  // namespace zelmo::link
