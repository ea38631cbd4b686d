#pragma once

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "command_line.h"

namespace zelmo::testing {

// The command line of a run given these arguments (without the program).
inline CommandLine Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "zelmo_flash");
  std::vector<char*> argv;
  std::transform(args.begin(), args.end(), std::back_inserter(argv),
                 [](std::string& arg) { return arg.data(); });
  argv.push_back(nullptr);
  return ParseCommandLine(static_cast<int>(args.size()), argv.data());
}

}  // namespace zelmo::testing
