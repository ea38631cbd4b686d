#include "hints/holder_hints.h"

#include <sstream>

namespace zelmo::hints {
namespace {

// The path of the line whose hierarchy is systemd's, "" when none.
std::string SystemdPath(const std::string& cgroup) {
  std::istringstream lines(cgroup);
  std::string line;
  std::string unified;
  while (std::getline(lines, line)) {
    const auto first = line.find(':');
    const auto second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string hierarchy = line.substr(first + 1, second - first - 1);
    if (hierarchy == "name=systemd") return line.substr(second + 1);
    if (line.starts_with("0::")) unified = line.substr(second + 1);
  }
  return unified;
}

bool IsLoginPrompt(const std::string& command, const std::string& unit) {
  return command.ends_with("getty") || unit.starts_with("serial-getty@") ||
         unit.starts_with("getty@");
}

// The systemd unit of a process, from its /proc/PID/cgroup text: the last
// ".service" of its systemd path. Empty when it runs in none, or in a
// user's own service manager.
std::string ServiceOf(const std::string& cgroup) {
  const std::string path = SystemdPath(cgroup);
  const auto end = path.rfind(".service");
  // A user's own service manager is not stopped with sudo systemctl.
  if (end == std::string::npos || path.find("/user@") != std::string::npos) return "";
  const auto start = path.rfind('/', end) + 1;
  return path.substr(start, end + std::char_traits<char>::length(".service") - start);
}

}  // namespace

std::optional<std::string> HolderServiceHint(const std::string& progname, int pid,
                                             const std::string& command,
                                             const SystemFacts& system) {
  const std::string unit = ServiceOf(system.Text("/proc/" + std::to_string(pid) + "/cgroup"));
  const std::string who = progname + ": " + command + " (pid " + std::to_string(pid) + ")";
  if (!unit.empty() && unit == ServiceOf(system.Text("/proc/self/cgroup"))) return std::nullopt;
  if (IsLoginPrompt(command, unit)) {
    return who + " is the serial login prompt" +
           (unit.empty() ? ": turn it off for this port"
                         : " of " + unit + ": sudo systemctl stop " + unit);
  }
  if (unit.empty()) return std::nullopt;
  return who + " runs in " + unit + ": sudo systemctl stop " + unit + " for the update";
}

}  // namespace zelmo::hints
