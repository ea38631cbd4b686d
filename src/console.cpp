#include "console.h"

#include <cerrno>
#include <cstring>

namespace zelmo {

void PrintSystemError(const Console& console, const char* text) {
  const int saved = errno;
  std::fprintf(console.err, "%s: %s\n", text, std::strerror(saved));
  std::fflush(console.err);
  errno = saved;
}

void PrintCannotWrite(const Console& console, const char* path) {
  const int saved = errno;
  std::fflush(console.out);
  std::fprintf(console.err, "Cannot write %s: %s\n", path, std::strerror(saved));
  std::fflush(console.err);
}

void PrintNow(const Console& console, const char* text) {
  std::fputs(text, console.out);
  std::fflush(console.out);
}

}  // namespace zelmo
