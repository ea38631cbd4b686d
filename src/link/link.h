#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace zelmo::link {

// The state every part of a run shares about the open link.
struct LinkState {
  int fd = -1;      // the serial device or the I2C bus
  int i2c = 0;      // non-zero on the I2C link
  int address = 0;  // the I2C slave address
};

// How one response wait ended.
struct WaitOutcome {
  std::span<const std::uint8_t> collected;  // the reply bytes gathered
  bool timed_out = false;                   // the budget ran out first
  int not_ready = 0;                        // I2C not-ready bytes dropped
};

// The byte transport to the board. The serial and I2C links implement it
// for real; tests put a simulated board behind it.
class Link {
 public:
  Link() = default;
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;
  Link(Link&&) = delete;
  Link& operator=(Link&&) = delete;
  virtual ~Link() = default;

  [[nodiscard]] virtual const LinkState& State() const = 0;

  // One frame out. On I2C one write transfer of the whole frame.
  virtual long WriteBlock(const std::uint8_t* data, std::size_t length) = 0;

  // Serial: one read of up to size waiting bytes; 0 when there were none.
  virtual int ReadBlock(std::uint8_t* buffer, std::size_t size) = 0;

  // I2C: an SMBus send-byte transfer; the result is not looked at.
  virtual void SendByte(std::uint8_t value) = 0;

  // I2C: an SMBus receive-byte transfer; 0..255, or -1 with errno set.
  virtual int ReceiveByte() = 0;

  // Told how each response wait on this link ended. The links themselves
  // have no use for it; a link that watches the wire does.
  virtual void WaitEnded(const WaitOutcome& /*outcome*/) {}
};

}  // namespace zelmo::link
