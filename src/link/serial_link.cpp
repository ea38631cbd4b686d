#include "link/serial_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "link/port_lock.h"
#include "run_end.h"

namespace zelmo::link {

const SpeedRow speed_table[] = {
    {300, B300},     {600, B600},       {1200, B1200},   {2400, B2400},
    {4800, B4800},   {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {-1, B0},
};

namespace {

// How long a write may wait for the port to take more bytes.
constexpr auto kWriteRoomWait = std::chrono::seconds(3);

[[noreturn]] void FailSystem(const Console& console, const char* text) {
  std::fflush(console.out);
  EndRun(1, PrintSystemError(console, text));
}

const SpeedRow* FindSpeed(int speed) {
  for (const SpeedRow* row = speed_table; row->baud != -1; ++row) {
    if (row->baud == speed) return row;
  }
  return nullptr;
}

// Waits until the port takes more bytes or the deadline passes; a signal
// that interrupts the wait does not end it.
bool WaitForRoom(int fd, std::chrono::steady_clock::time_point deadline) {
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd entry{fd, POLLOUT, 0};
    const int ready = poll(&entry, 1, static_cast<int>(left.count()));
    if (ready > 0) return true;
    if (ready == 0 || errno != EINTR) return false;
  }
}

// Raw at the speed code, non-blocking; the failed call's text, or none.
const char* SetRaw(int fd, speed_t code) {
  termios settings{};
  if (tcgetattr(fd, &settings) != 0) return "tty_speed: tcgetattr";
  cfmakeraw(&settings);
  cfsetispeed(&settings, code);
  cfsetospeed(&settings, code);
  if (tcsetattr(fd, TCSANOW, &settings) != 0) return "tty_speed: tcsetattr";
  int on = 1;
  ioctl(fd, FIONBIO, &on);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  return nullptr;
}

}  // namespace

bool PortGoneError(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

int OpenCOMPort(const char* path, int speed, const Console& console, const OpenFailureHint& hint) {
  std::fprintf(console.out, "\nUsing Serial port %s\n", path);
  const int fd = open(path, O_RDWR | O_NONBLOCK);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  if (fd < 0) {
    const int error = errno;
    std::fprintf(console.out, "Device %s\n", path);
    std::fflush(console.out);
    EndOpening(hint, error, PrintSystemError(console, "Com Open Failed"));
  }
  const SpeedRow* row = FindSpeed(speed);
  if (row == nullptr) {
    std::fflush(console.out);
    EndRunSaying(console.err, 1, "tty_speed: invalid speed %d\n", speed);
  }
  if (const char* failed = SetRaw(fd, row->code)) FailSystem(console, failed);
  return fd;
}

int ReadCOMBlock(int fd, std::uint8_t* buffer, std::size_t size, const Console& console) {
  const ssize_t got = read(fd, buffer, size);
  // Raw mode asks for at least one byte, so only a port that hung up
  // reads as end-of-file.
  if (got == 0 && size > 0) {
    errno = 0;
    return kPortGone;
  }
  if (got >= 0) return static_cast<int>(got);
  if (errno == EAGAIN) return 0;
  if (PortGoneError(errno)) return kPortGone;
  const int error = errno;
  PrintSystemError(console, "read");
  std::fprintf(console.out, "%d\n", error);
  return 0;
}

long WriteCOMBlock(int fd, const std::uint8_t* data, std::size_t length) {
  const auto deadline = std::chrono::steady_clock::now() + kWriteRoomWait;
  std::size_t done = 0;
  while (done < length) {
    const ssize_t put = write(fd, data + done, length - done);
    if (put > 0) {
      done += static_cast<std::size_t>(put);
    } else if (put < 0 && errno != EAGAIN && errno != EINTR) {
      return -1;
    } else if (!WaitForRoom(fd, deadline)) {
      return done > 0 ? static_cast<long>(done) : -1;
    }
  }
  return static_cast<long>(done);
}

long SerialLink::Write(std::span<const std::uint8_t> frame) {
  const long put = WriteCOMBlock(fd_, frame.data(), frame.size());
  if (put < 0 && PortGoneError(errno)) MarkLost("write", errno);
  return put;
}

void SerialLink::SendResetRequest() { WriteResetFrame(); }

Polled SerialLink::Poll(std::span<std::uint8_t> room, bool /*awaiting_first*/) {
  const int got = ReadCOMBlock(fd_, room.data(), room.size(), console_);
  if (got == kPortGone) {
    MarkLost("read", errno);
    return {.gone = true};
  }
  return {static_cast<std::size_t>(got)};
}

bool SerialLink::OpenAgain() {
  if (fd_ >= 0) close(fd_);
  fd_ = open(path_.c_str(), O_RDWR | O_NONBLOCK);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  if (fd_ >= 0 && SetRaw(fd_, FindSpeed(kSerialBaud)->code) == nullptr && TakeLock(fd_))
    return true;
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
  return false;
}

}  // namespace zelmo::link
