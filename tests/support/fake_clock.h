#pragma once

#include <cstdint>
#include <vector>

#include "link/clock.h"

namespace zelmo::sim {

// Time that passes only when someone sleeps or a simulated transfer is
// charged; every pause is recorded so tests can count them exactly.
class FakeClock final : public link::Clock {
 public:
  void Sleep(int milliseconds) override {
    pauses_.push_back(milliseconds);
    now_us_ += static_cast<std::int64_t>(milliseconds) * 1000;
  }
  std::int64_t NowMs() override { return now_us_ / 1000; }
  void Advance(std::int64_t microseconds) { now_us_ += microseconds; }

  [[nodiscard]] const std::vector<int>& Pauses() const { return pauses_; }
  void ClearPauses() { pauses_.clear(); }

 private:
  std::vector<int> pauses_;
  std::int64_t now_us_ = 0;
};

}  // namespace zelmo::sim
