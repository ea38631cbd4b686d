#include "driver/updater.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "link/response_wait.h"

namespace zelmo::driver {

void Updater::Send(std::span<const std::uint8_t> frame) {
  link_.WriteBlock(frame);
  CheckLink();
}

// A passing read error is told as it happens, and the wait goes on.
void Updater::SayReadError(int error) {
  errno = error;
  PrintSystemError(console_, "read");
  std::fprintf(console_.out, "%d\n", error);
}

int Updater::Wait(std::span<std::uint8_t> destination, int minimum, int budget) {
  const int count = link::WaitForResponse(link_, clock_, destination, minimum, budget,
                                          [this](int error) { SayReadError(error); });
  if (count == link::kTransferFailed) {
    std::fflush(console_.out);
    throw RunFailure{PrintSystemError(console_, "poll failed"), FailedIn::kBoard,
                     Retry::kOnceAnswered};
  }
  CheckLink();
  return count;
}

std::uint8_t Updater::Answer(int budget, const char* timeout_text) {
  protocol::Block RXBlock{};
  if (Wait(RXBlock, 1, budget) == 0) Fail(timeout_text);
  return RXBlock[0];
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
  Fail(link_.Name() + " went away", Retry::kAlways);
}

void Updater::Say(const char* text) { Display().Text(std::string(text) + "\n"); }

int Updater::Done(int status) const {
  std::fflush(console_.out);
  return status;
}

void Updater::Fail(const std::string& text, Retry retry) {
  Say(text.c_str());
  std::fflush(console_.out);
  throw RunFailure{text, FailedIn::kBoard, retry};
}

std::uint16_t Updater::OldCodeWord(std::uint16_t address) const {
  const std::size_t at = 2 * static_cast<std::size_t>(address);
  return protocol::WordFromWire(try_->OldCode[at], try_->OldCode[at + 1]);
}

}  // namespace zelmo::driver
