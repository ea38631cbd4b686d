#pragma once

// The link the command line names, opened with the texts a failure
// prints, the lock and the hints of a first run: the links only carry
// bytes, this is where their failures are told and decided.

#include <functional>
#include <memory>
#include <string>

#include "app/command_line.h"
#include "base/console.h"
#include "link/i2c_link.h"
#include "link/serial_link.h"

namespace zelmo {

// Told the errno of a device that would not open, after the failure's own
// text and before the run ends: prints what to do about it.
using OpenFailureHint = std::function<void(int error)>;

// "\nUsing Serial port PATH", then the port opened raw at the speed; fails
// after the texts of the step that failed (and the hint's, for a port that
// does not open).
std::unique_ptr<link::SerialLink> OpenSerialPort(const std::string& path, int speed,
                                                 const Console& console,
                                                 const OpenFailureHint& hint = {});

// The link and what belongs to its kind, decided once.
struct OpenedLink {
  std::unique_ptr<link::Link> link;
  std::function<void()> on_first_silence;  // I2C: none, the handshake runs once
};

// On the serial link the port is locked (a port another program holds is
// refused, naming its holders) and the first silence names whoever else
// has the port open, and the kernel when the port is its console. A bus
// cannot be locked: its other users are named at once.
OpenedLink OpenLink(const CommandLine& line, const std::string& progname, const Console& console);

}  // namespace zelmo
