// The report of each kind of ending, its fingerprints computed here from
// the example file's own bytes.

#include "report/run_report.h"

#include <gtest/gtest.h>
#include <sha2.h>

#include <sys/stat.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include "image/hex_reader.h"
#include "temp_folder.h"
#include "update_bench.h"

namespace zelmo::testing {
namespace {

// Words 0x0200-0x0FFF are HEX bytes 0x0400-0x1FFF; the example has no
// extended address before its EEPROM.
std::string ExampleFingerprint() {
  std::vector<std::uint8_t> region(0x1C00);
  for (std::size_t k = 0; k < region.size(); k += 2) region[k] = 0xFF, region[k + 1] = 0x3F;
  std::ifstream file(ZELMO_EXAMPLE_HEX);
  for (std::string line; std::getline(file, line) && !line.starts_with(":020000040001");) {
    const std::size_t count = std::stoul(line.substr(1, 2), nullptr, 16);
    const std::size_t at = std::stoul(line.substr(3, 4), nullptr, 16);
    for (std::size_t i = 0; i < count && line.substr(7, 2) == "00"; ++i)
      region.at(at + i - 0x400) =
          static_cast<std::uint8_t>(std::stoul(line.substr(9 + 2 * i, 2), nullptr, 16));
  }
  std::string hex(SHA256_DIGEST_STRING_LENGTH, '\0');
  return SHA256Data(region.data(), region.size(), hex.data());
}

TEST(Report, EachEndingTellsWhatTheRunDid) {
  const std::string example = ExampleFingerprint();
  // A backup whose folder is gone once the board has been read.
  TempFolder folder;
  CapturedConsole console;
  const std::string gone = folder.File("gone");
  mkdir(gone.c_str(), 0700);
  driver::BoardBackup unwritable(gone + "/board.hex", console.Get());
  rmdir(gone.c_str());
  const std::string cannot_write = "Cannot write " + gone + "/board.hex: No such file or directory";
  const struct {
    const char* outcome;
    driver::RunPlan plan;
    sim::Faults faults;
    bool current;
    int status, tries, eeprom, blocks;
    const char* message;
  } cases[] = {
      {"updated",
       {},
       {.checksum_error_block = 0x0400, .checksum_errors = 1},
       false,
       0,
       1,
       5,
       3,
       nullptr},
      {"up to date", {}, {}, true, 0, 1, 0, 0, nullptr},
      {"matches", {.check = true}, {}, true, 0, 1, 0, 0, nullptr},
      {"differs", {.check = true}, {}, false, 2, 1, 0, 0, nullptr},
      {"failed", {}, {.silent_request = 0x01}, false, 1, 1, 5, 0, "Timeout writing to Flash"},
      {"failed",
       {.backup = &unwritable, .retries = 1},
       {},
       false,
       1,
       1,
       0,
       0,
       cannot_write.c_str()},
      {"updated",
       {.retries = 1},
       {.bad_word = 0x0211, .bad_word_reads = 1},
       false,
       0,
       2,
       5,
       3,
       nullptr},
  };
  for (const auto& c : cases) {
    UpdateBench bench(c.faults);
    image::LoadHexFile(ZELMO_EXAMPLE_HEX, *bench.image, bench.console.Get());
    if (c.current) bench.BoardHoldsImage();
    const Outcome outcome = bench.Run(c.plan);
    report::RunFacts facts{.status = outcome.status,
                           .check = c.plan.check,
                           .message = outcome.message,
                           .tally = outcome.tally};
    facts.file_code_sha256 = report::CodeFingerprint(&(*bench.image)[0x0200]);
    const auto json = nlohmann::json::parse(report::FormatReport(facts));
    EXPECT_EQ(json["outcome"], c.outcome) << c.outcome;
    EXPECT_EQ(json["status"], c.status) << c.outcome;
    EXPECT_EQ(json["message"], c.message ? nlohmann::json(c.message) : nlohmann::json())
        << c.outcome;
    EXPECT_EQ(json["tries"], c.tries) << c.outcome;
    EXPECT_EQ(json["eeprom_bytes_written"], c.eeprom) << c.outcome;
    EXPECT_EQ(json["blocks_written"], c.blocks) << c.outcome;
    EXPECT_EQ(json["file"]["code_sha256"], example) << c.outcome;
    EXPECT_EQ(json["board"]["code_sha256"] == example, c.status == 0) << c.outcome;
    // Past the erase the board holds neither the old code nor yet the new.
    EXPECT_EQ(json["board"]["code_sha256"].is_null(), c.status == 1 && c.eeprom > 0) << c.outcome;
    EXPECT_EQ(json["started"], std::string(c.outcome) == "updated") << c.outcome;
  }
}

}  // namespace
}  // namespace zelmo::testing
