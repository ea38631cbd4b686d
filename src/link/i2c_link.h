#pragma once

#include <string>

#include "link/link.h"

namespace zelmo::link {

// How opening a bus went: its descriptor, or the step that failed and
// the system's error.
struct BusOpening {
  enum class Step { kNone, kOpen, kSelect };
  int fd = -1;
  Step failed = Step::kNone;
  int error = 0;
};

// Opens the bus device (blocking) and selects the slave; a bus whose
// slave cannot be selected is closed again.
BusOpening OpenI2CBus(const char* path, int address);

// Owns the bus descriptor it was opened on, and closes it at the end.
class I2CLink final : public Link {
 public:
  explicit I2CLink(int fd) : fd_(fd) {}
  ~I2CLink() override;  // Link is neither copied nor moved
  [[nodiscard]] int Descriptor() const { return fd_; }

  // Three send-byte transfers: the firmware listens for the bytes, not a frame.
  void SendResetRequest() override;
  // One receive-byte transfer. A not-ready byte before the reply has begun
  // is no data; after that every byte is.
  Polled Poll(std::span<std::uint8_t> room, bool awaiting_first) override;

 protected:
  long Write(std::span<const std::uint8_t> frame) override;

 private:
  int fd_;
};

}  // namespace zelmo::link
