#include <cstdio>

#include "driver/updater.h"
#include "run_end.h"

namespace zelmo::driver {

namespace {
constexpr int kResetPauseMs = 100;
}  // namespace

// The running firmware needs time to restart, and a board that is not
// there yet gets asked again: without limit unless a limit was given.
void Updater::EnterBootloader(const HandshakeOptions& options) {
  int received = 0;
  for (int attempt = 1; received == 0; ++attempt) {
    clock_.Sleep(kResetPauseMs);
    Say("Sending Reset Request");
    link_.SendResetRequest();
    clock_.Sleep(kResetPauseMs);
    SendBlock(protocol::BuildSyncRequest(Block));
    received = Wait(RXBlock, 1, protocol::kSyncBudget);
    if (received != 0) break;
    if (attempt == 1 && options.on_first_silence) options.on_first_silence();
    if (attempt == options.attempts) GiveUp(attempt);
  }
  if (RXBlock[0] != protocol::kSyncAccepted) {
    std::fflush(console_.out);
    EndRun(1);
  }
}

void Updater::GiveUp(int attempts) {
  display_.Print("No answer from the bootloader after %d attempt%s\n", attempts,
                 attempts == 1 ? "" : "s");
  std::fflush(console_.out);
  EndRun(1);
}

}  // namespace zelmo::driver
