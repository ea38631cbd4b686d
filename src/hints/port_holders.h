#pragma once

#include <string>
#include <vector>

#include "base/console.h"

namespace zelmo::hints {

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
// it when there is one to stop: after the first silence ("no answer yet;
// PATH is also open in"), and for a bus, which cannot be locked, before
// the reset ("PATH is also open in", with a warning).
void NameHolders(int fd, const std::string& progname, const std::string& before,
                 const std::string& after, const Console& console);

}  // namespace zelmo::hints
