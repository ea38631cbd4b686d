// zelmo_flash: brings a TNC board's PIC in line with an Intel HEX file
// through its bootloader, over a serial port or an I2C bus.

#include <cstdio>
#include <memory>

#include "command_line.h"
#include "console.h"
#include "driver/updater.h"
#include "image/hex_reader.h"
#include "link/clock.h"
#include "link/i2c_link.h"
#include "link/serial_link.h"
#include "run_end.h"

namespace {

using zelmo::CommandLine;

std::unique_ptr<zelmo::link::Link> OpenLink(const CommandLine& line, const char* argv0,
                                            const zelmo::Console& console) {
  if (line.i2c != 0) {
    const std::string path = zelmo::I2CPath(line);
    const int fd =
        zelmo::link::OpenI2CBus(path.c_str(), line.address, zelmo::ProgramName(argv0), console);
    return std::make_unique<zelmo::link::I2CLink>(fd, line.address);
  }
  const std::string path = zelmo::SerialPath(line);
  const int fd = zelmo::link::OpenCOMPort(path.c_str(), zelmo::link::kSerialBaud, console);
  return std::make_unique<zelmo::link::SerialLink>(fd, console);
}

int Run(int argc, char** argv) {
  const zelmo::Console console;
  const CommandLine line = zelmo::ParseCommandLine(argc, argv);
  if (line.action == CommandLine::Action::kVersion) {
    std::printf("%s\n", zelmo::kVersionText);
    return 1;
  }
  if (line.action == CommandLine::Action::kUsage) {
    std::fputs(zelmo::usage_string, stderr);
    return 1;
  }
  // 128 KiB: kept off the stack.
  static zelmo::image::WordImage NewCode;
  zelmo::image::LoadHexFile(line.hex_file.c_str(), NewCode, console);
  const auto link = OpenLink(line, argc > 0 ? argv[0] : nullptr, console);
  zelmo::link::RealClock clock;
  zelmo::driver::Updater updater(NewCode, *link, clock, console);
  updater.EnterBootloader();
  updater.UpdateEEPROM();
  updater.UpdateCode();
}

}  // namespace

int main(int argc, char** argv) {
  // A log must be complete up to the moment a run is stopped, even in a pipe.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  try {
    return Run(argc, argv);
  } catch (const zelmo::RunEnded& ended) {
    std::fflush(stdout);
    return ended.status;
  }
}
