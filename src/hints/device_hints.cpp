#include "hints/device_hints.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <iterator>
#include <string_view>

namespace zelmo::hints {
namespace {

constexpr unsigned kGroupReadWrite = 0060;

std::vector<std::string> PermissionHints(const FailedOpen& failed, const SystemFacts& system) {
  const auto access = system.Access(failed.path);
  if (!access) return {};
  const std::string& group = access->group;
  if ((access->mode & kGroupReadWrite) != kGroupReadWrite || access->group == "root") {
    return {failed.progname + ": only its owner, " + access->owner + ", may open " + failed.path +
            ": run as " + access->owner + " (sudo), or give it a group that may"};
  }
  switch (system.MembershipOf(group)) {
    case Membership::kNone:
      return {failed.progname + ": " + failed.path + " may be opened by group " + group +
              ": sudo usermod -aG " + group + " " + system.UserName() + ", then log in again"};
    case Membership::kListed:
      return {failed.progname + ": " + system.UserName() + " is in group " + group +
              ", which may open " + failed.path + ", but this login is not yet: log in again"};
    case Membership::kInLogin:
      break;  // something else refused it (an ACL, a security module)
  }
  return {};
}

// "ttyUSB10" after "ttyUSB9": the number's length first.
bool NameOrder(const std::string& a, const std::string& b) {
  return a.size() != b.size() ? a.size() < b.size() : a < b;
}

std::vector<std::string> Named(const SystemFacts& system, std::string_view prefix) {
  std::vector<std::string> names;
  const std::vector<std::string> entries = system.Entries("/dev");
  std::copy_if(entries.begin(), entries.end(), std::back_inserter(names),
               [prefix](const std::string& name) {
                 return name.size() > prefix.size() && name.starts_with(prefix);
               });
  std::sort(names.begin(), names.end(), NameOrder);
  return names;
}

// A ttyS device exists for every port the kernel might have; only those
// whose port has a known UART type lead anywhere.
bool HasUart(const SystemFacts& system, const std::string& name) {
  const std::string type = system.Text("/sys/class/tty/" + name + "/type");
  return !type.empty() && type.find_first_not_of("0\n") != std::string::npos;
}

std::vector<std::string> SerialPorts(const SystemFacts& system) {
  std::vector<std::string> ports;
  for (const char* link : {"/dev/serial0", "/dev/serial1"}) {
    const std::string target = system.LinkTarget(link);
    if (!target.empty()) ports.push_back(std::string(link) + " -> " + target);
  }
  for (const std::string_view prefix : {"ttyAMA", "ttyO", "ttyS", "ttyUSB", "ttyACM"}) {
    for (const std::string& name : Named(system, prefix)) {
      if (prefix != "ttyS" || HasUart(system, name)) ports.push_back("/dev/" + name);
    }
  }
  return ports;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + item;
  return text;
}

std::vector<std::string> SerialPortHints(const FailedOpen& failed, const SystemFacts& system) {
  const std::vector<std::string> ports = SerialPorts(system);
  const std::string example =
      ports.empty() ? "/dev/ttyUSB0" : ports[0].substr(0, ports[0].find(' '));
  return {ports.empty() ? failed.progname +
                              ": no serial port on this computer (serial0, ttyAMA*, ttyS* with a "
                              "UART, ttyUSB*, ttyACM*): enable the UART or plug in the adapter"
                        : failed.progname + ": serial ports on this computer: " + Joined(ports),
          failed.progname + ": name the port as the first argument: " + failed.progname + " " +
              example + " 0 " + failed.hex_file};
}

std::vector<std::string> I2CBusHints(const FailedOpen& failed, const SystemFacts& system) {
  std::vector<std::string> buses = Named(system, "i2c-");
  if (buses.empty()) {
    return {failed.progname +
            ": no I2C bus on this computer (/dev/i2c-*): load the i2c-dev module (sudo modprobe "
            "i2c-dev) and enable the bus in the computer's boot configuration"};
  }
  for (std::string& bus : buses) bus.insert(0, "/dev/");
  return {failed.progname + ": I2C buses on this computer: " + Joined(buses) +
          "; the first argument is the number after /dev/i2c-"};
}

bool Missing(int error) {
  constexpr std::array kErrors = {ENOENT, ENODEV, ENXIO, EIO};
  return std::find(kErrors.begin(), kErrors.end(), error) != kErrors.end();
}

}  // namespace

std::vector<std::string> OpenFailureHints(const FailedOpen& failed, const SystemFacts& system) {
  if (failed.error == EACCES || failed.error == EPERM) return PermissionHints(failed, system);
  if (!Missing(failed.error)) return {};
  return failed.kind == DeviceKind::kSerialPort ? SerialPortHints(failed, system)
                                                : I2CBusHints(failed, system);
}

void PrintHints(const std::vector<std::string>& lines, const Console& console) {
  for (const std::string& line : lines) std::fprintf(console.err, "%s\n", line.c_str());
  std::fflush(console.err);
}

}  // namespace zelmo::hints
