#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "fake_clock.h"
#include "link/link.h"
#include "tools/simboard/board_model.h"

namespace zelmo::sim {

// One transfer as the link saw it, for tests that check the wire.
struct Transfer {
  enum class Kind { kWrite, kSendByte };
  Kind kind;
  std::vector<std::uint8_t> bytes;
};

// The board behind the link seam, in-process, as either link would reach
// it: writes reach the model at once, polls take what it has answered so
// far. Subclasses may look at what is given and tamper with what comes back.
class SimLink : public link::Link {
 public:
  static constexpr int kI2CAddress = 0x20;
  // An SMBus receive-byte at 100 kHz takes about this long.
  static constexpr int kReceiveByteMicros = 300;

  static constexpr const char* kPort = "/dev/ttySIM0";

  SimLink(BoardModel& board, FakeClock& clock, bool i2c)
      : board_(board), clock_(clock), i2c_(i2c) {}

  void SendResetRequest() override;
  link::Polled Poll(std::span<std::uint8_t> room, bool awaiting_first) override;
  [[nodiscard]] std::string Name() const override { return kPort; }
  bool Reopen() override;

  [[nodiscard]] const std::vector<Transfer>& Transfers() const { return transfers_; }
  [[nodiscard]] int ReceiveBytes() const { return receive_bytes_; }
  [[nodiscard]] bool IsI2C() const { return i2c_; }

 protected:
  long Write(std::span<const std::uint8_t> frame) override;

  // A transfer about to reach the board; the ones before it are in Transfers().
  virtual void Given(const Transfer& /*transfer*/) {}
  // The board's answers, before the updater polls for them.
  virtual void Answered(std::deque<std::uint8_t>& /*output*/) {}
  // The most a serial poll takes; 0 for all that is waiting.
  virtual std::size_t PieceSize() { return board_.GetFaults().piece_size; }
  // Whether the slave acknowledges the next receive-byte transfer.
  virtual bool Acknowledges();

 private:
  void Deliver(Transfer transfer);

  BoardModel& board_;
  FakeClock& clock_;
  bool i2c_;
  std::vector<Transfer> transfers_;
  int receive_bytes_ = 0;
  int opens_ = 0;
};

}  // namespace zelmo::sim
