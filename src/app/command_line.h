#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/console.h"
#include "base/version.h"

namespace zelmo {

inline constexpr const char* usage_string =
    "usage: zelmo_flash i2bus i2cdevice HexFileName\nUse i2cdevice = 0 for Serial Port\n";

// --help: the usage text, the options and what the exit statuses mean.
inline constexpr const char* kHelpText =
    "usage: zelmo_flash i2bus i2cdevice HexFileName\nUse i2cdevice = 0 for Serial Port\n"
    "\n"
    "Options:\n"
    "  -v                  print the version and exit (status 1)\n"
    "  --check             compare the board with the file and change nothing\n"
    "  --save FILE         copy the board's EEPROM and code to FILE (Intel HEX) before\n"
    "                      anything changes; the update reuses those reads\n"
    "  --keep-eeprom       never write the board's EEPROM (keep the station's settings)\n"
    "  --start             start the firmware when the code is found up to date;\n"
    "                      with --check also when it differs but the board holds a\n"
    "                      whole firmware\n"
    "  --ignore-checksums  read a file whose record checksums are wrong\n"
    "  --attempts N        serial link: give up after N unanswered handshake attempts\n"
    "  --retries N         after a passing fault (a timeout, a wrong sync answer, a\n"
    "                      port that went away), try the whole run again, up to N\n"
    "                      more times (0 to 100; default 0); a later try gives up\n"
    "                      after --attempts (or 3) unanswered handshakes\n"
    "  --trace FILE        log every frame sent and every reply to FILE\n"
    "  --report FILE       write how the run ended to FILE as one JSON object\n"
    "                      (--save, --report and --trace must name three files)\n"
    "  --help              print this text and exit (status 0)\n"
    "\n"
    "Exit status:\n"
    "  0  the board holds the file: verified, or found up to date\n"
    "  1  the run failed (or -v)\n"
    "  2  --check found the board different from the file\n";

// What the command line asks for.
struct CommandLine {
  enum class Action { kRun, kVersion, kUsage, kHelp, kBadValue };
  Action action = Action::kUsage;
  std::string bus_text;  // argument 1 as typed
  std::int32_t port = 0;
  std::int32_t address = 0;
  int i2c = 0;
  std::string hex_file;

  // The long options; their absence leaves a run as it has always been.
  bool check = false;
  bool ignore_checksums = false;           // read records whose checksums are wrong, as once
  bool keep_eeprom = false;                // never write the board's EEPROM
  bool start = false;                      // start the firmware when the code is found up to date
  std::optional<std::string> save_file;    // the backup of the board, if asked for
  std::optional<std::string> trace_file;   // the wire log, if asked for
  std::optional<std::string> report_file;  // the JSON report of the run, if asked for
  int attempts = 0;                        // 0: the handshake asks without limit
  int retries = 0;                         // tries after the first
  std::string bad_option;                  // the option whose value was refused...
  std::string bad_value;                   // ...and that value as typed
};

// Options ":v" and the long options with GNU argument permutation, taken in
// the order given; then exactly three arguments.
CommandLine ParseCommandLine(int argc, char** argv);

// strtol() with base 0, clamped to the 32-bit signed range.
std::int32_t ConvertNumber(const char* text);

// Decimal digits only, 0 to 2147483647; none for anything else.
std::optional<int> ParseDecimal(const char* text);

// Decimal digits only, 1 to 2147483647; 0 for anything else.
int ParseAttempts(const char* text);

// The serial device: a path given whole, /dev/ttyO<port>, or /dev/ttyAMA0.
std::string SerialPath(const CommandLine& line);

// The I2C bus device: "/dev/i2c-" and argument 1 as typed.
std::string I2CPath(const CommandLine& line);

// The last component of argv[0], at most 80 characters, for I2C messages.
std::string ProgramName(const char* argv0);

}  // namespace zelmo
