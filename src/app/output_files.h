#pragma once

#include <optional>
#include <string>

#include "app/command_line.h"

namespace zelmo {

// Two of the files a run writes (--save, --report, --trace) that are one
// file, by another name, a link or a relative path: the refusal's text
// without its line end, or none. Either would replace the other.
std::optional<std::string> SameFileRefusal(const CommandLine& line, const std::string& progname);

}  // namespace zelmo
