#include "tools/simboard/sim_link.h"

#include <algorithm>
#include <cerrno>

#include "protocol/frames.h"

namespace zelmo::sim {

long SimLink::WriteBlock(const std::uint8_t* data, std::size_t length) {
  const std::span<const std::uint8_t> frame(data, length);
  transfers_.push_back({Transfer::Kind::kWrite, {frame.begin(), frame.end()}});
  board_.Receive(frame);
  return static_cast<long>(length);
}

int SimLink::ReadBlock(std::uint8_t* buffer, std::size_t size) {
  auto& output = board_.Output();
  std::size_t count = std::min(size, output.size());
  if (board_.GetFaults().piece_size > 0) count = std::min(count, board_.GetFaults().piece_size);
  std::copy_n(output.begin(), count, buffer);
  output.erase(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(count));
  return static_cast<int>(count);
}

void SimLink::SendByte(std::uint8_t value) {
  transfers_.push_back({Transfer::Kind::kSendByte, {value}});
  board_.Receive(std::span<const std::uint8_t>(&value, 1));
}

// A slave with nothing to say yet answers not-ready; one that has gone
// away does not acknowledge its address.
int SimLink::ReceiveByte() {
  clock_.Advance(kReceiveByteMicros);
  const int limit = board_.GetFaults().i2c_fail_after;
  if (limit >= 0 && receive_bytes_ >= limit) {
    errno = ENXIO;
    return -1;
  }
  ++receive_bytes_;
  auto& output = board_.Output();
  if (output.empty() || board_.TakeNotReady()) return protocol::kNotReady;
  const std::uint8_t value = output.front();
  output.pop_front();
  return value;
}

}  // namespace zelmo::sim
