#pragma once

// What the user has to stop when another program holds the board's
// device: not the process, which its service would start again, but the
// service.

#include <optional>
#include <string>

#include "hints/system_facts.h"

namespace zelmo::hints {

// "PROGNAME: COMMAND (pid PID) runs in UNIT: sudo systemctl stop UNIT ...",
// or as the serial login prompt it is, the unit taken from the process's
// cgroup (the name=systemd line of cgroup v1, else the unified "0::"
// line). Nothing when there is nothing to add, or when the unit is this
// program's own (stopping it would stop the update too).
std::optional<std::string> HolderServiceHint(const std::string& progname, int pid,
                                             const std::string& command, const SystemFacts& system);

}  // namespace zelmo::hints
