#include "driver/updater.h"

#include <cerrno>
#include <cstring>

#include "link/response_wait.h"

namespace zelmo::driver {

void Updater::Send(std::span<const std::uint8_t> frame) {
  link_.WriteBlock(frame);
  CheckLink();
}

void Updater::SendBlock(std::size_t length) {
  Send(std::span<const std::uint8_t>(Block).first(length));
}

// A transfer that failed was reported where it failed.
int Updater::Wait(std::span<std::uint8_t> destination, int minimum, int budget) {
  const int count = link::WaitForResponse(link_, clock_, console_, destination, minimum, budget);
  if (count == link::kTransferFailed) {
    throw TryFailure{std::string("poll failed: ") + std::strerror(errno)};
  }
  CheckLink();
  return count;
}

void Updater::CheckLink() {
  if (link_.Lost()) WentAway();
}

// Nothing more reaches the board through this descriptor: waiting out the
// budgets would only delay the ending, and asking again would never end.
void Updater::WentAway() {
  const link::Loss loss = *link_.Lost();
  std::fflush(console_.out);
  if (loss.error != 0) {
    errno = loss.error;
    PrintSystemError(console_, loss.call);
  }
  Fail((link_.Name() + " went away").c_str(), Retry::kAlways);
}

void Updater::Say(const char* text) { display_.Text(std::string(text) + "\n"); }

RunEnding Updater::Done(int status) const {
  std::fflush(console_.out);
  return {status, {}};
}

void Updater::Fail(const char* text, Retry retry) {
  Say(text);
  std::fflush(console_.out);
  throw TryFailure{text, retry};
}

std::uint16_t Updater::OldCodeWord(std::uint16_t address) const {
  const std::size_t at = 2 * static_cast<std::size_t>(address);
  return static_cast<std::uint16_t>((OldCode[at] << 8U) | OldCode[at + 1]);
}

}  // namespace zelmo::driver
