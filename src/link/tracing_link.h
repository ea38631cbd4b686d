#pragma once

#include "link/link.h"
#include "link/wire_trace.h"

namespace zelmo::link {

// A link that writes what crosses it to a wire log and otherwise does
// exactly what the link inside it does.
class TracingLink final : public Link {
 public:
  TracingLink(Link& inner, WireTrace& trace) : inner_(inner), trace_(trace) {}

  [[nodiscard]] const LinkState& State() const override { return inner_.State(); }
  long WriteBlock(const std::uint8_t* data, std::size_t length) override;
  int ReadBlock(std::uint8_t* buffer, std::size_t size) override;
  void SendByte(std::uint8_t value) override;
  int ReceiveByte() override;
  void WaitEnded(const WaitOutcome& outcome) override;

 private:
  Link& inner_;
  WireTrace& trace_;
};

}  // namespace zelmo::link
