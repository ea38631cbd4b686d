#include "driver/updater.h"

namespace zelmo::driver {

// A check ends the run by itself; a backup comes before any change, and
// its reads are the phases' first reads: nothing has changed in between.
void Updater::Run(const RunPlan& plan) {
  plan_ = &plan;
  EnterBootloader(plan.handshake);
  if (plan.check) CheckBoard();
  if (plan.backup != nullptr) SaveBoard(*plan.backup);
  UpdateEEPROM(plan.backup != nullptr);
  UpdateCode(plan.backup != nullptr);
}

// The protection of a board half written starts with the request itself.
void Updater::Changing() {
  if (changing_) return;
  changing_ = true;
  if (plan_->before_change) plan_->before_change();
}

void Updater::StartFirmware() {
  Say("Starting the firmware");
  SendBlock(protocol::BuildRun(Block));
}

}  // namespace zelmo::driver
