#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <vector>

namespace zelmo::protocol {
namespace {

std::vector<std::uint8_t> Built(const Block& block, std::size_t length) {
  return {block.begin(), block.begin() + static_cast<std::ptrdiff_t>(length)};
}

TEST(Frames, ShortRequests) {
  Block block{};
  using Bytes = std::vector<std::uint8_t>;
  EXPECT_EQ(Built(block, BuildResetRequest(block)), (Bytes{0xC0, 0xC0, 0x0F, 0x02}));
  EXPECT_EQ(Built(block, BuildSyncRequest(block)), (Bytes{0xC0, 0x55, 0xAA}));
  EXPECT_EQ(Built(block, BuildReadEEPROM(block)), (Bytes{0x10}));
  EXPECT_EQ(Built(block, BuildWriteEEPROMByte(block, 0xA5, 5)), (Bytes{0x20, 0xA5, 0x05}));
  EXPECT_EQ(Built(block, BuildReadCodeBlock(block, 0x0FE0)), (Bytes{0x02, 0x0F, 0xE0}));
  EXPECT_EQ(Built(block, BuildErase(block)), (Bytes{0x04}));
  EXPECT_EQ(Built(block, BuildRun(block)), (Bytes{0x08}));
}

TEST(Frames, BlockWriteByteForByte) {
  std::array<std::uint16_t, kBlockWords> words{};
  for (std::size_t i = 0; i < words.size(); ++i) words[i] = static_cast<std::uint16_t>(0x3000 + i);
  words[31] = 0x3FFF;
  WriteFrame frame{};
  BuildWriteCodeBlock(frame, 0x0420, words);

  WriteFrame expected{};
  expected[0] = 0x01;
  expected[1] = 0x04;
  expected[2] = 0x20;
  std::uint8_t sum = 0x04 ^ 0x20;
  for (std::size_t i = 0; i < 32; ++i) {
    const std::uint8_t high = i == 31 ? 0x3F : 0x30;
    const std::uint8_t low = i == 31 ? 0xFF : static_cast<std::uint8_t>(i);
    expected[3 + 2 * i] = high;
    expected[4 + 2 * i] = low;
    sum = static_cast<std::uint8_t>(sum ^ high ^ low);
  }
  expected[67] = sum;
  EXPECT_EQ(frame, expected);
}

// A blank block at 0x0200: 32 pairs 3F FF cancel out, leaving 02 ^ 00.
TEST(Frames, ChecksumLeavesOutTheCommandByte) {
  std::array<std::uint16_t, kBlockWords> blank{};
  blank.fill(0x3FFF);
  WriteFrame frame{};
  BuildWriteCodeBlock(frame, 0x0200, blank);
  EXPECT_EQ(frame[67], 0x02);
  EXPECT_EQ(frame[3], 0x3F);
  EXPECT_EQ(frame[4], 0xFF);
}

}  // namespace
}  // namespace zelmo::protocol
