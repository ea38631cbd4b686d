#pragma once

namespace zelmo::link {

// Takes an exclusive advisory lock on the open serial port, held until it
// is closed, so that two updaters, or an updater and a program that locks
// its port, never share a board. False only when another program holds a
// lock: a port whose filesystem cannot lock is used as before, since the
// lock only guards against another program.
bool TakeLock(int fd);

}  // namespace zelmo::link
