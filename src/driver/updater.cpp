#include "driver/updater.h"

#include <cerrno>
#include <cstring>

#include "link/response_wait.h"

namespace zelmo::driver {

void Updater::Send(std::span<const std::uint8_t> frame) { link_.WriteBlock(frame); }

void Updater::SendBlock(std::size_t length) {
  Send(std::span<const std::uint8_t>(Block).first(length));
}

// A transfer that failed was reported where it failed.
int Updater::Wait(std::span<std::uint8_t> destination, int minimum, int budget) {
  const int count = link::WaitForResponse(link_, clock_, console_, destination, minimum, budget);
  if (count == link::kTransferFailed) {
    throw TryFailure{std::string("poll failed: ") + std::strerror(errno)};
  }
  return count;
}

void Updater::Say(const char* text) { display_.Text(std::string(text) + "\n"); }

RunEnding Updater::Done(int status) const {
  std::fflush(console_.out);
  return {status, {}};
}

void Updater::Fail(const char* text, bool retryable) {
  Say(text);
  std::fflush(console_.out);
  throw TryFailure{text, retryable};
}

std::uint16_t Updater::OldCodeWord(std::uint16_t address) const {
  const std::size_t at = 2 * static_cast<std::size_t>(address);
  return static_cast<std::uint16_t>((OldCode[at] << 8U) | OldCode[at + 1]);
}

}  // namespace zelmo::driver
