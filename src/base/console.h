#pragma once

#include <cstdio>
#include <string>

namespace zelmo {

// Where a run's messages go. Tests hand in memory streams; the program
// uses stdout (line-buffered) and stderr.
struct Console {
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  bool terminal = false;  // out is a terminal that a person reads
};

// Whether stream is a terminal, other than one that says it is dumb: only
// there may a display draw more than plain text.
bool FacesTerminal(std::FILE* stream);

// perror() to the console's error stream: "text: system error text".
// Returns the line printed, without its line end.
std::string PrintSystemError(const Console& console, const char* text);

// "Cannot write PATH: system error text" on the error stream, after what
// is waiting on out.
std::string PrintCannotWrite(const Console& console, const char* path);

}  // namespace zelmo
