#include "link/response_wait.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include <algorithm>
#include <vector>

#include "protocol/frames.h"
#include "sim_link.h"
#include "tools/simboard/board_model.h"

namespace zelmo::link {
namespace {

using sim::BoardModel;
using sim::FakeClock;
using sim::SimLink;

struct Waiting {
  explicit Waiting(bool i2c, sim::Faults faults = {})
      : board(std::move(faults)), link(board, clock, i2c) {
    board.Receive(protocol::kI2CResetBytes);  // into the bootloader
  }

  int Wait(std::span<std::uint8_t> destination, int minimum, int budget) {
    return WaitForResponse(link, clock, destination, minimum, budget);
  }
  // A reply that the board has ready: the EEPROM read's 64 bytes.
  void AskForEEPROM() {
    const std::uint8_t request = protocol::kReadEEPROM;
    board.Receive(std::span<const std::uint8_t>(&request, 1));
  }

  BoardModel board;
  FakeClock clock;
  SimLink link;
};

// An empty serial port: one 100 ms pause, then polls each followed by 10 ms.
TEST(WaitForResponse, PollsChargedToTheBudget) {
  const struct {
    int budget;
    long polls;
  } cases[] = {{5000, 490}, {10000, 990}, {20000, 1990}, {100, 0}, {0, 0}, {-5, 0}, {105, 1}};
  for (const auto& c : cases) {
    Waiting waiting(false);
    std::array<std::uint8_t, 64> buffer{};
    EXPECT_EQ(waiting.Wait(buffer, 1, c.budget), 0);
    const auto& pauses = waiting.clock.Pauses();
    ASSERT_FALSE(pauses.empty());
    EXPECT_EQ(pauses.front(), 100);
    EXPECT_EQ(std::count(pauses.begin(), pauses.end(), 10), c.polls) << c.budget;
    EXPECT_EQ(static_cast<long>(pauses.size()), c.polls + 1) << c.budget;
  }
}

TEST(WaitForResponse, ReplyCompleteAtTheFirstPoll) {
  for (const bool i2c : {false, true}) {
    Waiting waiting(i2c);
    waiting.AskForEEPROM();
    std::array<std::uint8_t, 64> buffer{};
    const int got = waiting.Wait(buffer, 64, 10000);
    EXPECT_EQ(got, 64);
    // Serial: one read gathers it all; I2C: one byte a poll, 63 pauses.
    const std::vector<int> serial = {100};
    std::vector<int> i2c_pauses(64, 10);
    i2c_pauses.front() = 100;
    EXPECT_EQ(waiting.clock.Pauses(), i2c ? i2c_pauses : serial) << i2c;
  }
}

TEST(WaitForResponse, SerialGathersPiecesAndMayReadMoreThanTheMinimum) {
  Waiting waiting(false, sim::Faults{.piece_size = 20});
  waiting.AskForEEPROM();
  std::array<std::uint8_t, 64> buffer{};
  EXPECT_EQ(waiting.Wait(buffer, 64, 10000), 64);
  EXPECT_EQ(waiting.clock.Pauses(), (std::vector<int>{100, 10, 10, 10}));
  EXPECT_EQ(buffer[63], 0xFF);

  Waiting more(false);
  more.AskForEEPROM();
  std::array<std::uint8_t, 256> big{};
  EXPECT_EQ(more.Wait(big, 1, 5000), 64);
}

TEST(WaitForResponse, SerialNeverStoresPastTheDestination) {
  Waiting waiting(false);
  waiting.AskForEEPROM();
  waiting.AskForEEPROM();
  std::array<std::uint8_t, 70> buffer{};
  buffer.fill(0x77);
  EXPECT_EQ(waiting.Wait(std::span<std::uint8_t>(buffer).first(64), 64, 10000), 64);
  EXPECT_TRUE(std::all_of(buffer.begin() + 64, buffer.end(), [](auto b) { return b == 0x77; }));
  EXPECT_EQ(waiting.board.Output().size(), 64U);  // left for the next read
}

TEST(WaitForResponse, I2CNotReadyOnlyBeforeTheFirstByte) {
  Waiting waiting(true, sim::Faults{.not_ready = 2});
  waiting.board.SetEEPROMByte(1, protocol::kNotReady);
  waiting.board.SetEEPROMByte(5, protocol::kNotReady);
  waiting.AskForEEPROM();
  std::array<std::uint8_t, 64> buffer{};
  EXPECT_EQ(waiting.Wait(buffer, 64, 10000), 64);
  EXPECT_EQ(buffer[1], protocol::kNotReady);
  EXPECT_EQ(buffer[5], protocol::kNotReady);
  EXPECT_EQ(waiting.link.ReceiveBytes(), 66);
  EXPECT_EQ(waiting.clock.Pauses().size(), 64U);  // not-ready reads cost no pause
}

TEST(WaitForResponse, I2CSyncAfterNotReady) {
  Waiting waiting(true, sim::Faults{.not_ready = 2});
  waiting.board.Receive(protocol::kSyncRequest);
  std::array<std::uint8_t, 256> buffer{};
  EXPECT_EQ(waiting.Wait(buffer, 1, 5000), 1);
  EXPECT_EQ(buffer[0], protocol::kSyncAccepted);
  EXPECT_EQ(waiting.clock.Pauses(), std::vector<int>{100});
}

// A board that never gets ready must not hold the run forever.
TEST(WaitForResponse, I2CEndlessNotReadyEndsAfterTheBudget) {
  Waiting waiting(true);
  std::array<std::uint8_t, 64> buffer{};
  EXPECT_EQ(waiting.Wait(buffer, 1, 5000), 0);
  EXPECT_GT(waiting.clock.NowMs(), 5000);
  EXPECT_LT(waiting.clock.NowMs(), 5010);
  EXPECT_EQ(waiting.clock.Pauses(), std::vector<int>{100});
}

TEST(WaitForResponse, I2CFailedTransferIsHandedUp) {
  Waiting waiting(true, sim::Faults{.i2c_fail_after = 0});
  std::array<std::uint8_t, 64> buffer{};
  EXPECT_EQ(waiting.Wait(buffer, 1, 5000), kTransferFailed);
  EXPECT_EQ(errno, ENXIO);  // for the driver's "poll failed" text
}

// The first Ctrl-C of an update is survived: the pause it lands in must
// still be slept whole.
TEST(RealClock, ASignalDoesNotCutAPauseShort) {
  std::signal(SIGALRM, [](int) {});  // nanosleep returns early, SA_RESTART or not
  ualarm(20000, 0);
  RealClock clock;
  const std::int64_t started = clock.NowMs();
  clock.Sleep(100);
  EXPECT_GE(clock.NowMs() - started, 100);
}

}  // namespace
}  // namespace zelmo::link
