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

// A hung-up port reads as end-of-file and refuses writes, as a pulled
// USB adapter does; the reply to the last frame is lost with it.
bool SimLink::Reopen() {
  const int back = board_.GetFaults().back_after_opens;
  if (back < 0 || ++opens_ < back) return false;
  board_.PlugIn();
  board_.Output().clear();
  MarkFound();
  return true;
}

long SimLink::Write(std::span<const std::uint8_t> frame) {
  if (board_.Unplugged()) {
    MarkLost("write", EIO);
    errno = EIO;
    return -1;
  }
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
  if (board_.Unplugged()) {
    MarkLost("read", 0);
    return {.gone = true};
  }
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
