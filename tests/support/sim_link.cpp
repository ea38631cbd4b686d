#include "sim_link.h"

#include <algorithm>
#include <cerrno>

#include "protocol/frames.h"

namespace zelmo::sim {

void SimLink::Deliver(Transfer transfer) {
  Given(transfer);
  board_.Receive(transfer.bytes);
  transfers_.push_back(std::move(transfer));
}

long SimLink::Write(std::span<const std::uint8_t> frame) {
  Deliver({Transfer::Kind::kWrite, {frame.begin(), frame.end()}});
  Answered(board_.Output());
  return static_cast<long>(frame.size());
}

void SimLink::SendResetRequest() {
  if (!i2c_) {
    WriteResetFrame();
    return;
  }
  SendResetBytes([this](std::uint8_t byte) { Deliver({Transfer::Kind::kSendByte, {byte}}); });
}

bool SimLink::Acknowledges() { return board_.AcknowledgesReceive(); }

// A slave with nothing to say yet answers not-ready; one that has gone
// away does not acknowledge its address.
link::Polled SimLink::Poll(std::span<std::uint8_t> room, bool awaiting_first) {
  auto& output = board_.Output();
  if (!i2c_) {
    std::size_t count = std::min(room.size(), output.size());
    if (const std::size_t piece = PieceSize(); piece > 0) count = std::min(count, piece);
    std::copy_n(output.begin(), count, room.begin());
    output.erase(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(count));
    return {count};
  }
  clock_.Advance(kReceiveByteMicros);
  if (!Acknowledges()) {
    errno = ENXIO;
    return {.failed = true};
  }
  ++receive_bytes_;
  std::uint8_t value = protocol::kNotReady;
  if (!output.empty() && !board_.TakeNotReady()) {
    value = output.front();
    output.pop_front();
  }
  if (awaiting_first && value == protocol::kNotReady) return {.not_ready = true};
  room[0] = value;
  return {1};
}

}  // namespace zelmo::sim
