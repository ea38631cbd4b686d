#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/link.h"

namespace zelmo::link {

struct SpeedRow {
  int baud;
  speed_t code;
};

// Scanned in order up to the row whose baud rate is -1.
extern const SpeedRow speed_table[];

constexpr int kSerialBaud = 19200;

// How opening a port went: its descriptor and the settings it had before,
// or the step that failed and the system's error.
struct PortOpening {
  enum class Step { kNone, kOpen, kSpeed, kGetAttributes, kSetAttributes };
  int fd = -1;
  termios found{};
  Step failed = Step::kNone;
  int error = 0;  // errno of the failed step (none for kSpeed)
};

// Opens the device read-write and non-blocking, raw at the given speed.
// A port that fails after it opened is closed again.
PortOpening OpenCOMPort(const char* path, int speed);

// What ReadCOMBlock returns for a port that has gone away: it hung up (a
// read met end-of-file; errno is 0) or its device is gone (errno says how).
constexpr int kPortGone = -1;
// What it returns for a passing read error; errno says which.
constexpr int kReadFailed = -2;

// One read of up to size bytes: their count, 0 when none was waiting,
// kPortGone or kReadFailed.
int ReadCOMBlock(int fd, std::uint8_t* buffer, std::size_t size);

// Writes the whole frame: a short write is completed and a full output
// queue is waited on for a few seconds, so a frame never goes out in part.
// Returns the bytes written, or -1.
long WriteCOMBlock(int fd, const std::uint8_t* data, std::size_t length);

// Owns the port it was opened on: puts back the settings it found and
// closes it at the end.
class SerialLink final : public Link {
 public:
  SerialLink(const PortOpening& opened, std::string path)
      : fd_(opened.fd), found_(opened.found), path_(std::move(path)) {}
  ~SerialLink() override;  // Link is neither copied nor moved

  void SendResetRequest() override;
  // One non-blocking read of the bytes waiting; a passing read error
  // counts as none, a port that went away is lost.
  Polled Poll(std::span<std::uint8_t> room, bool awaiting_first) override;
  [[nodiscard]] std::string Name() const override { return path_; }
  [[nodiscard]] int Descriptor() const { return fd_; }
  // The dead descriptor closed, the path opened raw and locked as at first.
  bool Reopen() override;

 protected:
  long Write(std::span<const std::uint8_t> frame) override;

 private:
  void Close();

  int fd_;
  termios found_;
  std::string path_;
};

}  // namespace zelmo::link
