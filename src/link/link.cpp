#include "link/link.h"

#include <array>
#include <vector>

namespace zelmo::link {
namespace {
constexpr int kDrainPauseMs = 10;
// A port that never falls quiet (something else talks on it) must not
// hold the run: the next handshake will tell.
constexpr int kDrainLimitMs = 5000;
}  // namespace

void Link::DropWaitingInput(Clock& clock, const ReadErrorReport& report) {
  std::vector<std::uint8_t> dropped;
  std::array<std::uint8_t, protocol::kScratchSize> room{};
  const std::int64_t started = clock.NowMs();
  for (int quiet = 0; quiet < kQuietMs && clock.NowMs() - started < kDrainLimitMs;) {
    // On I2C a slave with nothing left to say answers not-ready.
    const Polled polled = Poll(room, true);
    if (polled.gone) break;
    if (polled.read_error != 0 && report) report(polled.read_error);
    if (polled.count > 0) {
      dropped.insert(dropped.end(), room.begin(), room.begin() + static_cast<long>(polled.count));
      quiet = 0;
      continue;
    }
    clock.Sleep(kDrainPauseMs);
    quiet += kDrainPauseMs;
  }
  if (!dropped.empty() && watcher_ != nullptr) watcher_->Dropped(dropped);
}

}  // namespace zelmo::link
