#pragma once

// A run ends at the place that knows the outcome, after printing its
// message. Throwing instead of calling exit() lets the whole update run
// in-process under test; main() turns it into the process status.

namespace zelmo {

struct RunEnded {
  int status;
};

[[noreturn]] inline void EndRun(int status) { throw RunEnded{status}; }

}  // namespace zelmo
