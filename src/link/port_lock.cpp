#include "link/port_lock.h"

#include <sys/file.h>

#include <cerrno>

namespace zelmo::link {

bool TakeLock(int fd) { return flock(fd, LOCK_EX | LOCK_NB) == 0 || errno != EWOULDBLOCK; }

}  // namespace zelmo::link
