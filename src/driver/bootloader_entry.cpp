#include "driver/updater.h"
#include "run_end.h"

namespace zelmo::driver {

namespace {
constexpr int kResetPauseMs = 100;
}  // namespace

void Updater::SendResetRequest() {
  if (link_.State().i2c != 0) {
    for (const std::uint8_t byte : protocol::kI2CResetBytes) link_.SendByte(byte);
  } else {
    SendBlock(protocol::BuildResetRequest(Block));
  }
}

// The running firmware needs time to restart, and a board that is not
// there yet gets asked again: on the serial link without limit.
void Updater::EnterBootloader() {
  int received = 0;
  while (received == 0) {
    clock_.Sleep(kResetPauseMs);
    Say("Sending Reset Request");
    SendResetRequest();
    clock_.Sleep(kResetPauseMs);
    SendBlock(protocol::BuildSyncRequest(Block));
    received = Wait(RXBlock, 1, protocol::kSyncBudget);
  }
  if (RXBlock[0] != protocol::kSyncAccepted) {
    std::fflush(console_.out);
    EndRun(1);
  }
}

}  // namespace zelmo::driver
