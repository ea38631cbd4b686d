#include "driver/updater.h"

namespace zelmo::driver {

// A check ends the run by itself; a backup comes before any change.
void Updater::Run(const RunPlan& plan) {
  EnterBootloader(plan.handshake);
  if (plan.check) CheckBoard(plan.backup);
  if (plan.backup != nullptr) SaveBoard(*plan.backup);
  UpdateEEPROM();
  UpdateCode();
}

}  // namespace zelmo::driver
