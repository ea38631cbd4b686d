#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "link/link.h"
#include "tools/simboard/board_model.h"
#include "tools/simboard/fake_clock.h"

namespace zelmo::sim {

// One transfer as the link saw it, for tests that check the wire.
struct Transfer {
  enum class Kind { kWrite, kSendByte };
  Kind kind;
  std::vector<std::uint8_t> bytes;
};

// The board behind the link seam, in-process: writes reach the model at
// once, reads take what it has answered so far.
class SimLink final : public link::Link {
 public:
  static constexpr int kI2CAddress = 0x20;
  // An SMBus receive-byte at 100 kHz takes about this long.
  static constexpr int kReceiveByteMicros = 300;

  SimLink(BoardModel& board, FakeClock& clock, bool i2c)
      : board_(board), clock_(clock), state_{-1, i2c ? 1 : 0, i2c ? kI2CAddress : 0} {}

  [[nodiscard]] const link::LinkState& State() const override { return state_; }
  long WriteBlock(const std::uint8_t* data, std::size_t length) override;
  int ReadBlock(std::uint8_t* buffer, std::size_t size) override;
  void SendByte(std::uint8_t value) override;
  int ReceiveByte() override;

  [[nodiscard]] const std::vector<Transfer>& Transfers() const { return transfers_; }
  [[nodiscard]] int ReceiveBytes() const { return receive_bytes_; }

 private:
  BoardModel& board_;
  FakeClock& clock_;
  link::LinkState state_;
  std::vector<Transfer> transfers_;
  int receive_bytes_ = 0;
};

}  // namespace zelmo::sim
