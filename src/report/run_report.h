#pragma once

#include <chrono>
#include <optional>
#include <string>

#include "base/run_failure.h"
#include "driver/run_tally.h"
#include "image/word_image.h"

namespace zelmo::report {

// What a script reads of a run: how it ended, what it did to the board,
// which firmware the file and the board hold, and over which link.
struct RunFacts {
  int status = kExitFailure;
  bool check = false;
  bool refused = false;  // the HEX file was refused or unreadable; no device opened
  std::string message;   // the ending's text; empty for a good ending
  driver::RunTally tally;
  std::string file_name;
  std::optional<std::string> file_code_sha256;
  bool i2c = false;
  std::string device;
  int address = 0;
  std::string time;  // when the run began, UTC, as 2026-12-11T17:02:03Z
  double seconds = 0;
};

// A moment as the report writes it: UTC, ISO 8601, to the second.
std::string ReportTime(std::chrono::system_clock::time_point moment);

// The SHA-256, in lower-case hex, of words 0x0200-0x0FFF each low byte
// first, as the HEX file holds them; words[0] is the word at 0x0200.
std::string CodeFingerprint(const std::uint16_t* words);

// "updated", "up to date", "matches", "differs", "refused" or "failed".
std::string OutcomeOf(const RunFacts& facts);

// The report: one JSON object and a line feed.
std::string FormatReport(const RunFacts& facts);

}  // namespace zelmo::report
