// The real program against the simulated board on a pseudo-terminal, in
// real time. Each case takes seconds, so only a handful live here; ctest
// runs them side by side.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "board_process.h"
#include "process.h"
#include "protocol/frames.h"
#include "wire_frames.h"

namespace zelmo::testing {
namespace {

const std::string kExample = ZELMO_EXAMPLE_HEX;

struct Session {
  std::string port;
  ProcessResult result;
  std::vector<Bytes> frames;  // as the board received them
};

Bytes ParseFrame(const std::string& text) {
  std::istringstream fields(text);
  Bytes frame;
  unsigned value = 0;
  while (fields >> std::hex >> value) frame.push_back(static_cast<std::uint8_t>(value));
  return frame;
}

// Flashes the example image onto a board set up with the given options.
Session Flash(const std::vector<std::string>& board_options,
              std::vector<std::string> options = {}) {
  Board board(board_options);
  Session session;
  session.port = board.Port();
  options.insert(options.begin(), ZELMO_FLASH_BINARY);
  options.insert(options.end(), {session.port, "0", kExample});
  session.result = RunProcess(Wrapped(options), ProcessOptions{.timeout_seconds = 120});
  for (const std::string& frame : board.Frames()) session.frames.push_back(ParseFrame(frame));
  return session;
}

Bytes WriteFrameOf(const Session& session, std::uint8_t high, std::uint8_t low) {
  const auto writes = BlockWrites(session.frames);
  const auto found = std::find_if(writes.begin(), writes.end(), [&](const Bytes& frame) {
    return frame[1] == high && frame[2] == low;
  });
  return found != writes.end() ? *found : Bytes{};
}

TEST(EndToEnd, FullUpdateOfABlankBoard) {
  const Session session = Flash({});
  EXPECT_EQ(session.result.status, 0);
  EXPECT_TRUE(session.result.out.ends_with("0fe0\rVerified OK\n")) << session.result.out;
  EXPECT_NE(session.result.out.find("Updating EEPROM\nVerifying EEPROM\nEEPROM ok\n"),
            std::string::npos);

  std::vector<Bytes> expected = {kReset, kSync, {0x10}};
  // The example's EEPROM: 50, 63, 10, 1, 0 over a blank (FF) board.
  const std::vector<Bytes> eeprom_writes = {
      {0x20, 50, 0}, {0x20, 63, 1}, {0x20, 10, 2}, {0x20, 1, 3}, {0x20, 0, 4}};
  expected.insert(expected.end(), eeprom_writes.begin(), eeprom_writes.end());
  expected.push_back({0x10});
  const auto reads = ApplicationReads();
  expected.insert(expected.end(), reads.begin(), reads.end());
  expected.push_back({0x04});
  for (const auto& [high, low] :
       {std::pair{0x0F, 0xE0}, std::pair{0x04, 0x00}, std::pair{0x02, 0x00}}) {
    const Bytes frame =
        WriteFrameOf(session, static_cast<std::uint8_t>(high), static_cast<std::uint8_t>(low));
    ASSERT_EQ(frame.size(), 68U) << high;
    expected.push_back(frame);
  }
  expected.insert(expected.end(), reads.begin(), reads.end());
  expected.push_back({0x08});
  EXPECT_EQ(session.frames, expected);

  // First words of the example, high byte first; the checksum as sent.
  const Bytes top = WriteFrameOf(session, 0x02, 0x00);
  ASSERT_EQ(top.size(), 68U);
  EXPECT_EQ((Bytes{top[3], top[4], top[5], top[6]}), (Bytes{0x16, 0x83, 0x13, 0x03}));
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < 67; ++i) sum ^= top[i];
  EXPECT_EQ(top[67], sum);
}

TEST(EndToEnd, UpToDateBoardInSlowPieces) {
  const Session session = Flash({"--hex", kExample, "--pieces", "16:30"});
  EXPECT_EQ(session.result.status, 0);
  EXPECT_TRUE(session.result.out.ends_with("0fe0\r\nCode is up to date\n")) << session.result.out;
  EXPECT_EQ(session.frames.size(), 3U + 112U);
}

TEST(EndToEnd, ChecksumErrorIsRetriedWithTheSameFrame) {
  const Session session = Flash({"--checksum-errors", "400:1"});
  EXPECT_EQ(session.result.status, 0);
  EXPECT_NE(session.result.out.find("0400\rChecksum Error transfering data to TNC\n0200\r"),
            std::string::npos);
  const std::vector<Bytes> writes = BlockWrites(session.frames);
  ASSERT_EQ(writes.size(), 4U);
  EXPECT_EQ(writes[1], writes[2]);
}

TEST(EndToEnd, FailedVerificationEndsWithStatusOne) {
  const Session session = Flash({"--bad-word", "201"});
  EXPECT_EQ(session.result.status, 1);
  EXPECT_TRUE(session.result.out.ends_with("0fc0\r0fe0\r")) << session.result.out;
  ASSERT_FALSE(session.frames.empty());
  EXPECT_NE(session.frames.back(), Bytes{0x08});
}

// The second block write goes unanswered: the next try finds the board
// half written and finishes it.
TEST(EndToEnd, AMissedReplyCostsATry) {
  const Session session = Flash({"--silent", "01:1:1"}, {"--retries", "1"});
  EXPECT_EQ(session.result.status, 0);
  EXPECT_NE(session.result.out.find("0400\rTimeout writing to Flash\nTrying again (1 of 1)\n"
                                    "Sending Reset Request\nReading EEPROM from PIC\nEEPROM is up "
                                    "to date\n"),
            std::string::npos)
      << session.result.out;
  EXPECT_TRUE(session.result.out.ends_with("0fe0\rVerified OK\n"));
  EXPECT_EQ(CountCommand(session.frames, protocol::kErase), 2U);
  EXPECT_EQ(session.frames.back(), Bytes{protocol::kRun});
}

TEST(EndToEnd, SilentBoardTimesOut) {
  const Session session = Flash({"--hex", kExample, "--silent", "10"});
  EXPECT_EQ(session.result.status, 1);
  EXPECT_EQ(session.result.out, "\nUsing Serial port " + session.port +
                                    "\nSending Reset Request\nReading EEPROM from PIC\n"
                                    "Timeout reading EEPROM\n");
}

// The terminal closes mid-run, as an unplugged USB adapter does: the run
// ends at the hang-up, saying so (a read meets end-of-file, or EIO while
// the kernel hangs the port up), not at a timeout.
TEST(EndToEnd, DeviceThatGoesAwayEndsTheRun) {
  const Session session = Flash({"--hex", kExample, "--vanish-after", "20"});
  EXPECT_EQ(session.result.status, 1);
  EXPECT_TRUE(session.result.out.ends_with("03e0\r" + session.port + " went away\n"))
      << session.result.out;
  EXPECT_TRUE(session.result.err.empty() || session.result.err == "read: Input/output error\n");
  EXPECT_EQ(session.frames.size(), 20U);
}

TEST(EndToEnd, BytesWaitingInThePortDecideTheHandshake) {
  const Session session = Flash({"--hex", kExample, "--stale", "41:54"});
  EXPECT_EQ(session.result.status, 1);
  EXPECT_TRUE(session.result.out.ends_with("Sending Reset Request\n"));
}

}  // namespace
}  // namespace zelmo::testing
