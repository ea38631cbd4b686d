#pragma once

#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "console.h"
#include "link/link.h"

namespace zelmo::link {

struct SpeedRow {
  int baud;
  speed_t code;
};

// Scanned in order up to the row whose baud rate is -1.
extern const SpeedRow speed_table[];

constexpr int kSerialBaud = 19200;

// Opens the device raw at the given speed, non-blocking. Ends the run with
// status 1 when it cannot (hint told of a device that would not open).
int OpenCOMPort(const char* path, int speed, const Console& console,
                const OpenFailureHint& hint = {});

// What ReadCOMBlock returns for a port that has gone away: it hung up (a
// read met end-of-file; errno is 0) or its device is gone (errno says how).
constexpr int kPortGone = -1;

// Whether a failed transfer's errno means the port's device is gone.
bool PortGoneError(int error);

// One read of up to size bytes; 0 when nothing was read for any other
// reason, after a read error's text.
int ReadCOMBlock(int fd, std::uint8_t* buffer, std::size_t size, const Console& console);

// Writes the whole frame: a short write is completed and a full output
// queue is waited on for a few seconds, so a frame never goes out in part.
// Returns the bytes written, or -1.
long WriteCOMBlock(int fd, const std::uint8_t* data, std::size_t length);

class SerialLink final : public Link {
 public:
  SerialLink(int fd, std::string path, const Console& console)
      : fd_(fd), path_(std::move(path)), console_(console) {}

  void SendResetRequest() override;
  // One non-blocking read of the bytes waiting; a passing read error
  // counts as none, a port that went away is lost.
  Polled Poll(std::span<std::uint8_t> room, bool awaiting_first) override;
  [[nodiscard]] std::string Name() const override { return path_; }

 protected:
  long Write(std::span<const std::uint8_t> frame) override;
  // The dead descriptor closed, the path opened raw and locked as at first.
  bool OpenAgain() override;

 private:
  int fd_;
  std::string path_;
  Console console_;
};

}  // namespace zelmo::link
