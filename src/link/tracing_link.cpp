#include "link/tracing_link.h"

namespace zelmo::link {

// Logged before it goes out, so a write that never returns is on record.
long TracingLink::WriteBlock(const std::uint8_t* data, std::size_t length) {
  trace_.Sent(std::span<const std::uint8_t>(data, length));
  return inner_.WriteBlock(data, length);
}

int TracingLink::ReadBlock(std::uint8_t* buffer, std::size_t size) {
  return inner_.ReadBlock(buffer, size);
}

void TracingLink::SendByte(std::uint8_t value) {
  trace_.Sent(std::span<const std::uint8_t>(&value, 1));
  inner_.SendByte(value);
}

int TracingLink::ReceiveByte() { return inner_.ReceiveByte(); }

void TracingLink::WaitEnded(const WaitOutcome& outcome) {
  trace_.Received(outcome);
  inner_.WaitEnded(outcome);
}

}  // namespace zelmo::link
