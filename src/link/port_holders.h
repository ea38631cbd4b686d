#pragma once

#include <string>
#include <vector>

#include "console.h"

namespace zelmo::link {

struct PortHolder {
  int pid = 0;
  std::string command;  // as /proc/PID/comm has it
};

// The other processes that have the device behind fd open, found by the
// device number of their /proc/PID/fd entries, in pid order. None when
// /proc cannot be read.
std::vector<PortHolder> FindPortHolders(int fd, const std::string& proc = "/proc");

// "PROGNAME: BEFORE COMMAND (pid PID)AFTER" on stderr for every other
// holder of the device behind fd, each followed by the service that runs
// it when there is one to stop.
void NameHolders(int fd, const std::string& progname, const std::string& before,
                 const std::string& after, const Console& console);

// Once the bootloader has not answered: "PROGNAME: no answer yet; PATH is
// also open in COMMAND (pid PID)" for every other holder.
void HintPortHolders(int fd, const std::string& path, const std::string& progname,
                     const Console& console);

// An I2C bus cannot be locked: before the reset request, every other
// program that has the bus open, with a warning.
void WarnBusSharers(int fd, const std::string& path, const std::string& progname,
                    const Console& console);

}  // namespace zelmo::link
