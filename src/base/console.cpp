#include "base/console.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

namespace zelmo {

bool FacesTerminal(std::FILE* stream) {
  if (isatty(fileno(stream)) == 0) return false;
  const char* term = std::getenv("TERM");
  return term == nullptr || std::string(term) != "dumb";
}

std::string PrintSystemError(const Console& console, const char* text) {
  const int saved = errno;
  std::string line = std::string(text) + ": " + std::strerror(saved);
  std::fprintf(console.err, "%s\n", line.c_str());
  std::fflush(console.err);
  errno = saved;
  return line;
}

std::string PrintCannotWrite(const Console& console, const char* path) {
  const std::string text = std::string("Cannot write ") + path;
  const int saved = errno;
  std::fflush(console.out);
  errno = saved;
  return PrintSystemError(console, text.c_str());
}

}  // namespace zelmo
