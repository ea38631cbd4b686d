// The serial link on a real kernel terminal: a pseudo-terminal pair.

#include "link/serial_link.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <deque>
#include <vector>

#include "app/open_link.h"
#include "base/run_failure.h"
#include "captured_console.h"
#include "driver/updater.h"
#include "fake_clock.h"
#include "link/response_wait.h"
#include "temp_file.h"

namespace zelmo::link {
namespace {

using testing::CapturedConsole;

class Pty {
 public:
  Pty() {
    std::array<char, 256> name{};
    openpty(&master_, &slave_, name.data(), nullptr, nullptr);
    path_ = name.data();
  }
  Pty(const Pty&) = delete;
  Pty& operator=(const Pty&) = delete;
  Pty(Pty&&) = delete;
  Pty& operator=(Pty&&) = delete;
  ~Pty() {
    CloseMaster();
    close(slave_);
  }
  [[nodiscard]] int Master() const { return master_; }
  [[nodiscard]] const std::string& Path() const { return path_; }
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string path_;
};

int StatusOfOpen(const std::string& path, int speed, const CapturedConsole& console) {
  try {
    OpenSerialPort(path, speed, console.Get());
    return -1;
  } catch (const RunFailure& ended) {
    return ended.status;
  }
}

TEST(OpenCOMPort, SetsRawModeAndSpeed) {
  Pty pty;
  CapturedConsole console;
  const auto port = OpenSerialPort(pty.Path(), kSerialBaud, console.Get());
  const int fd = port->Descriptor();
  termios settings{};
  ASSERT_EQ(tcgetattr(fd, &settings), 0);
  EXPECT_EQ(cfgetispeed(&settings), B19200);
  EXPECT_EQ(cfgetospeed(&settings), B19200);
  EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0U);
  EXPECT_EQ(settings.c_iflag & (ICRNL | IXON | ISTRIP), 0U);
  EXPECT_EQ(settings.c_oflag & OPOST, 0U);
  EXPECT_EQ(settings.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_NE(fcntl(fd, F_GETFL) & O_NONBLOCK, 0);  // NOLINT
  EXPECT_EQ(console.Out(), "\nUsing Serial port " + pty.Path() + "\n");

  std::array<std::uint8_t, 16> buffer{};
  EXPECT_EQ(ReadCOMBlock(fd, buffer.data(), buffer.size()), 0);
  EXPECT_EQ(console.Err(), "");
}

TEST(OpenCOMPort, FailuresEndWithStatusOne) {
  Pty pty;
  const testing::TempFile regular("not a terminal");
  const struct {
    std::string path;
    int speed;
    std::string out;
    std::string err;
  } cases[] = {
      {"/dev/zelmo-missing", kSerialBaud,
       "\nUsing Serial port /dev/zelmo-missing\nDevice /dev/zelmo-missing\n",
       "Com Open Failed: No such file or directory\n"},
      {regular.Path(), kSerialBaud, "\nUsing Serial port " + regular.Path() + "\n",
       "tty_speed: tcgetattr: Inappropriate ioctl for device\n"},
      {pty.Path(), 1800, "\nUsing Serial port " + pty.Path() + "\n",
       "tty_speed: invalid speed 1800\n"},
  };
  for (const auto& c : cases) {
    CapturedConsole console;
    EXPECT_EQ(StatusOfOpen(c.path, c.speed, console), 1) << c.path;
    EXPECT_EQ(console.Out(), c.out);
    EXPECT_EQ(console.Err(), c.err);
  }
}

TEST(OpenCOMPort, EveryRateOfTheTableIsSet) {
  Pty pty;
  for (const SpeedRow* row = speed_table; row->baud != -1; ++row) {
    const int fd = OpenCOMPort(pty.Path().c_str(), row->baud).fd;
    termios settings{};
    tcgetattr(fd, &settings);
    EXPECT_EQ(cfgetospeed(&settings), row->code) << row->baud;
    close(fd);
  }
}

// Each pause lets the next piece of the reply arrive, as a slow board would.
class PieceClock final : public Clock {
 public:
  PieceClock(int master, std::deque<std::vector<std::uint8_t>> pieces)
      : master_(master), pieces_(std::move(pieces)) {}
  void Sleep(int milliseconds) override {
    inner_.Sleep(milliseconds);
    if (pieces_.empty()) return;
    ASSERT_EQ(write(master_, pieces_.front().data(), pieces_.front().size()),
              static_cast<ssize_t>(pieces_.front().size()));
    pieces_.pop_front();
    usleep(2000);  // the terminal layer hands bytes on asynchronously
  }
  std::int64_t NowMs() override { return inner_.NowMs(); }
  [[nodiscard]] std::size_t Pauses() const { return inner_.Pauses().size(); }

 private:
  int master_;
  std::deque<std::vector<std::uint8_t>> pieces_;
  sim::FakeClock inner_;
};

TEST(SerialLink, ReplyInPiecesIsGathered) {
  Pty pty;
  CapturedConsole console;
  const auto port = OpenSerialPort(pty.Path(), kSerialBaud, console.Get());
  SerialLink& serial = *port;
  std::deque<std::vector<std::uint8_t>> pieces;
  for (std::uint8_t start = 0; start < 64; start += 16) {
    std::vector<std::uint8_t> piece;
    for (std::uint8_t i = 0; i < 16; ++i) piece.push_back(static_cast<std::uint8_t>(start + i));
    pieces.push_back(piece);
  }
  PieceClock clock(pty.Master(), pieces);
  std::array<std::uint8_t, 64> reply{};
  EXPECT_EQ(WaitForResponse(serial, clock, reply, 64, 10000), 64);
  for (std::size_t i = 0; i < reply.size(); ++i) EXPECT_EQ(reply[i], i);
  EXPECT_EQ(clock.Pauses(), 4U);
}

// The far end starts reading only after the frame's write found the port
// full; a timer signal does it, which also interrupts the wait for room.
int drain_fd = -1;
std::array<std::uint8_t, 65536> drained{};
std::size_t drained_count = 0;

extern "C" void DrainPort(int /*signal*/) {
  for (ssize_t got = 0; (got = read(drain_fd, drained.data() + drained_count,
                                    drained.size() - drained_count)) > 0;) {
    drained_count += static_cast<std::size_t>(got);
  }
}

TEST(SerialLink, FrameIsCompletedWhenThePortIsFull) {
  Pty pty;
  const int fd = OpenCOMPort(pty.Path().c_str(), kSerialBaud).fd;
  const std::vector<std::uint8_t> filler(4096, 0x11);
  std::size_t queued = 0;
  for (ssize_t put = 0; (put = write(fd, filler.data(), filler.size())) > 0;) {
    queued += static_cast<std::size_t>(put);
  }
  ASSERT_EQ(errno, EAGAIN);
  drain_fd = pty.Master();
  fcntl(drain_fd, F_SETFL, O_NONBLOCK);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  std::signal(SIGALRM, DrainPort);
  itimerval every_50ms{{0, 50000}, {0, 100000}};
  setitimer(ITIMER_REAL, &every_50ms, nullptr);

  std::vector<std::uint8_t> frame(68);
  for (std::size_t i = 0; i < frame.size(); ++i) frame[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(WriteCOMBlock(fd, frame.data(), frame.size()), 68);
  for (int i = 0; i < 100 && drained_count < queued + frame.size(); ++i) usleep(20000);

  itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  std::signal(SIGALRM, SIG_DFL);
  ASSERT_EQ(drained_count, queued + frame.size());
  EXPECT_TRUE(std::equal(frame.begin(), frame.end(), drained.begin() + static_cast<long>(queued)));
  close(fd);
}

// A descriptor that takes only part of a write, as a port with little room
// does: a pipe, drained a piece at a time by a timer signal (no thread:
// the tests also run under qemu-user). Every byte must still go, in order,
// and the whole length be reported.
int piece_fd = -1;
std::vector<std::uint8_t> pieces_read;

extern "C" void ReadAPiece(int /*signal*/) {
  std::array<std::uint8_t, 4096> piece{};
  const ssize_t got = read(piece_fd, piece.data(), piece.size());
  if (got > 0) pieces_read.insert(pieces_read.end(), piece.begin(), piece.begin() + got);
}

TEST(SerialLink, AWriteTakenInPartsIsCompleted) {
  std::array<int, 2> ends{};
  ASSERT_EQ(pipe2(ends.data(), O_NONBLOCK), 0);
  std::vector<std::uint8_t> frame(256 * 1024);
  for (std::size_t i = 0; i < frame.size(); ++i)
    frame[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
  pieces_read.reserve(frame.size() + 4096);
  piece_fd = ends[0];
  std::signal(SIGALRM, ReadAPiece);
  itimerval every_ms{{0, 1000}, {0, 1000}};
  setitimer(ITIMER_REAL, &every_ms, nullptr);
  EXPECT_EQ(WriteCOMBlock(ends[1], frame.data(), frame.size()), static_cast<long>(frame.size()));
  for (int i = 0; i < 1000 && pieces_read.size() < frame.size(); ++i) usleep(2000);
  itimerval off{};
  setitimer(ITIMER_REAL, &off, nullptr);
  std::signal(SIGALRM, SIG_DFL);
  close(ends[1]);
  close(ends[0]);
  EXPECT_EQ(pieces_read.size(), frame.size());
  EXPECT_TRUE(pieces_read == frame);
}

// Read failures other than "no data" are reported as they happen and count
// as nothing: the wait goes on to its end.
TEST(SerialLink, ReadErrorIsReportedAndCountsAsNoData) {
  CapturedConsole console;
  PortOpening directory;
  directory.fd = open("/", O_RDONLY);  // NOLINT(cppcoreguidelines-pro-type-vararg)
  std::array<std::uint8_t, 16> buffer{};
  EXPECT_EQ(ReadCOMBlock(directory.fd, buffer.data(), buffer.size()), kReadFailed);
  SerialLink serial(directory, "/");
  sim::FakeClock clock;
  const auto image = std::make_unique<image::WordImage>();
  driver::Updater updater(*image, serial, clock, console.Get());
  EXPECT_THROW(updater.Run({.handshake = {1, {}}}), RunFailure);
  EXPECT_TRUE(console.Err().starts_with("read: Is a directory\n"));
  EXPECT_TRUE(console.Out().starts_with("Sending Reset Request\n" + std::to_string(EISDIR) + "\n"));
}

}  // namespace
}  // namespace zelmo::link
