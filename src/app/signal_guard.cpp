#include "app/signal_guard.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>

namespace zelmo {
namespace {

// Formatted before the handler is installed: inside it only write(2),
// sigaction(2) and raise(3) are used, all async-signal-safe.
struct Message {
  std::array<char, 256> text{};
  std::size_t length = 0;

  void Set(const char* format, const std::string& progname) {
    const int written = std::snprintf(text.data(), text.size(), format, progname.c_str());
    length = written < 0 ? 0 : std::min(static_cast<std::size_t>(written), text.size() - 1);
  }
  void Write() const {
    if (write(STDERR_FILENO, text.data(), length) < 0) return;  // nothing to do about it
  }
};

Message warning;
Message stopping;
volatile std::sig_atomic_t interrupted = 0;
volatile std::sig_atomic_t hung_up = 0;

void SetAction(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;  // NOLINT(cppcoreguidelines-pro-type-union-access)
  // One stop request at a time: the two must not interleave their messages.
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGINT);
  sigaddset(&action.sa_mask, SIGTERM);
  action.sa_flags = SA_RESTART;
  sigaction(signal, &action, nullptr);
}

// The signal stays blocked while its handler runs, so the one raised here
// ends the process as soon as the handler returns.
extern "C" void OnStopRequest(int signal) {
  const int saved = errno;
  if (interrupted == 0) {
    interrupted = 1;
    warning.Write();
  } else {
    stopping.Write();
    SetAction(signal, SIG_DFL);
    raise(signal);
  }
  errno = saved;
}

// The update goes on; only no new try may begin.
extern "C" void OnHangUp(int /*signal*/) { hung_up = 1; }

}  // namespace

bool StopRequested() { return interrupted != 0 || hung_up != 0; }

void IgnoreBrokenPipes() { SetAction(SIGPIPE, SIG_IGN); }

void ProtectChanges(const std::string& progname) {
  warning.Set(
      "%s: the board is being written; stopping now can leave it without its firmware. "
      "Interrupt again to stop anyway.\n",
      progname);
  stopping.Set(
      "%s: stopped before the update was complete; run the same command again to finish it\n",
      progname);
  SetAction(SIGHUP, OnHangUp);
  SetAction(SIGINT, OnStopRequest);
  SetAction(SIGTERM, OnStopRequest);
}

}  // namespace zelmo
