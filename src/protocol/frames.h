#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace zelmo::protocol {

// Replies with a meaning of their own.
constexpr std::uint8_t kSyncAccepted = 0xAA;
constexpr std::uint8_t kChecksumError = 0x55;
constexpr std::uint8_t kNotReady = 0x0E;  // I2C only, first byte of a reply

// Command codes: the first byte of every request but reset and sync.
constexpr std::uint8_t kWriteCodeBlock = 0x01;
constexpr std::uint8_t kReadCodeBlock = 0x02;
constexpr std::uint8_t kErase = 0x04;
constexpr std::uint8_t kRun = 0x08;
constexpr std::uint8_t kReadEEPROM = 0x10;
constexpr std::uint8_t kWriteEEPROMByte = 0x20;

// The first byte of the reset and sync requests, which have no command code.
constexpr std::uint8_t kFrameStart = 0xC0;

// The reset request's bytes after the serial link's leading C0; on I2C each
// goes out as a send-byte transfer.
constexpr std::array<std::uint8_t, 3> kI2CResetBytes = {kFrameStart, 0x0F, 0x02};
constexpr std::array<std::uint8_t, 4> kSerialResetRequest = {kFrameStart, kFrameStart, 0x0F, 0x02};
constexpr std::array<std::uint8_t, 3> kSyncRequest = {kFrameStart, 0x55, kSyncAccepted};

// The code blocks: 32 words, 64 bytes on the wire, each word high byte
// first.
constexpr std::size_t kBlockWords = 32;
constexpr int kBlockBytes = 2 * static_cast<int>(kBlockWords);
constexpr std::uint16_t WordFromWire(std::uint8_t first, std::uint8_t second) {
  return static_cast<std::uint16_t>((unsigned{first} << 8U) | second);
}
constexpr std::uint8_t HighByte(std::uint16_t word) {
  return static_cast<std::uint8_t>(word >> 8U);
}
constexpr std::uint8_t LowByte(std::uint16_t word) {
  return static_cast<std::uint8_t>(word & 0xFFU);
}

// The length of each request, by its command code: the code, its address
// or value and offset, a block's words and a checksum; 0 for no request.
constexpr std::size_t kWriteFrameLength = 3 + 2 * kBlockWords + 1;
constexpr std::size_t RequestLength(std::uint8_t code) {
  if (code == kWriteCodeBlock) return kWriteFrameLength;
  if (code == kReadCodeBlock || code == kWriteEEPROMByte) return 3;
  return code == kErase || code == kRun || code == kReadEEPROM ? 1 : 0;
}

// Time budgets of the replies (ms).
constexpr int kSyncBudget = 5000;
constexpr int kReadBudget = 10000;
constexpr int kEEPROMWriteBudget = 5000;
constexpr int kEraseBudget = 20000;
constexpr int kCodeWriteBudget = 10000;

constexpr std::size_t kScratchSize = 256;

using Block = std::array<std::uint8_t, kScratchSize>;
using WriteFrame = std::array<std::uint8_t, kWriteFrameLength>;

// Short requests are built in Block; each returns its length.
std::size_t BuildResetRequest(Block& block);
std::size_t BuildSyncRequest(Block& block);
std::size_t BuildReadEEPROM(Block& block);
std::size_t BuildWriteEEPROMByte(Block& block, std::uint8_t value, std::uint8_t offset);
std::size_t BuildReadCodeBlock(Block& block, std::uint16_t address);
std::size_t BuildErase(Block& block);
std::size_t BuildRun(Block& block);

// The 68-byte block write: 01, address, 32 words high byte first, and the
// exclusive-or of bytes 1 to 66.
void BuildWriteCodeBlock(WriteFrame& frame, std::uint16_t address,
                         std::span<const std::uint16_t, kBlockWords> words);

std::uint8_t FrameChecksum(std::span<const std::uint8_t> covered);

}  // namespace zelmo::protocol
