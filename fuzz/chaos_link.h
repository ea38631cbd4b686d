#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <vector>

#include "sim_link.h"

namespace zelmo::fuzz {

// Bytes of the fuzz input, taken one at a time; zeros once used up, which
// lets every run settle into a well-behaved board.
class ByteSource {
 public:
  ByteSource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Next() { return used_ < size_ ? data_[used_++] : 0; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t used_ = 0;
};

// Thrown when a run has made more exchanges than any sane update needs: the
// handshake and the checksum retry are unbounded by design.
struct ExchangeCapReached {};

// The simulated board behind a link whose replies the fuzz input tampers
// with: dropped, corrupted, cut short, padded, checksum-error and
// not-ready storms, silence, pieces. Every frame the updater sends is
// checked against what an updater may ever send.
class ChaosLink final : public sim::SimLink {
 public:
  static constexpr std::size_t kMaxWrites = 3000;

  ChaosLink(sim::BoardModel& board, sim::FakeClock& clock, ByteSource& chaos, bool i2c)
      : SimLink(board, clock, i2c), chaos_(chaos) {}

  // Asked when the erase and the run request go out: does the updater's
  // last read-back differ from (erase) or equal (run) the image?
  std::function<bool()> read_back_differs;
  // --start: the run request may also follow a read that found the code
  // equal, and in a check one whose board holds a whole firmware (asked
  // when the run request goes out).
  bool start_allowed = false;
  std::function<bool()> may_start_differing;

  // The frames written, in order.
  [[nodiscard]] const std::vector<std::vector<std::uint8_t>>& Frames() const { return frames_; }

 private:
  void Given(const sim::Transfer& transfer) override;
  void Answered(std::deque<std::uint8_t>& output) override;
  std::size_t PieceSize() override { return 1 + chaos_.Next() % 80U; }
  bool Acknowledges() override { return !silent_ || chaos_.Next() % 2 == 0; }

  void CheckFrame(const std::vector<std::uint8_t>& frame) const;
  void CheckEraseOrRun(std::uint8_t code) const;
  [[nodiscard]] bool FollowsCompleteRead() const;

  ByteSource& chaos_;
  std::vector<std::vector<std::uint8_t>> frames_;
  bool silent_ = false;
  bool erased_ = false;
};

// Ends the process at once: a broken invariant is a finding.
[[noreturn]] void Violation(const char* what);

}  // namespace zelmo::fuzz
