#pragma once

#include <functional>
#include <string>
#include <vector>

namespace zelmo::testing {

struct ProcessResult {
  int status = -1;  // exit status, or -1 when killed or not started
  int signal = 0;   // the signal that ended it, if one did
  std::string out;
  std::string err;
};

struct ProcessOptions {
  std::vector<std::string> environment;  // NAME=value added to the test's own
  int timeout_seconds = 60;
  // Called once with the program's pid when its stdout first holds cue;
  // true: the test stops reading stdout, as a pipe's reader that went away.
  std::string cue;
  std::function<bool(int pid)> at_cue;
};

// argv with the command in ZELMO_FLASH_WRAPPER put before it (split at
// blanks), so the same tests can run the program under valgrind; a cross
// build's emulator is the wrapper when none is given.
std::vector<std::string> Wrapped(std::vector<std::string> argv);

// Runs a program to its end and collects what it printed.
ProcessResult RunProcess(const std::vector<std::string>& argv, const ProcessOptions& options = {});

// A program left running in the background until Stop() or destruction.
class BackgroundProcess {
 public:
  explicit BackgroundProcess(const std::vector<std::string>& argv);
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;
  BackgroundProcess(BackgroundProcess&&) = delete;
  BackgroundProcess& operator=(BackgroundProcess&&) = delete;
  ~BackgroundProcess();

  // The first line the program printed on stdout.
  [[nodiscard]] const std::string& FirstLine() const { return first_line_; }
  [[nodiscard]] int Pid() const { return pid_; }
  void Stop();
  // Waits for the program to end by itself; its exit status, or -1.
  int Wait();

 private:
  int pid_ = -1;
  std::string first_line_;
};

}  // namespace zelmo::testing
