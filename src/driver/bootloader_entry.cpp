#include <array>
#include <cstdio>

#include "driver/updater.h"

namespace zelmo::driver {

namespace {
constexpr int kResetPauseMs = 100;
}  // namespace

// The running firmware needs time to restart, and a board that is not
// there yet gets asked again: without limit unless a limit was given.
void Updater::EnterBootloader(const HandshakeOptions& options) {
  protocol::Block RXBlock{};
  for (int attempt = 1;; ++attempt) {
    clock_.Sleep(kResetPauseMs);
    Say("Sending Reset Request");
    link_.SendResetRequest();
    CheckLink();
    clock_.Sleep(kResetPauseMs);
    Request(protocol::BuildSyncRequest);
    if (Wait(RXBlock, 1, protocol::kSyncBudget) != 0) break;
    if (attempt == 1 && options.on_first_silence) options.on_first_silence();
    if (attempt == options.attempts) GiveUp(attempt);
  }
  if (RXBlock[0] != protocol::kSyncAccepted) RefusedSync(RXBlock[0]);
  bootloader_answered_ = true;
}

// Says nothing, as it always has: the byte is named only where the ending
// is recorded. On a busy channel it is the firmware's last packet, read
// before the bootloader's answer: another try, after the drain, gets past it.
void Updater::RefusedSync(std::uint8_t answer) const {
  std::fflush(console_.out);
  std::array<char, 80> text{};
  std::snprintf(text.data(), text.size(),
                "The bootloader answered the sync with 0x%02x, not 0x%02x", answer,
                protocol::kSyncAccepted);
  throw RunFailure{text.data(), FailedIn::kBoard, Retry::kAlways};
}

// More attempts would not help: the board never answered in this try.
void Updater::GiveUp(int attempts) {
  std::array<char, 64> text{};
  std::snprintf(text.data(), text.size(), "No answer from the bootloader after %d attempt%s",
                attempts, attempts == 1 ? "" : "s");
  Fail(text.data(), Retry::kNever);
}

}  // namespace zelmo::driver
