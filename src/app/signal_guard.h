#pragma once

#include <string>

namespace zelmo {

// A message that cannot be written (the reader of a pipe went away) must
// not end the run: SIGPIPE is ignored from the start.
void IgnoreBrokenPipes();

// From the first request that changes the board to the end of the run, a
// stop would leave the board without its firmware: SIGHUP is noted only, and
// the first SIGINT or SIGTERM only warns, on stderr. A second one ends the
// run by that signal, after saying how to finish the update.
void ProtectChanges(const std::string& progname);

// Whether, since ProtectChanges, a hang-up or a first SIGINT or SIGTERM
// came: the run then ends with the try it is in.
bool StopRequested();

}  // namespace zelmo
