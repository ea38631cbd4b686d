#include "fuzz/chaos_link.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "image/word_image.h"
#include "protocol/frames.h"

namespace zelmo::fuzz {
namespace {

using Frame = std::vector<std::uint8_t>;

using image::kApplicationEnd;
using image::kApplicationStart;
using protocol::kBlockWords;
constexpr std::size_t kBlockReads = (kApplicationEnd - kApplicationStart) / kBlockWords;

bool IsBlockAddress(std::uint8_t high, std::uint8_t low) {
  const unsigned address = protocol::WordFromWire(high, low);
  return address >= kApplicationStart && address < kApplicationEnd && address % kBlockWords == 0;
}

bool IsBlockWrite(const Frame& frame) {
  const std::span<const std::uint8_t> covered(frame.begin() + 1, frame.end() - 1);
  return IsBlockAddress(frame[1], frame[2]) && protocol::FrameChecksum(covered) == frame.back();
}

bool IsKnownFrame(const Frame& frame, bool i2c) {
  if (frame == Frame(protocol::kSyncRequest.begin(), protocol::kSyncRequest.end())) return true;
  const Frame reset(protocol::kSerialResetRequest.begin(), protocol::kSerialResetRequest.end());
  if (!i2c && frame == reset) return true;
  if (frame.size() != protocol::RequestLength(frame.front())) return false;
  switch (frame.front()) {
    case protocol::kWriteEEPROMByte:
      return frame[2] < 64;
    case protocol::kReadCodeBlock:
      return IsBlockAddress(frame[1], frame[2]);
    case protocol::kWriteCodeBlock:
      return IsBlockWrite(frame);
    default:
      return true;
  }
}

}  // namespace

void Violation(const char* what) {
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// Send-byte transfers are the link's own reset request, not the updater's.
void ChaosLink::Given(const sim::Transfer& transfer) {
  if (transfer.kind != sim::Transfer::Kind::kWrite) return;
  const Frame& frame = transfer.bytes;
  CheckFrame(frame);
  frames_.push_back(frame);
  if (frame == Frame{protocol::kErase}) erased_ = true;
  if (frames_.size() > kMaxWrites) throw ExchangeCapReached{};
}

void ChaosLink::CheckFrame(const Frame& frame) const {
  if (frame.empty() || !IsKnownFrame(frame, IsI2C())) Violation("unknown frame");
  if (!frames_.empty() && frames_.back() == Frame{protocol::kRun}) Violation("frame after run");
  if (frame.front() == protocol::kWriteCodeBlock && !erased_) Violation("write before erase");
  if (frame.size() == 1) CheckEraseOrRun(frame.front());
}

void ChaosLink::CheckEraseOrRun(std::uint8_t code) const {
  if (code != protocol::kErase && code != protocol::kRun) return;
  if (!FollowsCompleteRead()) Violation("erase or run without a complete read-back");
  if (code == protocol::kErase && !read_back_differs()) Violation("erase of an equal board");
  if (code == protocol::kRun &&
      ((!erased_ && !start_allowed) || (read_back_differs() && !may_start_differing()))) {
    Violation("run without a matching verification");
  }
}

// The last 112 frames read the application region, 0x0200 up to 0x0FE0.
bool ChaosLink::FollowsCompleteRead() const {
  if (frames_.size() < kBlockReads) return false;
  std::uint16_t expected = kApplicationStart;
  for (auto frame = frames_.end() - kBlockReads; frame != frames_.end(); ++frame) {
    const Frame read = {protocol::kReadCodeBlock, protocol::HighByte(expected),
                        protocol::LowByte(expected)};
    if (*frame != read) return false;
    expected += kBlockWords;
  }
  return true;
}

// What the fuzz input does to the reply the board just queued.
void ChaosLink::Answered(std::deque<std::uint8_t>& output) {
  const std::uint8_t action = chaos_.Next();
  if (silent_) output.clear();
  if (output.empty()) return;
  const std::uint8_t amount = chaos_.Next();
  switch (action % 12) {
    case 4:
      output.clear();
      break;
    case 5:
      output[amount % output.size()] ^= static_cast<std::uint8_t>(chaos_.Next() | 1U);
      break;
    case 6:
      output.resize(output.size() - 1 - amount % output.size());
      break;
    case 7:
      output.insert(output.end(), 1 + amount % 70, chaos_.Next());
      break;
    case 8:
      output.assign(1, protocol::kChecksumError);
      break;
    case 9:
      output.insert(output.begin(), amount, protocol::kNotReady);
      break;
    case 10:
      silent_ = true;
      output.clear();
      break;
    default:
      break;  // the reply as the board gave it
  }
}

}  // namespace zelmo::fuzz
