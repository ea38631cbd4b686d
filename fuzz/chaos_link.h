#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "link/link.h"
#include "tools/simboard/board_model.h"
#include "tools/simboard/fake_clock.h"

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
class ChaosLink final : public link::Link {
 public:
  static constexpr int kMaxWrites = 3000;

  ChaosLink(sim::BoardModel& board, sim::FakeClock& clock, ByteSource& chaos, bool i2c)
      : board_(board), clock_(clock), chaos_(chaos), state_{-1, i2c ? 1 : 0, i2c ? 0x20 : 0} {}

  [[nodiscard]] const link::LinkState& State() const override { return state_; }
  long WriteBlock(const std::uint8_t* data, std::size_t length) override;
  int ReadBlock(std::uint8_t* buffer, std::size_t size) override;
  void SendByte(std::uint8_t value) override;
  int ReceiveByte() override;

  // Asked when the erase and the run request go out: does the updater's
  // last read-back differ from (erase) or equal (run) the image?
  std::function<bool()> read_back_differs;

  [[nodiscard]] const std::vector<std::vector<std::uint8_t>>& Frames() const { return frames_; }

 private:
  void CheckFrame(const std::vector<std::uint8_t>& frame) const;
  void CheckEraseOrRun(std::uint8_t code) const;
  [[nodiscard]] bool FollowsCompleteRead() const;
  void Tamper();

  sim::BoardModel& board_;
  sim::FakeClock& clock_;
  ByteSource& chaos_;
  link::LinkState state_;
  std::vector<std::vector<std::uint8_t>> frames_;
  std::size_t reset_bytes_ = 0;
  bool silent_ = false;
  bool erased_ = false;
};

// Ends the process at once: a broken invariant is a finding.
[[noreturn]] void Violation(const char* what);

}  // namespace zelmo::fuzz
