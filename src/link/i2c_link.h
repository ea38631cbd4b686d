#pragma once

#include <string>

#include "console.h"
#include "link/link.h"

namespace zelmo::link {

// Opens the bus device and selects the slave. Ends the run with status 1
// when either fails. Returns the bus descriptor.
int OpenI2CBus(const char* path, int address, const std::string& progname, const Console& console);

class I2CLink final : public Link {
 public:
  I2CLink(int fd, int address) : state_{fd, 1, address} {}

  [[nodiscard]] const LinkState& State() const override { return state_; }
  long WriteBlock(const std::uint8_t* data, std::size_t length) override;
  int ReadBlock(std::uint8_t* buffer, std::size_t size) override;
  void SendByte(std::uint8_t value) override;
  int ReceiveByte() override;

 private:
  LinkState state_;
};

}  // namespace zelmo::link
