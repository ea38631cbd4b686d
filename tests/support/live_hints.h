#pragma once

#include <cerrno>
#include <string>

#include "hints/device_hints.h"

namespace zelmo::testing {

// The hint lines that follow a device missing from this computer, made
// from its own facts (the rows of the hint table pin down their texts).
inline std::string LiveMissingDeviceHints(hints::DeviceKind kind, const std::string& path,
                                          const std::string& hex_file = "") {
  std::string text;
  for (const std::string& line : hints::OpenFailureHints(
           {kind, path, ENOENT, "zelmo_flash", hex_file}, hints::LiveSystem{})) {
    text += line + "\n";
  }
  return text;
}

}  // namespace zelmo::testing
