// What the run's options change, in-process against the simulated board:
// the settings kept, the firmware started, the regions a file does not
// hold left alone, and the moment the board starts to change.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "update_bench.h"
#include "wire_frames.h"

namespace zelmo::testing {
namespace {

// The first request that changes the board: an EEPROM write or the erase.
std::size_t FirstChange(const std::vector<Bytes>& frames) {
  return static_cast<std::size_t>(
      std::find_if(frames.begin(), frames.end(),
                   [](const Bytes& f) { return f.size() < 4 && (f[0] == 0x20 || f[0] == 0x04); }) -
      frames.begin());
}

TEST(RunPlan, OptionsAndRegionsOfTheFile) {
  constexpr int kInterrupted = 2;
  const std::string kept = "EEPROM differs in 1 of 64 bytes, the first at offset 0x2a\n";
  const struct {
    const char* name;
    driver::RunPlan plan;
    bool eeprom_differs;
    int code_differs;  // kInterrupted: the entry block blank as well
    int status;
    std::string contains;
    std::string tail;
    std::size_t eeprom_writes, erases, runs, code_reads;
  } cases[] = {
      {"--keep-eeprom",
       {.keep_eeprom = true},
       true,
       true,
       0,
       "Reading EEPROM from PIC\n" + kept + "EEPROM kept as it is\nReading Code from PIC\n",
       "Verified OK\n",
       0,
       1,
       1,
       224},
      {"--check --keep-eeprom",
       {.check = true, .keep_eeprom = true},
       true,
       false,
       0,
       kept,
       "\nCode is up to date\n",
       0,
       0,
       0,
       112},
      {"--start, up to date",
       {.start = true},
       false,
       false,
       0,
       "EEPROM is up to date\n",
       "\nCode is up to date\nStarting the firmware\n",
       0,
       0,
       1,
       112},
      {"--check --start, code equal",
       {.check = true, .start = true},
       true,
       false,
       2,
       kept,
       "\nCode is up to date\nStarting the firmware\n",
       0,
       0,
       1,
       112},
      {"--check --start, another whole firmware",
       {.check = true, .start = true},
       false,
       true,
       2,
       "Code differs in 1 words, the first at 0x0300\n",
       "Starting the firmware\n",
       0,
       0,
       1,
       112},
      {"--check --start, an interrupted update",
       {.check = true, .start = true},
       false,
       kInterrupted,
       2,
       "Code differs in 33 words, the first at 0x0200\n",
       "Not started: the board holds no complete firmware\n",
       0,
       0,
       0,
       112},
      {"code only",
       {.file_has_eeprom = false},
       true,
       true,
       0,
       "Sending Reset Request\nNo EEPROM data in the file; the EEPROM is left as it is\n"
       "Reading Code from PIC\n",
       "Verified OK\n",
       0,
       1,
       1,
       224},
      {"EEPROM only",
       {.file_has_application = false},
       true,
       true,
       0,
       "EEPROM ok\n",
       "EEPROM ok\nNo application code in the file; the application region is left as it is\n",
       1,
       0,
       0,
       0},
      {"--check, EEPROM only",
       {.check = true, .start = true, .file_has_application = false},
       false,
       true,
       0,
       "EEPROM is up to date\n",
       "No application code in the file; the application region is left as it is\n",
       0,
       0,
       0,
       0},
  };
  for (const auto& c : cases) {
    UpdateBench bench;
    bench.SetBlock(0x0200, 0x0100);
    bench.BoardHoldsImage();
    if (c.eeprom_differs) bench.board.SetEEPROMByte(42, 0x77);
    if (c.code_differs) bench.board.SetFlashWord(0x0300, 0x0001);
    for (std::uint16_t a = 0x0200; a < 0x0220 && c.code_differs == kInterrupted; ++a)
      bench.board.SetFlashWord(a, 0x3FFF);
    std::vector<std::size_t> changes_at;
    driver::RunPlan plan = c.plan;
    plan.before_change = [&] { changes_at.push_back(bench.Writes().size()); };
    const Outcome outcome = bench.Run(plan);
    EXPECT_EQ(outcome.status, c.status) << c.name;
    EXPECT_NE(outcome.out.find(c.contains), std::string::npos) << c.name << outcome.out;
    EXPECT_TRUE(outcome.out.ends_with(c.tail)) << c.name << outcome.out;
    const auto frames = bench.Writes();
    EXPECT_EQ(CountCommand(frames, 0x20), c.eeprom_writes) << c.name;
    EXPECT_EQ(CountCommand(frames, 0x04), c.erases) << c.name;
    EXPECT_EQ(CountCommand(frames, 0x08), c.runs) << c.name;
    EXPECT_EQ(CountCommand(frames, 0x02), c.code_reads) << c.name;
    // The run request, when sent, is the last frame; the protection of a
    // board that changes begins with its first changing request.
    EXPECT_EQ(frames.back() == Bytes{0x08}, c.runs > 0) << c.name;
    EXPECT_EQ(bench.board.Started(), c.runs > 0) << c.name;
    const std::size_t first = FirstChange(frames);
    EXPECT_EQ(changes_at,
              first < frames.size() ? std::vector<std::size_t>{first} : std::vector<std::size_t>{})
        << c.name;
    EXPECT_EQ(bench.board.EEPROMByte(42) == 0x77, c.eeprom_differs && c.eeprom_writes == 0)
        << c.name;
  }
}

}  // namespace
}  // namespace zelmo::testing
