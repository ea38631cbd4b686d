#pragma once

#include <cstdint>

namespace zelmo::link {

// The fixed pauses of the protocol go through a clock so that tests can
// count them without spending them.
class Clock {
 public:
  Clock() = default;
  Clock(const Clock&) = delete;
  Clock& operator=(const Clock&) = delete;
  Clock(Clock&&) = delete;
  Clock& operator=(Clock&&) = delete;
  virtual ~Clock() = default;

  virtual void Sleep(int milliseconds) = 0;
  virtual std::int64_t NowMs() = 0;
};

class RealClock final : public Clock {
 public:
  void Sleep(int milliseconds) override;
  std::int64_t NowMs() override;
};

}  // namespace zelmo::link
