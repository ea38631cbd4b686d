#include "link/i2c_link.h"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <sys/ioctl.h>
#include <unistd.h>

extern "C" {
#include <i2c/smbus.h>
}

#include "run_end.h"

namespace zelmo::link {

int OpenI2CBus(const char* path, int address, const std::string& progname, const Console& console) {
  const int fd = open(path, O_RDWR);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  if (fd < 0) {
    std::fprintf(console.err, "%s: Cannot find i2c bus %s\n", progname.c_str(), path);
    EndRun(1);
  }
  if (ioctl(fd, I2C_SLAVE, address) == -1) {  // NOLINT(cppcoreguidelines-pro-type-vararg)
    std::fprintf(console.err, "%s: Cannot open i2c device %x\n", progname.c_str(),
                 static_cast<unsigned>(address));
    EndRun(1);
  }
  return fd;
}

// One write is one I2C transfer; repeating part of it would be a second,
// different frame on the bus, so a short write is left as it is.
long I2CLink::WriteBlock(const std::uint8_t* data, std::size_t length) {
  return write(state_.fd, data, length);
}

// Replies on the bus come one receive-byte transfer at a time.
int I2CLink::ReadBlock(std::uint8_t* /*buffer*/, std::size_t /*size*/) { return 0; }

void I2CLink::SendByte(std::uint8_t value) { i2c_smbus_write_byte(state_.fd, value); }

int I2CLink::ReceiveByte() { return i2c_smbus_read_byte(state_.fd); }

}  // namespace zelmo::link
