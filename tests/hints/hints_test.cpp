// The first-run hints against computers described through the facts seam.

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "hints/device_hints.h"
#include "hints/holder_hints.h"

namespace zelmo::hints {
namespace {

struct Facts {
  std::optional<FileAccess> access;  // of whichever device is asked about
  Membership membership = Membership::kNone;
  std::vector<std::string> dev;
  std::map<std::string, std::string> texts;  // file contents, and link targets
};

class FakeSystem final : public SystemFacts {
 public:
  explicit FakeSystem(const Facts& facts) : facts_(facts) {}
  std::optional<FileAccess> Access(const std::string&) const override { return facts_.access; }
  std::string UserName() const override { return "alice"; }
  Membership MembershipOf(const std::string&) const override { return facts_.membership; }
  std::vector<std::string> Entries(const std::string&) const override { return facts_.dev; }
  std::string LinkTarget(const std::string& path) const override { return Text("-> " + path); }
  std::string Text(const std::string& path) const override {
    return facts_.texts.contains(path) ? facts_.texts.at(path) : "";
  }

 private:
  const Facts& facts_;
};

using Holder = std::pair<int, std::string>;  // a process that holds the device: pid, command

const FileAccess kDialout{0660, "root", "dialout"};
const std::string kV1 =
    "12:memory:/system.slice/x.service\n1:name=systemd:/system.slice/kiss.service\n";

TEST(Hints, NameTheFixOfEachFirstRunFault) {
  const struct {
    Facts facts;
    std::variant<FailedOpen, Holder> fault;
    std::vector<std::string> lines;
  } cases[] = {
      {{.access = kDialout},
       FailedOpen{DeviceKind::kSerialPort, "/dev/ttyAMA0", EACCES, "z"},
       {"z: /dev/ttyAMA0 may be opened by group dialout: sudo usermod -aG dialout alice, then log "
        "in again"}},
      {{.access = FileAccess{0660, "root", "i2c"}, .membership = Membership::kListed},
       FailedOpen{DeviceKind::kI2CBus, "/dev/i2c-1", EACCES, "z"},
       {"z: alice is in group i2c, which may open /dev/i2c-1, but this login is not yet: log in "
        "again"}},
      {{.access = FileAccess{0620, "root", "tty"}},
       FailedOpen{DeviceKind::kSerialPort, "/dev/ttyS0", EACCES, "z"},
       {"z: only its owner, root, may open /dev/ttyS0: run as root (sudo), or give it a group that "
        "may"}},
      {{.dev = {"ttyUSB10", "ttyS1", "tty1", "serial0", "ttyACM0", "ttyS0", "ttyUSB9", "ttyAMA0",
                "i2c-1"},
        .texts = {{"-> /dev/serial0", "ttyAMA0"},
                  {"/sys/class/tty/ttyS0/type", "4\n"},
                  {"/sys/class/tty/ttyS1/type", "0\n"}}},
       FailedOpen{DeviceKind::kSerialPort, "/dev/ttyO1", ENOENT, "z", "tnc.hex"},
       {"z: serial ports on this computer: /dev/serial0 -> ttyAMA0, /dev/ttyAMA0, /dev/ttyS0, "
        "/dev/ttyUSB9, /dev/ttyUSB10, /dev/ttyACM0",
        "z: name the port as the first argument: z /dev/serial0 0 tnc.hex"}},
      {{.dev = {"ttyS0"}},
       FailedOpen{DeviceKind::kSerialPort, "/dev/ttyAMA0", EIO, "z", "tnc.hex"},
       {"z: no serial port on this computer (serial0, ttyAMA*, ttyS* with a UART, ttyUSB*, "
        "ttyACM*): enable the UART or plug in the adapter",
        "z: name the port as the first argument: z /dev/ttyUSB0 0 tnc.hex"}},
      {{.dev = {"i2c-20", "i2c-3", "ttyS0"}},
       FailedOpen{DeviceKind::kI2CBus, "/dev/i2c-1", ENOENT, "z"},
       {"z: I2C buses on this computer: /dev/i2c-3, /dev/i2c-20; the first argument is the number "
        "after /dev/i2c-"}},
      {{},
       FailedOpen{DeviceKind::kI2CBus, "/dev/i2c-1", ENOENT, "z"},
       {"z: no I2C bus on this computer (/dev/i2c-*): load the i2c-dev module (sudo modprobe "
        "i2c-dev) and enable the bus in the computer's boot configuration"}},
      {{.texts = {{"/proc/412/cgroup", kV1 + "0::/system.slice/y.service\n"}}},
       Holder{412, "kissattach"},
       {"z: kissattach (pid 412) runs in kiss.service: sudo systemctl stop kiss.service for the "
        "update"}},
      {{.texts = {{"/proc/77/cgroup",
                   "0::/system.slice/system-serial\\x2dgetty.slice/serial-getty@ttyS0.service\n"}}},
       Holder{77, "agetty"},
       {"z: agetty (pid 77) is the serial login prompt of serial-getty@ttyS0.service: sudo "
        "systemctl stop serial-getty@ttyS0.service"}},
      {{.texts = {{"/proc/9/cgroup", kV1}, {"/proc/self/cgroup", kV1}}}, Holder{9, "sh"}, {}},
  };
  for (const auto& c : cases) {
    const FakeSystem system(c.facts);
    std::vector<std::string> lines;
    if (const auto* open = std::get_if<FailedOpen>(&c.fault))
      lines = OpenFailureHints(*open, system);
    if (const auto* holder = std::get_if<Holder>(&c.fault)) {
      if (auto line = HolderServiceHint("z", holder->first, holder->second, system))
        lines = {*line};
    }
    EXPECT_EQ(lines, c.lines);
  }
}

}  // namespace
}  // namespace zelmo::hints
