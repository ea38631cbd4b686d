#include "app/open_link.h"

#include <cerrno>
#include <cstdio>

#include "base/run_failure.h"
#include "hints/device_hints.h"
#include "hints/kernel_console.h"
#include "hints/port_holders.h"
#include "link/port_lock.h"

namespace zelmo {
namespace {

using link::PortOpening;

// What to do about a device that would not open, from this computer's
// facts.
OpenFailureHint HintOpening(hints::DeviceKind kind, const std::string& path,
                            const std::string& progname, const CommandLine& line,
                            const Console& console) {
  return [=](int error) {
    const hints::LiveSystem system;
    hints::PrintHints(hints::OpenFailureHints({kind, path, error, progname, line.hex_file}, system),
                      console);
  };
}

void LockPort(int fd, const std::string& path, const std::string& progname,
              const Console& console) {
  if (link::TakeLock(fd)) return;
  std::fflush(console.out);
  const std::string refusal = progname + ": " + path + " is in use by another program";
  std::fprintf(console.err, "%s\n", refusal.c_str());
  hints::NameHolders(fd, progname, path + " is open in", "", console);
  throw RunFailure{refusal};
}

// The bus opened and the slave selected, silently; fails after its text
// (and the hint's, for a bus that does not open).
std::unique_ptr<link::I2CLink> OpenI2CLink(const std::string& path, int address,
                                           const std::string& progname, const Console& console,
                                           const OpenFailureHint& hint) {
  const link::BusOpening opened = link::OpenI2CBus(path.c_str(), address);
  if (opened.failed == link::BusOpening::Step::kOpen) {
    const std::string failure = progname + ": Cannot find i2c bus " + path;
    std::fprintf(console.err, "%s\n", failure.c_str());
    if (hint) hint(opened.error);
    throw RunFailure{failure};
  }
  if (opened.failed == link::BusOpening::Step::kSelect) {
    FailSaying(FailedIn::kHost, console.err, "%s: Cannot open i2c device %x\n", progname.c_str(),
               static_cast<unsigned>(address));
  }
  return std::make_unique<link::I2CLink>(opened.fd);
}

}  // namespace

std::unique_ptr<link::SerialLink> OpenSerialPort(const std::string& path, int speed,
                                                 const Console& console,
                                                 const OpenFailureHint& hint) {
  using Step = PortOpening::Step;
  std::fprintf(console.out, "\nUsing Serial port %s\n", path.c_str());
  const PortOpening opened = link::OpenCOMPort(path.c_str(), speed);
  if (opened.failed == Step::kNone) return std::make_unique<link::SerialLink>(opened, path);
  if (opened.failed == Step::kOpen) std::fprintf(console.out, "Device %s\n", path.c_str());
  std::fflush(console.out);
  if (opened.failed == Step::kSpeed) {
    FailSaying(FailedIn::kHost, console.err, "tty_speed: invalid speed %d\n", speed);
  }
  errno = opened.error;
  const std::string failure =
      PrintSystemError(console, opened.failed == Step::kOpen            ? "Com Open Failed"
                                : opened.failed == Step::kGetAttributes ? "tty_speed: tcgetattr"
                                                                        : "tty_speed: tcsetattr");
  if (opened.failed == Step::kOpen && hint) hint(opened.error);
  throw RunFailure{failure};
}

OpenedLink OpenLink(const CommandLine& line, const std::string& progname, const Console& console) {
  if (line.i2c != 0) {
    const std::string path = I2CPath(line);
    auto bus = OpenI2CLink(path, line.address, progname, console,
                           HintOpening(hints::DeviceKind::kI2CBus, path, progname, line, console));
    std::fflush(console.out);
    hints::NameHolders(bus->Descriptor(), progname, path + " is also open in",
                       "; if it talks to this board, the update fails: stop it first", console);
    return {std::move(bus), {}};
  }
  std::string path = SerialPath(line);
  auto port =
      OpenSerialPort(path, link::kSerialBaud, console,
                     HintOpening(hints::DeviceKind::kSerialPort, path, progname, line, console));
  LockPort(port->Descriptor(), path, progname, console);
  // The descriptor of the moment: after a reopen the port has a new one.
  const link::SerialLink* serial = port.get();
  return {std::move(port), [serial, path = std::move(path), progname, console] {
            hints::NameHolders(serial->Descriptor(), progname,
                               "no answer yet; " + path + " is also open in", "", console);
            hints::HintKernelConsole(serial->Descriptor(), path, progname, console);
          }};
}

}  // namespace zelmo
