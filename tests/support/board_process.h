#pragma once

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "process.h"
#include "temp_folder.h"

namespace zelmo::testing {

// The simulated board's program: a native one beside an emulated updater.
inline std::string SimboardBinary() {
  const char* native = std::getenv("ZELMO_SIMBOARD");
  return native != nullptr ? native : ZELMO_SIMBOARD_BINARY;
}

// A simulated board on its own terminal; Frames() holds what it received,
// each frame as blank-separated hex pairs.
class Board {
 public:
  explicit Board(const std::vector<std::string>& options)
      : trace_(folder_.File("board.trace")), process_(Command(options, trace_)) {}

  [[nodiscard]] const std::string& Port() const { return process_.FirstLine(); }

  std::vector<std::string> Frames() {
    process_.Stop();
    std::vector<std::string> frames;
    std::istringstream text(FileContent(trace_));
    for (std::string line; std::getline(text, line);)
      frames.push_back(line.substr(line.find(' ') + 1));
    return frames;
  }

 private:
  static std::vector<std::string> Command(const std::vector<std::string>& options,
                                          const std::string& trace) {
    std::vector<std::string> command = {SimboardBinary(), "--trace", trace};
    command.insert(command.end(), options.begin(), options.end());
    return command;
  }

  TempFolder folder_;
  std::string trace_;
  BackgroundProcess process_;
};

// The environment that puts a simulated board on /dev/i2c-7, through the
// preloaded stand-in for i2c-dev, for a program run at the I2C seam.
inline std::vector<std::string> OnI2CBus(std::vector<std::string> settings) {
  std::string preload = std::string("LD_PRELOAD=") + ZELMO_I2C_SHIM;
#ifdef ZELMO_EMULATOR
  preload = "QEMU_SET_ENV=" + preload;  // the emulated program, not qemu
#endif
  // The shim must come before the sanitizer runtime in sanitized builds.
  settings.insert(settings.end(),
                  {preload, "ZELMO_SHIM_BUS=/dev/i2c-7", "ASAN_OPTIONS=verify_asan_link_order=0"});
  return settings;
}

}  // namespace zelmo::testing
