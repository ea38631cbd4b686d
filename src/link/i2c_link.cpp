#include "link/i2c_link.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

extern "C" {
#include <i2c/smbus.h>
}

#include "protocol/frames.h"

namespace zelmo::link {

BusOpening OpenI2CBus(const char* path, int address) {
  BusOpening opened;
  opened.fd = open(path, O_RDWR);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  if (opened.fd < 0) return Failed(opened, BusOpening::Step::kOpen);
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
  if (ioctl(opened.fd, I2C_SLAVE, address) == -1) return Failed(opened, BusOpening::Step::kSelect);
  return opened;
}

I2CLink::~I2CLink() { close(fd_); }

// One write is one I2C transfer; repeating part of it would be a second,
// different frame on the bus, so a short write is left as it is.
long I2CLink::Write(std::span<const std::uint8_t> frame) {
  return write(fd_, frame.data(), frame.size());
}

void I2CLink::SendResetRequest() {
  SendResetBytes([this](std::uint8_t byte) { i2c_smbus_write_byte(fd_, byte); });
}

Polled I2CLink::Poll(std::span<std::uint8_t> room, bool awaiting_first) {
  const int value = i2c_smbus_read_byte(fd_);
  if (value < 0) return {.failed = true};
  if (awaiting_first && value == protocol::kNotReady) return {.not_ready = true};
  room[0] = static_cast<std::uint8_t>(value);
  return {1};
}

}  // namespace zelmo::link
