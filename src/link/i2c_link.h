#pragma once

#include <string>

#include "console.h"
#include "link/link.h"

namespace zelmo::link {

// Opens the bus device and selects the slave. Ends the run with status 1
// when either fails (hint told of a bus that would not open). Returns the
// bus descriptor.
int OpenI2CBus(const char* path, int address, const std::string& progname, const Console& console,
               const OpenFailureHint& hint = {});

class I2CLink final : public Link {
 public:
  explicit I2CLink(int fd) : fd_(fd) {}

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
