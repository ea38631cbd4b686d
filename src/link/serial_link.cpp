#include "link/serial_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "link/port_lock.h"

namespace zelmo::link {

const SpeedRow speed_table[] = {
    {300, B300},     {600, B600},       {1200, B1200},   {2400, B2400},
    {4800, B4800},   {9600, B9600},     {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {-1, B0},
};

namespace {

// How long a write may wait for the port to take more bytes.
constexpr auto kWriteRoomWait = std::chrono::seconds(3);

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

// Raw at the speed code, non-blocking once more; nothing else is changed:
// no flow control, CLOCAL, CREAD, VMIN or VTIME of its own, no flush.
bool SetRaw(int fd, termios settings, speed_t code) {
  cfmakeraw(&settings);
  cfsetispeed(&settings, code);
  cfsetospeed(&settings, code);
  if (tcsetattr(fd, TCSANOW, &settings) != 0) return false;
  int on = 1;
  ioctl(fd, FIONBIO, &on);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  return true;
}

// A failed transfer's errno that means the port's device is gone.
bool PortGoneError(int error) { return error == EIO || error == ENXIO || error == ENODEV; }

}  // namespace

PortOpening OpenCOMPort(const char* path, int speed) {
  using Step = PortOpening::Step;
  PortOpening opened;
  opened.fd = open(path, O_RDWR | O_NONBLOCK);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  const SpeedRow* row = FindSpeed(speed);
  if (opened.fd < 0) return Failed(opened, Step::kOpen);
  if (row == nullptr) return Failed(opened, Step::kSpeed);
  if (tcgetattr(opened.fd, &opened.found) != 0) return Failed(opened, Step::kGetAttributes);
  if (!SetRaw(opened.fd, opened.found, row->code)) return Failed(opened, Step::kSetAttributes);
  return opened;
}

int ReadCOMBlock(int fd, std::uint8_t* buffer, std::size_t size) {
  const ssize_t got = read(fd, buffer, size);
  // Raw mode asks for at least one byte, so only a port that hung up
  // reads as end-of-file.
  if (got == 0 && size > 0) {
    errno = 0;
    return kPortGone;
  }
  if (got >= 0) return static_cast<int>(got);
  if (errno == EAGAIN) return 0;
  return PortGoneError(errno) ? kPortGone : kReadFailed;
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
  const int got = ReadCOMBlock(fd_, room.data(), room.size());
  if (got == kPortGone) {
    MarkLost("read", errno);
    return {.gone = true};
  }
  if (got == kReadFailed) return {.read_error = errno};
  return {static_cast<std::size_t>(got)};
}

bool SerialLink::Reopen() {
  Close();
  const PortOpening opened = OpenCOMPort(path_.c_str(), kSerialBaud);
  fd_ = opened.fd;
  if (fd_ >= 0 && TakeLock(fd_)) {
    MarkFound();
    return true;
  }
  Close();
  return false;
}

SerialLink::~SerialLink() { Close(); }

// A port that went away has no settings to put back.
void SerialLink::Close() {
  if (fd_ < 0) return;
  if (!Lost()) tcsetattr(fd_, TCSANOW, &found_);
  close(fd_);
  fd_ = -1;
}

}  // namespace zelmo::link
