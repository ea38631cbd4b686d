#pragma once

// Hints for a first run on a computer that is not set up yet: the device
// would not open, and the system's error alone does not say what to do.
// Each hint is a line of its own after the error, and changes no status.

#include <string>
#include <vector>

#include "base/console.h"
#include "hints/system_facts.h"

namespace zelmo::hints {

enum class DeviceKind { kSerialPort, kI2CBus };

struct FailedOpen {
  DeviceKind kind = DeviceKind::kSerialPort;
  std::string path;
  int error = 0;  // errno of the open
  std::string progname;
  std::string hex_file;  // for a command line to copy
};

// The hint lines, without line ends: who may open the device and how to
// become one of them; or which devices of its kind exist.
std::vector<std::string> OpenFailureHints(const FailedOpen& failed, const SystemFacts& system);

// The lines on the console's error stream.
void PrintHints(const std::vector<std::string>& lines, const Console& console);

}  // namespace zelmo::hints
