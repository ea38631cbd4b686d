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

// Once the bootloader has not answered: "PROGNAME: no answer yet; PATH is
// also open in COMMAND (pid PID)" on stderr for every other holder.
void HintPortHolders(int fd, const std::string& path, const std::string& progname,
                     const Console& console);

}  // namespace zelmo::link
