#include "driver/updater.h"

#include "link/response_wait.h"
#include "run_end.h"

namespace zelmo::driver {

void Updater::Send(std::span<const std::uint8_t> frame) { link_.WriteBlock(frame); }

void Updater::SendBlock(std::size_t length) {
  Send(std::span<const std::uint8_t>(Block).first(length));
}

int Updater::Wait(std::span<std::uint8_t> destination, int minimum, int budget) {
  return link::WaitForResponse(link_, clock_, console_, destination, minimum, budget);
}

void Updater::Say(const char* text) { display_.Text(std::string(text) + "\n"); }

void Updater::Fail(const char* text) {
  Say(text);
  std::fflush(console_.out);
  EndRun(1);
}

std::uint16_t Updater::OldCodeWord(std::uint16_t address) const {
  const std::size_t at = 2 * static_cast<std::size_t>(address);
  return static_cast<std::uint16_t>((OldCode[at] << 8U) | OldCode[at + 1]);
}

}  // namespace zelmo::driver
