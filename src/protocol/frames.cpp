#include "protocol/frames.h"

#include <algorithm>
#include <initializer_list>
#include <numeric>

namespace zelmo::protocol {
namespace {

std::size_t Put(Block& block, std::initializer_list<std::uint8_t> bytes) {
  std::size_t length = 0;
  for (const std::uint8_t byte : bytes) block[length++] = byte;
  return length;
}

}  // namespace

template <std::size_t N>
std::size_t PutAll(Block& block, const std::array<std::uint8_t, N>& bytes) {
  std::copy(bytes.begin(), bytes.end(), block.begin());
  return N;
}

std::size_t BuildResetRequest(Block& block) { return PutAll(block, kSerialResetRequest); }
std::size_t BuildSyncRequest(Block& block) { return PutAll(block, kSyncRequest); }
std::size_t BuildReadEEPROM(Block& block) { return Put(block, {kReadEEPROM}); }

std::size_t BuildWriteEEPROMByte(Block& block, std::uint8_t value, std::uint8_t offset) {
  return Put(block, {kWriteEEPROMByte, value, offset});
}

std::size_t BuildReadCodeBlock(Block& block, std::uint16_t address) {
  return Put(block, {kReadCodeBlock, HighByte(address), LowByte(address)});
}

std::size_t BuildErase(Block& block) { return Put(block, {kErase}); }
std::size_t BuildRun(Block& block) { return Put(block, {kRun}); }

std::uint8_t FrameChecksum(std::span<const std::uint8_t> covered) {
  return std::accumulate(
      covered.begin(), covered.end(), std::uint8_t{0},
      [](std::uint8_t sum, std::uint8_t byte) { return static_cast<std::uint8_t>(sum ^ byte); });
}

void BuildWriteCodeBlock(WriteFrame& frame, std::uint16_t address,
                         std::span<const std::uint16_t, kBlockWords> words) {
  frame[0] = kWriteCodeBlock;
  frame[1] = HighByte(address);
  frame[2] = LowByte(address);
  for (std::size_t i = 0; i < kBlockWords; ++i) {
    frame[3 + 2 * i] = HighByte(words[i]);
    frame[4 + 2 * i] = LowByte(words[i]);
  }
  frame[kWriteFrameLength - 1] =
      FrameChecksum(std::span<const std::uint8_t>(frame).subspan(1, kWriteFrameLength - 2));
}

}  // namespace zelmo::protocol
