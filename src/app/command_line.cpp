#include "app/command_line.h"

#include <getopt.h>

#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace zelmo {
namespace {

// Long options only: their codes lie beyond every short option character.
enum LongOption : int {
  kCheck = 256,
  kSave,
  kAttempts,
  kTrace,
  kHelp,
  kIgnoreChecksums,
  kKeepEEPROM,
  kStart,
  kRetries,
  kReport
};

const option kLongOptions[] = {{"check", no_argument, nullptr, kCheck},
                               {"save", required_argument, nullptr, kSave},
                               {"attempts", required_argument, nullptr, kAttempts},
                               {"trace", required_argument, nullptr, kTrace},
                               {"help", no_argument, nullptr, kHelp},
                               {"ignore-checksums", no_argument, nullptr, kIgnoreChecksums},
                               {"keep-eeprom", no_argument, nullptr, kKeepEEPROM},
                               {"start", no_argument, nullptr, kStart},
                               {"retries", required_argument, nullptr, kRetries},
                               {"report", required_argument, nullptr, kReport},
                               {nullptr, 0, nullptr, 0}};

// The options that only switch something on.
constexpr std::pair<int, bool CommandLine::*> kFlags[] = {
    {kCheck, &CommandLine::check},
    {kIgnoreChecksums, &CommandLine::ignore_checksums},
    {kKeepEEPROM, &CommandLine::keep_eeprom},
    {kStart, &CommandLine::start}};

constexpr int kMostRetries = 100;

bool RefuseValue(const char* option, const char* value, CommandLine& line) {
  line.action = CommandLine::Action::kBadValue;
  line.bad_option = option;
  line.bad_value = value;
  return false;
}

// Takes one option into line; false when it ends the parsing where it stands.
bool TakeOption(int option, const char* value, CommandLine& line) {
  using Action = CommandLine::Action;
  for (const auto& [code, flag] : kFlags) {
    if (option != code) continue;
    line.*flag = true;
    return true;
  }
  switch (option) {
    case 'v':
      line.action = Action::kVersion;
      return false;
    case kHelp:
      line.action = Action::kHelp;
      return false;
    case kSave:
      line.save_file = value;
      return true;
    case kTrace:
      line.trace_file = value;
      return true;
    case kReport:
      line.report_file = value;
      return true;
    case kAttempts:
      line.attempts = ParseAttempts(value);
      return line.attempts != 0 || RefuseValue("attempts", value, line);
    case kRetries: {
      const std::optional<int> retries = ParseDecimal(value);
      if (!retries || *retries > kMostRetries) return RefuseValue("retries", value, line);
      line.retries = *retries;
      return true;
    }
    default:  // an unknown option or a missing option argument
      line.action = Action::kUsage;
      return false;
  }
}

}  // namespace

std::int32_t ConvertNumber(const char* text) {
  const long value = std::strtol(text, nullptr, 0);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

std::optional<int> ParseDecimal(const char* text) {
  if (*text == '\0') return std::nullopt;
  long long value = 0;
  for (const char* at = text; *at != '\0'; ++at) {
    if (std::isdigit(static_cast<unsigned char>(*at)) == 0) return std::nullopt;
    value = value * 10 + (*at - '0');
    if (value > INT_MAX) return std::nullopt;
  }
  return static_cast<int>(value);
}

int ParseAttempts(const char* text) { return ParseDecimal(text).value_or(0); }

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine line;
  optind = 0;  // full re-initialisation of GNU getopt, so it can be called again
  for (int option = 0; (option = getopt_long(argc, argv, ":v", kLongOptions, nullptr)) != -1;) {
    if (!TakeOption(option, optarg, line)) return line;
  }
  if (argc - optind != 3) return line;
  line.action = CommandLine::Action::kRun;
  line.bus_text = argv[optind];
  line.port = ConvertNumber(argv[optind]);
  line.address = ConvertNumber(argv[optind + 1]);
  line.i2c = line.address > 0 ? 1 : 0;
  line.hex_file = argv[optind + 2];
  return line;
}

std::string SerialPath(const CommandLine& line) {
  if (line.bus_text.size() > 3) return line.bus_text;
  if (line.port > 0) return "/dev/ttyO" + std::to_string(line.port);
  return "/dev/ttyAMA0";
}

std::string I2CPath(const CommandLine& line) { return "/dev/i2c-" + line.bus_text; }

std::string ProgramName(const char* argv0) {
  constexpr std::size_t kMaxName = 80;
  if (argv0 == nullptr) return {};
  const char* slash = std::strrchr(argv0, '/');
  const std::string name = slash != nullptr ? slash + 1 : argv0;
  return name.substr(0, kMaxName);
}

}  // namespace zelmo
