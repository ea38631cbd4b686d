#pragma once

#include <string>

#include "console.h"

namespace zelmo::link {

// Takes the lock; false only when another program holds it.
bool TakeLock(int fd);

// Takes an exclusive advisory lock on the open serial port, held until
// the process ends, so that two updaters, or an updater and a program that
// locks its port, never share a board. When another program holds a lock,
// says so on stderr with every other process that has the device open,
// and ends the run (status 1) before a byte is sent.
void LockPort(int fd, const std::string& path, const std::string& progname, const Console& console);

}  // namespace zelmo::link
