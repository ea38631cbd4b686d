#include "command_line.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

namespace zelmo {

std::int32_t ConvertNumber(const char* text) {
  const long value = std::strtol(text, nullptr, 0);
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<std::int32_t>(value);
}

CommandLine ParseCommandLine(int argc, char** argv) {
  CommandLine line;
  optind = 0;  // full re-initialisation of GNU getopt, so it can be called again
  // Only -v exists, so the first option decides: the version, or usage.
  const int option = getopt(argc, argv, ":v");
  if (option == 'v') {
    line.action = CommandLine::Action::kVersion;
    return line;
  }
  if (option != -1) return line;
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
