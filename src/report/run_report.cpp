#include "report/run_report.h"

#include <sha2.h>

#include <array>
#include <cmath>
#include <ctime>
#include <nlohmann/json.hpp>
#include <vector>

#include "base/run_failure.h"
#include "base/version.h"

namespace zelmo::report {
namespace {

constexpr std::size_t kApplicationWords = image::kApplicationEnd - image::kApplicationStart;
constexpr double kMillisecond = 1000.0;

nlohmann::json OrNull(const std::optional<std::string>& value) {
  return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

}  // namespace

std::string ReportTime(std::chrono::system_clock::time_point moment) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(moment);
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  std::array<char, 32> text{};
  std::strftime(text.data(), text.size(), "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text.data();
}

std::string CodeFingerprint(const std::uint16_t* words) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(2 * kApplicationWords);
  for (std::size_t i = 0; i < kApplicationWords; ++i) {
    bytes.push_back(static_cast<std::uint8_t>(words[i] & 0xFFU));
    bytes.push_back(static_cast<std::uint8_t>(words[i] >> 8U));
  }
  std::string hex(SHA256_DIGEST_STRING_LENGTH, '\0');
  SHA256Data(bytes.data(), bytes.size(), hex.data());
  hex.pop_back();
  return hex;
}

// A run that wrote nothing may still end 0 after a later try found the
// board current; what counts is whether any try wrote.
std::string OutcomeOf(const RunFacts& facts) {
  if (facts.refused) return "refused";
  if (facts.check && (facts.status == 0 || facts.status == kExitDiffers)) {
    return facts.status == 0 ? "matches" : "differs";
  }
  if (facts.status != 0) return "failed";
  return facts.tally.wrote ? "updated" : "up to date";
}

std::string FormatReport(const RunFacts& facts) {
  const std::string outcome = OutcomeOf(facts);
  const bool good = outcome != "refused" && outcome != "failed";
  std::optional<std::string> board;
  if (facts.tally.board_code) board = CodeFingerprint(facts.tally.board_code->data());
  const nlohmann::ordered_json report = {
      {"version", kVersionText},
      {"time", facts.time},
      {"status", facts.status},
      {"outcome", outcome},
      {"message", good ? nlohmann::json(nullptr) : nlohmann::json(facts.message)},
      {"tries", facts.tally.tries},
      {"eeprom_bytes_written", facts.tally.eeprom_bytes_written},
      {"blocks_written", facts.tally.blocks_written},
      {"started", facts.tally.started},
      {"file", {{"name", facts.file_name}, {"code_sha256", OrNull(facts.file_code_sha256)}}},
      {"board", {{"code_sha256", OrNull(board)}}},
      {"link",
       {{"kind", facts.i2c ? "i2c" : "serial"},
        {"device", facts.device},
        {"address", facts.i2c ? nlohmann::json(facts.address) : nlohmann::json(nullptr)}}},
      {"seconds", std::round(facts.seconds * kMillisecond) / kMillisecond}};
  // A file name is bytes: what is not UTF-8 is replaced, never refused.
  return report.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace zelmo::report
