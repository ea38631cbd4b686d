// The whole update against the simulated board, in-process: the frames on
// the wire, the messages, the endings and the pauses.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <regex>

#include "update_bench.h"
#include "wire_frames.h"

namespace zelmo::testing {
namespace {

const Bytes kReadEEPROM = {0x10};

std::string Displays(std::uint16_t from, std::uint16_t to, int step) {
  std::string text;
  for (int a = from; step > 0 ? a < to : a >= to; a += step) {
    std::array<char, 8> line{};
    std::snprintf(line.data(), line.size(), "%04x\r", a);
    text += line.data();
  }
  return text;
}

const std::string kReadDisplays = Displays(0x0200, 0x1000, 32);
const std::string kHead =
    "Sending Reset Request\nReading EEPROM from PIC\nEEPROM is up to date\n"
    "Reading Code from PIC\n";

TEST(Update, FullUpdateFrameByFrame) {
  UpdateBench bench;
  bench.SetBlock(0x0FE0, 0x0100);
  bench.SetBlock(0x0400, 0x2000);
  bench.SetBlock(0x0200, 0x3000);
  bench.board.SetFlashWord(0x0800, 0x1234);  // old firmware elsewhere

  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, kHead + kReadDisplays +
                             "\nCode is out of date, updating\nErasing...\nErase Complete\n"
                             "Programming...\n0fe0\r0400\r0200\r\n"
                             "Programming Complete - Verifying Code\n" +
                             kReadDisplays + "Verified OK\n");

  std::vector<Bytes> expected = {kReset, kSync, kReadEEPROM};
  const auto reads = ApplicationReads();
  expected.insert(expected.end(), reads.begin(), reads.end());
  expected.push_back({0x04});
  const auto writes = bench.Writes();
  for (const std::uint16_t address :
       {std::uint16_t{0x0FE0}, std::uint16_t{0x0400}, std::uint16_t{0x0200}}) {
    protocol::WriteFrame frame{};
    protocol::BuildWriteCodeBlock(
        frame, address, std::span<const std::uint16_t>(*bench.image).subspan(address).first<32>());
    expected.emplace_back(frame.begin(), frame.end());
  }
  expected.insert(expected.end(), reads.begin(), reads.end());
  expected.push_back({0x08});
  EXPECT_EQ(writes, expected);

  for (std::size_t a = 0x0200; a < 0x1000; ++a)
    ASSERT_EQ(bench.board.FlashWord(a), (*bench.image)[a]) << a;
  EXPECT_TRUE(bench.board.Started());
  EXPECT_EQ(bench.board.Violations(), 0);
}

TEST(Update, UpToDateBoardIsLeftAlone) {
  UpdateBench bench;
  bench.SetBlock(0x0A00, 0x0123);
  bench.BoardHoldsImage();
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(outcome.out, kHead + kReadDisplays + "\nCode is up to date\n");
  const auto writes = bench.Writes();
  EXPECT_EQ(writes.size(), 3U + 112U);
  EXPECT_EQ(CountCommand(writes, 0x04) + CountCommand(writes, 0x01) + CountCommand(writes, 0x08),
            0U);
  EXPECT_FALSE(bench.board.Started());
}

// At a terminal each phase counts up to 100 % with the time left from its
// own pace; the texts stay as they are, those after a display clear its line.
TEST(Update, ProgressAtATerminalOnEitherLink) {
  const std::regex display("([0-9a-f]{4}) +[0-9]+/[0-9]+ blocks +([0-9]+)%[^\r]*\x1b\\[K\r");
  for (const bool i2c : {false, true}) {
    std::string out[2];
    for (const bool terminal : {false, true}) {
      UpdateBench bench(sim::Faults{.checksum_error_block = 0x0400, .checksum_errors = 1}, i2c);
      bench.console.terminal = terminal;
      bench.SetBlock(0x0400, 0x2000);
      EXPECT_EQ(bench.Run().status, 0);
      out[terminal ? 1 : 0] = bench.console.Out();
    }
    std::vector<int> percent;  // 112 blocks read, 1 programmed, 112 verified
    for (std::sregex_iterator it(out[1].begin(), out[1].end(), display), end; it != end; ++it)
      percent.push_back(std::stoi((*it)[2]));
    ASSERT_EQ(percent.size(), 225U) << i2c;
    const auto phase = [&](std::size_t from, std::size_t to) {
      return std::is_sorted(percent.data() + from, percent.data() + to) && percent[to - 1] == 100;
    };
    EXPECT_TRUE(phase(0, 112) && phase(112, 113) && phase(113, 225)) << i2c;
    // The serial board answers each read after the first 100 ms pause.
    EXPECT_TRUE(i2c ||
                out[1].find("0360   12/112 blocks  11%  0:10 left\x1b[K\r") != std::string::npos);
    EXPECT_NE(out[1].find("\x1b[KChecksum Error transfering data to TNC\n"), std::string::npos);
    EXPECT_TRUE(out[1].ends_with("\x1b[KVerified OK\n"));
    EXPECT_EQ(
        std::regex_replace(std::regex_replace(out[1], display, "$1\r"), std::regex("\x1b\\[K"), ""),
        out[0])
        << i2c;
  }
}

// Every exchange costs one 100 ms pause when the board answers at once;
// the handshake adds its two.
TEST(Update, PausesOfAnUpToDateRun) {
  UpdateBench bench;
  bench.BoardHoldsImage();
  bench.Run();
  const std::vector<int> expected(2 + 1 + 1 + 112, 100);
  EXPECT_EQ(bench.clock.Pauses(), expected);
}

TEST(Update, SingleBlockAndBlankBlocks) {
  UpdateBench bench;
  bench.SetBlock(0x0400, 0x0000);
  // Sums to 32 x 0x3FFF, so it counts as blank and is not written.
  (*bench.image)[0x0600] = 0x3FFE;
  (*bench.image)[0x0601] = 0x4000;
  const Outcome outcome = bench.Run();
  const auto writes = bench.Writes();
  ASSERT_EQ(CountCommand(writes, 0x01), 1U);
  const auto write =
      std::find_if(writes.begin(), writes.end(), [](const Bytes& f) { return f.size() == 68; });
  EXPECT_EQ((*write)[1], 0x04);
  EXPECT_EQ((*write)[2], 0x00);
  EXPECT_NE(outcome.out.find("Programming...\n0400\r\nProgramming Complete"), std::string::npos);
  // The words that were not written read back blank, so verification fails.
  EXPECT_EQ(outcome.status, 1);
}

TEST(Update, WordsAboveFourteenBitsAreProgrammedButDoNotVerify) {
  UpdateBench bench;
  std::fill_n(bench.image->begin() + 0x0700, 32, 0xFFFF);
  const Outcome outcome = bench.Run();
  EXPECT_EQ(CountCommand(bench.Writes(), 0x01), 1U);
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(CountCommand(bench.Writes(), 0x08), 0U);
}

TEST(Update, BlankImageAgainstProgrammedBoard) {
  UpdateBench bench;
  bench.board.SetFlashWord(0x0300, 0x0042);
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 0);
  const auto writes = bench.Writes();
  EXPECT_EQ(CountCommand(writes, 0x04), 1U);
  EXPECT_EQ(CountCommand(writes, 0x01), 0U);
  EXPECT_EQ(writes.back(), Bytes{0x08});
  EXPECT_NE(outcome.out.find("Programming...\n\nProgramming Complete"), std::string::npos);
  EXPECT_EQ(bench.board.FlashWord(0x0300), 0x3FFF);
}

TEST(Update, ChecksumErrorSendsTheSameFrameAgain) {
  UpdateBench bench(sim::Faults{.checksum_error_block = 0x0400, .checksum_errors = 2});
  bench.SetBlock(0x0400, 0x0000);
  bench.SetBlock(0x0200, 0x0100);
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_NE(outcome.out.find("0400\rChecksum Error transfering data to TNC\n"
                             "Checksum Error transfering data to TNC\n0200\r\n"),
            std::string::npos);
  const std::vector<Bytes> block_writes = BlockWrites(bench.Writes());
  ASSERT_EQ(block_writes.size(), 4U);
  EXPECT_EQ(block_writes[0], block_writes[1]);
  EXPECT_EQ(block_writes[1], block_writes[2]);
  EXPECT_EQ(block_writes[3][1], 0x02);
}

TEST(Update, FailedVerificationEndsSilentlyWithoutStarting) {
  UpdateBench bench(sim::Faults{.bad_word = 0x0211});
  bench.SetBlock(0x0200, 0x0100);
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(outcome.out.ends_with("Programming Complete - Verifying Code\n" + kReadDisplays));
  EXPECT_EQ(CountCommand(bench.Writes(), 0x08), 0U);
  EXPECT_FALSE(bench.board.Started());
}

TEST(Update, TimeoutsEndTheRun) {
  const struct {
    int request;
    int from;
    const char* tail;
    std::size_t pauses_after;  // pauses of the wait that timed out
  } cases[] = {
      {0x10, 0, "Reading EEPROM from PIC\nTimeout reading EEPROM\n", 991},
      {0x20, 0, "Updating EEPROM\nTimeout updating EEPROM\n", 491},
      {0x10, 1, "Verifying EEPROM\nTimeout reading EEPROM\n", 991},
      {0x02, 0, "Reading Code from PIC\nTimeout reading code\n", 991},
      {0x02, 3, "0240\rTimeout reading code\n", 991},
      {0x04, 0, "Erasing...\nTimeout Erasing\n", 1991},
      {0x01, 0, "Programming...\n0fe0\rTimeout writing to Flash\n", 991},
      {0x02, 112 + 111, "0fc0\rTimeout reading code\n", 991},
  };
  for (const auto& c : cases) {
    UpdateBench bench(sim::Faults{.silent_request = c.request, .silent_from = c.from});
    bench.SetBlock(0x0FE0, 0x0000);
    bench.board.SetEEPROMByte(3, 0x00);
    const Outcome outcome = bench.Run();
    EXPECT_EQ(outcome.status, 1) << c.tail;
    EXPECT_TRUE(outcome.out.ends_with(c.tail)) << outcome.out.substr(outcome.out.size() - 80);
    const auto& pauses = bench.clock.Pauses();
    const auto last_wait = std::find(pauses.rbegin(), pauses.rend(), 100);
    EXPECT_EQ(static_cast<std::size_t>(last_wait - pauses.rbegin()) + 1, c.pauses_after) << c.tail;
  }
}

// A slow port hands each reply over one byte per poll.
TEST(Update, RepliesArrivingByteByByte) {
  UpdateBench bench(sim::Faults{.piece_size = 1});
  bench.SetBlock(0x0600, 0x1000);
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 0);
  EXPECT_TRUE(outcome.out.ends_with("Verified OK\n"));
  EXPECT_EQ(bench.board.FlashWord(0x061F), 0x101F);
  const auto& pauses = bench.clock.Pauses();
  // Every 64-byte read: the first pause and 63 polls that came up short.
  EXPECT_EQ(std::count(pauses.begin(), pauses.end(), 10), (1 + 2 * 112) * 63);
}

// A full-chip image holds the bootloader's words too, the reset vector
// and 0x01E0-0x01FF among them: the programming loop must stop at 0x0200.
TEST(Update, WordsBelowTheApplicationAreNeverWritten) {
  UpdateBench bench;
  for (std::uint16_t a = 0x0000; a < 0x0200; ++a) (*bench.image)[a] = static_cast<std::uint16_t>(a);
  bench.SetBlock(0x0200, 0x1000);
  bench.SetBlock(0x0E00, 0x1100);
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 0);
  const std::vector<Bytes> writes = BlockWrites(bench.Writes());
  std::vector<unsigned> written(writes.size());
  std::transform(writes.begin(), writes.end(), written.begin(),
                 [](const Bytes& frame) { return (unsigned{frame[1]} << 8U) | frame[2]; });
  EXPECT_EQ(written, (std::vector<unsigned>{0x0E00, 0x0200}));
  EXPECT_EQ(bench.board.Violations(), 0);
  EXPECT_TRUE(outcome.out.ends_with("Verified OK\n"));
}

TEST(EEPROMPhase, OneDifferingByteIsWrittenThenAllReadAgain) {
  UpdateBench bench;
  bench.BoardHoldsImage();
  (*bench.image)[0xF005] = 0x00A5;
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 0);
  const auto writes = bench.Writes();
  const std::vector<Bytes> head(writes.begin(), writes.begin() + 5);
  EXPECT_EQ(head,
            (std::vector<Bytes>{kReset, kSync, kReadEEPROM, {0x20, 0xA5, 0x05}, kReadEEPROM}));
  EXPECT_EQ(bench.board.EEPROMByte(5), 0xA5);
  EXPECT_TRUE(
      outcome.out.starts_with("Sending Reset Request\nReading EEPROM from PIC\nUpdating "
                              "EEPROM\nVerifying EEPROM\nEEPROM ok\n"
                              "Reading Code from PIC\n"));
}

TEST(EEPROMPhase, ImageWithoutEEPROMDataErasesItToFF) {
  UpdateBench bench;
  for (std::size_t k = 0; k < 64; k += 9)
    bench.board.SetEEPROMByte(k, static_cast<std::uint8_t>(k));
  EXPECT_EQ(bench.Run().status, 0);
  EXPECT_EQ(CountCommand(bench.Writes(), 0x20), 8U);
  for (std::size_t k = 0; k < 64; ++k) EXPECT_EQ(bench.board.EEPROMByte(k), 0xFF);
}

TEST(EEPROMPhase, WritesThatDoNotStickLeaveTheCodeUntouched) {
  UpdateBench bench(sim::Faults{.lose_eeprom_writes = true});
  (*bench.image)[0xF000] = 0x0001;
  bench.SetBlock(0x0200, 0);
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 1);
  EXPECT_TRUE(outcome.out.ends_with("Verifying EEPROM\nEEPROM update failed\n"));
  EXPECT_EQ(CountCommand(bench.Writes(), 0x02), 0U);
}

TEST(Handshake, AnyAnswerButAAEndsSilently) {
  const struct {
    sim::Faults faults;
    const char* name;
  } cases[] = {
      {sim::Faults{.sync_answer = 0x55}, "checksum error answer"},
      {sim::Faults{.stale_bytes = {0x41, 0x42}}, "stale bytes from the firmware"},
  };
  for (const auto& c : cases) {
    UpdateBench bench(c.faults);
    const Outcome outcome = bench.Run();
    EXPECT_EQ(outcome.status, 1) << c.name;
    EXPECT_EQ(outcome.out, "Sending Reset Request\n") << c.name;
    EXPECT_EQ(bench.Writes(), (std::vector<Bytes>{kReset, kSync})) << c.name;
  }
}

TEST(Handshake, SerialLinkAsksAgainUntilTheBootloaderAnswers) {
  UpdateBench bench(sim::Faults{.silent_request = 0xC0, .silent_count = 5});
  bench.BoardHoldsImage();
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 0);
  std::string six;
  for (int i = 0; i < 6; ++i) six += "Sending Reset Request\n";
  EXPECT_TRUE(outcome.out.starts_with(six + "Reading EEPROM"));
  // Each unanswered attempt: 100 + 100 ms, then the whole 5000 ms wait.
  const auto& pauses = bench.clock.Pauses();
  EXPECT_EQ(std::count(pauses.begin(), pauses.end(), 10), 5 * 490);
}

TEST(I2C, FullUpdateWithNotReadyBytes) {
  UpdateBench bench(sim::Faults{.not_ready = 3}, true);
  bench.SetBlock(0x0800, 0x0100);
  (*bench.image)[0xF010] = 0x0033;
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 0) << outcome.out;
  EXPECT_TRUE(outcome.out.ends_with("Verified OK\n"));
  const auto& transfers = bench.link.Transfers();
  ASSERT_GE(transfers.size(), 4U);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(transfers[i].kind, sim::Transfer::Kind::kSendByte);
    EXPECT_EQ(transfers[i].bytes, Bytes{protocol::kI2CResetBytes[i]});
  }
  EXPECT_EQ(transfers[3].bytes, kSync);
  EXPECT_EQ(bench.board.FlashWord(0x0805), 0x0105);
}

TEST(I2C, SlaveThatDoesNotAnswer) {
  UpdateBench bench(sim::Faults{.i2c_fail_after = 0}, true);
  const Outcome outcome = bench.Run();
  EXPECT_EQ(outcome.status, 1);
  EXPECT_EQ(outcome.out, "Sending Reset Request\n");
  EXPECT_EQ(outcome.err, "poll failed: No such device or address\n");
}

}  // namespace
}  // namespace zelmo::testing
