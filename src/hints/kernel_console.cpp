#include "hints/kernel_console.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace zelmo::hints {

bool IsKernelConsole(int fd, const std::string& consoles) {
  struct stat port {};
  if (fstat(fd, &port) != 0 || !S_ISCHR(port.st_mode)) return false;
  std::ifstream file(consoles);
  for (std::string line; std::getline(file, line);) {
    const std::string number = line.substr(line.find_last_of(" \t") + 1);
    unsigned major_number = 0;
    unsigned minor_number = 0;
    char colon = 0;
    std::istringstream fields(number);
    if (fields >> major_number >> colon >> minor_number && colon == ':' &&
        makedev(major_number, minor_number) == port.st_rdev) {
      return true;
    }
  }
  return false;
}

void HintKernelConsole(int fd, const std::string& path, const std::string& progname,
                       const Console& console) {
  if (!IsKernelConsole(fd)) return;
  std::fprintf(console.err,
               "%s: no answer yet; %s is also the kernel's console (console= on the kernel "
               "command line)\n",
               progname.c_str(), path.c_str());
  std::fflush(console.err);
}

}  // namespace zelmo::hints
