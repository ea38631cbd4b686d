#pragma once

#include <string>

#include "base/console.h"

namespace zelmo::hints {

// Whether the consoles file (as /proc/consoles has it: a name, flags and
// MAJOR:MINOR last on each line) names the device behind fd. False when
// the file cannot be read.
bool IsKernelConsole(int fd, const std::string& consoles = "/proc/consoles");

// Once the bootloader has not answered: "PROGNAME: no answer yet; PATH is
// also the kernel's console (console= on the kernel command line)" on
// stderr when it is, for kernel messages then go out on the board's wire.
void HintKernelConsole(int fd, const std::string& path, const std::string& progname,
                       const Console& console);

}  // namespace zelmo::hints
