#pragma once

#include <cstdint>
#include <string>

#include "console.h"

namespace zelmo {

inline constexpr const char* kVersionText = "0.0.0.2";
inline constexpr const char* usage_string =
    "usage: zelmo_flash i2bus i2cdevice HexFileName\nUse i2cdevice = 0 for Serial Port\n";

// What the command line asks for.
struct CommandLine {
  enum class Action { kRun, kVersion, kUsage };
  Action action = Action::kUsage;
  std::string bus_text;  // argument 1 as typed
  std::int32_t port = 0;
  std::int32_t address = 0;
  int i2c = 0;
  std::string hex_file;
};

// Options ":v" with GNU argument permutation, then exactly three arguments.
CommandLine ParseCommandLine(int argc, char** argv);

// strtol() with base 0, clamped to the 32-bit signed range.
std::int32_t ConvertNumber(const char* text);

// The serial device: a path given whole, /dev/ttyO<port>, or /dev/ttyAMA0.
std::string SerialPath(const CommandLine& line);

// The I2C bus device: "/dev/i2c-" and argument 1 as typed.
std::string I2CPath(const CommandLine& line);

// The last component of argv[0], at most 80 characters, for I2C messages.
std::string ProgramName(const char* argv0);

}  // namespace zelmo
