// A stand-in for the kernel's i2c-dev driver, preloaded into the real
// program: one bus device whose slave is the simulated board. It answers
// the calls the I2C link makes (open, the I2C_SLAVE and I2C_SMBUS ioctls
// that libi2c issues, and write), so the link is tested down to libi2c
// without an I2C bus in the machine.
//
// Set up through the environment:
//   ZELMO_SHIM_BUS        the bus path that exists, e.g. /dev/i2c-7
//   ZELMO_SHIM_REFUSE     a slave address whose selection fails
//   ZELMO_SHIM_NOT_READY  not-ready bytes before each reply
//   ZELMO_SHIM_FAIL_AFTER receive-byte transfers answered before the slave goes
//   ZELMO_SHIM_TRACE      file that gets one line per transfer
//   ZELMO_SHIM_HEX        a HEX file whose content the board holds

#include <dlfcn.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/mman.h>
#include <sys/types.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>

#include "image/hex_reader.h"
#include "tools/simboard/board_model.h"

namespace {

struct Bus {
  std::string path;
  int refused_address = -1;
  int fail_after = -1;
  int received = 0;
  int fd = -1;
  std::FILE* trace = nullptr;
  std::unique_ptr<zelmo::sim::BoardModel> board;
};

int EnvNumber(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? static_cast<int>(std::strtol(text, nullptr, 0)) : fallback;
}

Bus& TheBus() {
  static Bus bus = [] {
    Bus made;
    const char* path = std::getenv("ZELMO_SHIM_BUS");
    made.path = path != nullptr ? path : "";
    made.refused_address = EnvNumber("ZELMO_SHIM_REFUSE", -1);
    made.fail_after = EnvNumber("ZELMO_SHIM_FAIL_AFTER", -1);
    zelmo::sim::Faults faults;
    faults.not_ready = EnvNumber("ZELMO_SHIM_NOT_READY", 0);
    made.board = std::make_unique<zelmo::sim::BoardModel>(faults);
    if (const char* trace = std::getenv("ZELMO_SHIM_TRACE")) made.trace = std::fopen(trace, "w");
    return made;
  }();
  return bus;
}

template <typename Function>
Function* Next(const char* name) {
  return reinterpret_cast<Function*>(dlsym(RTLD_NEXT, name));  // NOLINT
}

void Trace(const char* what, std::span<const std::uint8_t> bytes) {
  Bus& bus = TheBus();
  if (bus.trace == nullptr) return;
  std::fputs(what, bus.trace);
  for (const std::uint8_t byte : bytes) std::fprintf(bus.trace, " %02x", byte);
  std::fputc('\n', bus.trace);
  std::fflush(bus.trace);
}

bool IsTheBus(const char* path) {
  const Bus& bus = TheBus();
  return path != nullptr && !bus.path.empty() && bus.path == path;
}

// The board's content is loaded when the bus is first opened, once the
// program is up, so that reading the file goes through the real calls.
void LoadBoard(zelmo::sim::BoardModel& board) {
  const char* hex = std::getenv("ZELMO_SHIM_HEX");
  if (hex == nullptr) return;
  auto image = std::make_unique<zelmo::image::WordImage>();
  zelmo::image::LoadHexFile(hex, *image, zelmo::Console{stderr, stderr});
  board.Load(*image);
}

int OpenBus() {
  Bus& bus = TheBus();
  if (bus.fd < 0) LoadBoard(*bus.board);
  // Not a device that other processes hold too, so the bus has no sharers.
  bus.fd = memfd_create("i2c-bus", 0U);
  return bus.fd;
}

int ReceiveByte(i2c_smbus_data* data) {
  Bus& bus = TheBus();
  if (bus.fail_after >= 0 && bus.received >= bus.fail_after) {
    Trace("receive-byte failed", {});
    errno = ENXIO;
    return -1;
  }
  ++bus.received;
  auto& output = bus.board->Output();
  std::uint8_t value = 0x0E;
  if (!output.empty() && !bus.board->TakeNotReady()) {
    value = output.front();
    output.pop_front();
  }
  data->byte = value;
  Trace("receive-byte", std::span<const std::uint8_t>(&value, 1));
  return 0;
}

int Transfer(const i2c_smbus_ioctl_data* request) {
  if (request->size != I2C_SMBUS_BYTE) {
    errno = EINVAL;
    return -1;
  }
  if (request->read_write == I2C_SMBUS_READ) return ReceiveByte(request->data);
  const std::uint8_t value = request->command;
  Trace("send-byte", std::span<const std::uint8_t>(&value, 1));
  TheBus().board->Receive(std::span<const std::uint8_t>(&value, 1));
  return 0;
}

int BusIoctl(unsigned long request, void* argument) {
  Bus& bus = TheBus();
  if (request == I2C_SLAVE) {
    const auto address = static_cast<int>(reinterpret_cast<std::uintptr_t>(argument));
    if (address == bus.refused_address) {
      errno = EBUSY;
      return -1;
    }
    return 0;
  }
  if (request == I2C_SMBUS) return Transfer(static_cast<const i2c_smbus_ioctl_data*>(argument));
  errno = ENOTTY;
  return -1;
}

int OpenAny(const char* name, const char* path, int flags, mode_t mode) {
  if (IsTheBus(path)) return OpenBus();
  return Next<int(const char*, int, ...)>(name)(path, flags, mode);
}

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list list;
  va_start(list, flags);
  const auto mode = static_cast<mode_t>(va_arg(list, unsigned));
  va_end(list);
  return OpenAny("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  va_list list;
  va_start(list, flags);
  const auto mode = static_cast<mode_t>(va_arg(list, unsigned));
  va_end(list);
  return OpenAny("open64", path, flags, mode);
}

int ioctl(int fd, unsigned long request, ...) noexcept {
  va_list list;
  va_start(list, request);
  void* argument = va_arg(list, void*);
  va_end(list);
  if (fd >= 0 && fd == TheBus().fd) return BusIoctl(request, argument);
  return Next<int(int, unsigned long, ...)>("ioctl")(fd, request, argument);
}

ssize_t write(int fd, const void* data, size_t length) {
  if (fd >= 0 && fd == TheBus().fd) {
    const std::span<const std::uint8_t> bytes(static_cast<const std::uint8_t*>(data), length);
    Trace("write", bytes);
    TheBus().board->Receive(bytes);
    return static_cast<ssize_t>(length);
  }
  return Next<ssize_t(int, const void*, size_t)>("write")(fd, data, length);
}

}  // extern "C"
