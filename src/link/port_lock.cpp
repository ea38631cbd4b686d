#include "link/port_lock.h"

#include <sys/file.h>

#include <cerrno>
#include <cstdio>

#include "link/port_holders.h"
#include "run_end.h"

namespace zelmo::link {

// A port whose filesystem cannot lock is used as before: the lock only
// guards against another program, it is not needed to talk to the board.
bool TakeLock(int fd) { return flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK; }

void LockPort(int fd, const std::string& path, const std::string& progname,
              const Console& console) {
  if (TakeLock(fd)) return;
  std::fflush(console.out);
  const std::string refusal = progname + ": " + path + " is in use by another program";
  std::fprintf(console.err, "%s\n", refusal.c_str());
  NameHolders(fd, progname, path + " is open in", "", console);
  EndRun(1, refusal);
}

}  // namespace zelmo::link
