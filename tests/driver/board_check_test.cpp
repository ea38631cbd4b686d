// The check, the backup and the handshake's limit, in-process against the
// simulated board: the frames on the wire, the messages, the statuses and
// the file left behind.

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "driver/board_backup.h"
#include "image/hex_reader.h"
#include "temp_folder.h"
#include "update_bench.h"
#include "wire_frames.h"

namespace zelmo::testing {
namespace {

const std::string kDisplays = ApplicationReadDisplays();

// The frames of a check: the handshake and reads, nothing that changes the board.
std::vector<Bytes> CheckFrames() {
  std::vector<Bytes> frames = {kReset, kSync, {0x10}};
  const auto reads = ApplicationReads();
  frames.insert(frames.end(), reads.begin(), reads.end());
  return frames;
}

// A board with firmware and settings, and an image that matches it.
void ProgrammedBoard(UpdateBench& bench) {
  bench.SetBlock(0x0200, 0x0100);
  bench.SetBlock(0x0A40, 0x2000);
  for (std::size_t k = 0; k < 8; ++k) (*bench.image)[0xF000 + k] = static_cast<std::uint16_t>(k);
  bench.BoardHoldsImage();
}

TEST(Check, ComparesWithoutChangingAnything) {
  const struct {
    const char* name;
    std::function<void(sim::BoardModel&)> change;
    int status;
    std::string eeprom;
    std::string code;
  } cases[] = {
      {"equal", [](sim::BoardModel&) {}, 0, "EEPROM is up to date\n", "\nCode is up to date\n"},
      {"EEPROM only",
       [](sim::BoardModel& b) {
         b.SetEEPROMByte(40, 0x12);
         b.SetEEPROMByte(26, 0x13);  // reads otherwise in decimal
       },
       2, "EEPROM differs in 2 of 64 bytes, the first at offset 0x1a\n", "\nCode is up to date\n"},
      {"code only",
       [](sim::BoardModel& b) {
         b.SetFlashWord(0x0F00, 0x0001);
         b.SetFlashWord(0x0401, 0x0002);
         b.SetFlashWord(0x0A40, 0x3FFF);
       },
       2, "EEPROM is up to date\n", "\nCode differs in 3 words, the first at 0x0401\n"},
  };
  for (const auto& c : cases) {
    UpdateBench bench;
    ProgrammedBoard(bench);
    c.change(bench.board);
    const Outcome outcome = bench.Run({.check = true});
    EXPECT_EQ(outcome.status, c.status) << c.name;
    EXPECT_EQ(outcome.out, "Sending Reset Request\nReading EEPROM from PIC\n" + c.eeprom +
                               "Reading Code from PIC\n" + kDisplays + c.code)
        << c.name;
    EXPECT_EQ(bench.Writes(), CheckFrames()) << c.name;
    EXPECT_FALSE(bench.board.Started()) << c.name;
  }
}

TEST(Check, TimeoutsEndTheRunWithThePhasesTexts) {
  const struct {
    int request;
    int from;
    const char* tail;
  } cases[] = {{0x10, 0, "Reading EEPROM from PIC\nTimeout reading EEPROM\n"},
               {0x02, 5, "0280\rTimeout reading code\n"}};
  for (const auto& c : cases) {
    UpdateBench bench(sim::Faults{.silent_request = c.request, .silent_from = c.from});
    const Outcome outcome = bench.Run({.check = true});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.out.ends_with(c.tail)) << outcome.out;
    const auto frames = CheckFrames();
    const auto writes = bench.Writes();
    EXPECT_TRUE(std::equal(writes.begin(), writes.end(), frames.begin())) << c.tail;
  }
}

// What a backup file holds, read back with the program's own reader.
std::unique_ptr<image::WordImage> LoadBackup(const std::string& path) {
  auto loaded = std::make_unique<image::WordImage>();
  CapturedConsole console;
  image::LoadHexFile(path.c_str(), *loaded, console.Get());
  return loaded;
}

void ExpectBackupOf(const sim::BoardModel& board, const std::string& path) {
  const auto loaded = LoadBackup(path);
  for (std::size_t a = 0x0200; a < 0x1000; ++a) ASSERT_EQ((*loaded)[a], board.FlashWord(a)) << a;
  for (std::size_t k = 0; k < 64; ++k) ASSERT_EQ((*loaded)[0xF000 + k], board.EEPROMByte(k)) << k;
}

TEST(Check, FillsTheBackupFromItsOwnReads) {
  UpdateBench bench;
  ProgrammedBoard(bench);
  bench.board.SetFlashWord(0x0300, 0xFFFF);  // read back as it is, beyond 14 bits
  const sim::BoardModel before = bench.board;
  TempFolder folder;
  const std::string path = folder.File("board.hex");
  driver::BoardBackup backup(path, bench.console.Get());
  const Outcome outcome = bench.Run({.check = true, .backup = &backup});
  EXPECT_EQ(outcome.status, 2);
  EXPECT_TRUE(outcome.out.ends_with(kDisplays +
                                    "\nCode differs in 1 words, the first at 0x0300\n"
                                    "Saved " +
                                    path + "\n"))
      << outcome.out;
  EXPECT_EQ(bench.Writes(), CheckFrames());
  ExpectBackupOf(before, path);
}

// The save pass, then the run that would have happened without it, whose
// first reads of the EEPROM and of the code the save pass's reads replace.
TEST(Save, BacksUpTheBoardBeforeAnythingChangesAtNoExtraCost) {
  for (const bool i2c : {false, true}) {
    const auto prepare = [](UpdateBench& bench) {
      ProgrammedBoard(bench);
      bench.SetBlock(0x0200, 0x0300);  // a new firmware for the old board
      bench.board.SetEEPROMByte(9, 0x44);
      bench.board.SetFlashWord(0x0555, 0xFFFF);
    };
    UpdateBench plain(sim::Faults{}, i2c);
    prepare(plain);
    const Outcome without = plain.Run();

    UpdateBench bench(sim::Faults{}, i2c);
    prepare(bench);
    const sim::BoardModel before = bench.board;
    TempFolder folder;
    const std::string path = folder.File("old.hex");
    driver::BoardBackup backup(path, bench.console.Get());
    const Outcome outcome = bench.Run({.backup = &backup});
    EXPECT_EQ(outcome.status, without.status);
    const std::string head = "Sending Reset Request\n";
    std::string rest = without.out.substr(head.size());
    rest.erase(0, std::string("Reading EEPROM from PIC\n").size());
    const std::string code_read = "Reading Code from PIC\n" + kDisplays + "\n";
    rest.erase(rest.find(code_read), code_read.size());
    EXPECT_EQ(outcome.out, head + "Saving the board to " + path + "\n" + kDisplays + "\nSaved " +
                               path + "\n" + rest);

    const std::size_t handshake = i2c ? 1 : 2;  // the I2C reset goes as send-byte transfers
    std::vector<Bytes> normal = plain.Writes();
    normal.erase(normal.begin() + static_cast<std::ptrdiff_t>(handshake));  // its EEPROM read
    const auto reads = ApplicationReads();
    const auto first_pass = std::search(normal.begin(), normal.end(), reads.begin(), reads.end());
    normal.erase(first_pass, first_pass + 112);
    std::vector<Bytes> expected(normal.begin(), normal.begin() + 2);
    expected.resize(handshake);
    expected.push_back({0x10});
    expected.insert(expected.end(), reads.begin(), reads.end());
    expected.insert(expected.end(), normal.begin() + static_cast<std::ptrdiff_t>(handshake),
                    normal.end());
    EXPECT_EQ(bench.Writes(), expected) << "i2c " << i2c;
    EXPECT_EQ(bench.Writes().size(), plain.Writes().size());
    ExpectBackupOf(before, path);
  }
}

TEST(Save, ARunThatEndsBeforeTheEndLeavesTheOldFile) {
  const struct {
    int request;
    int from;
    const char* tail;
  } cases[] = {{0x10, 0, "Saving the board to "},  // then the EEPROM read times out
               {0x02, 60, "Timeout reading code\n"}};
  for (const auto& c : cases) {
    UpdateBench bench(sim::Faults{.silent_request = c.request, .silent_from = c.from});
    TempFolder folder;
    const std::string path = folder.File("board.hex");
    std::ofstream(path) << "yesterday's backup\n";
    driver::BoardBackup backup(path, bench.console.Get());
    const Outcome outcome = bench.Run({.backup = &backup});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_NE(outcome.out.find(c.tail), std::string::npos) << outcome.out;
    EXPECT_TRUE(outcome.out.ends_with("Timeout reading EEPROM\n") ||
                outcome.out.ends_with("Timeout reading code\n"));
    EXPECT_EQ(FileContent(path), "yesterday's backup\n");
    EXPECT_EQ(folder.Names(), std::vector<std::string>{"board.hex"});
  }
}

TEST(Handshake, GivesUpAfterTheAttemptsAllowed) {
  const struct {
    int attempts;
    int silent_syncs;
    int status;
    std::size_t tries;
    const char* tail;
  } cases[] = {
      {1, -1, 1, 1, "No answer from the bootloader after 1 attempt\n"},
      {3, -1, 1, 3, "No answer from the bootloader after 3 attempts\n"},
      {3, 2, 0, 3, "Code is up to date\n"},  // answered at the last attempt allowed
  };
  for (const auto& c : cases) {
    UpdateBench bench(sim::Faults{.silent_request = 0xC0, .silent_count = c.silent_syncs});
    bench.BoardHoldsImage();
    int hints = 0;
    const Outcome outcome = bench.Run({.handshake = {c.attempts, [&hints] { ++hints; }}});
    EXPECT_EQ(outcome.status, c.status) << c.tail;
    std::string tries;
    for (std::size_t i = 0; i < c.tries; ++i) tries += "Sending Reset Request\n";
    EXPECT_TRUE(outcome.out.starts_with(tries + (c.status == 0 ? "Reading" : "No answer")));
    EXPECT_TRUE(outcome.out.ends_with(c.tail)) << outcome.out;
    const auto writes = bench.Writes();
    EXPECT_EQ(std::count(writes.begin(), writes.end(), kReset), c.tries);
    EXPECT_EQ(std::count(writes.begin(), writes.end(), kSync), c.tries);
    EXPECT_EQ(hints, 1);
    if (c.status != 0) {
      // Each unanswered attempt: two 100 ms pauses and the whole 5000 ms wait.
      const auto& pauses = bench.clock.Pauses();
      EXPECT_EQ(std::accumulate(pauses.begin(), pauses.end(), 0), 5200 * static_cast<int>(c.tries));
    }
  }
}

TEST(Handshake, AnAnswerAtOnceGivesNoHint) {
  UpdateBench bench;
  bench.BoardHoldsImage();
  int hints = 0;
  const Outcome outcome = bench.Run({.handshake = {1, [&hints] { ++hints; }}, .check = true});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_EQ(hints, 0);
}

}  // namespace
}  // namespace zelmo::testing
