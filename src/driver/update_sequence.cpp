#include <cstdio>

#include "driver/updater.h"

namespace zelmo::driver {

// Every phase compares before it changes, so a try after a passing fault
// writes only what still differs, and its verification proves the result.
RunEnding Updater::Run(const RunPlan& plan) {
  plan_ = &plan;
  for (int number = 1;; ++number) {
    try {
      return Try();
    } catch (const TryFailure& failure) {
      if (!MayRetry(failure, number)) return {1, failure.message};
      display_.Print("Trying again (%d of %d)\n", number, plan.retries);
      std::fflush(console_.out);
      link_.DropWaitingInput(clock_);
    }
  }
}

// Only a board whose bootloader has answered once can have met a passing
// fault; and one that was asked to stop must not be started on again.
bool Updater::MayRetry(const TryFailure& failure, int number) const {
  const bool stopping = plan_->stop_requested && plan_->stop_requested();
  return failure.retryable && bootloader_answered_ && number <= plan_->retries && !stopping;
}

// A try knows nothing of the one before but whether it changed the board.
void Updater::BeginTry() {
  OldCode = {};
  EEPROM = {};
  Block = {};
  RXBlock = {};
  FlashAddr = 0;
  read_ = {};
  display_ = ProgressDisplay(console_, clock_);
  changed_before_ = changed_before_ || changing_;
  changing_ = false;
  ++tally_.tries;
}

// A check ends the run by itself; a backup comes before any change, and
// its reads are the phases' first reads: nothing has changed in between.
RunEnding Updater::Try() {
  BeginTry();
  EnterBootloader(plan_->handshake);
  if (plan_->check) return CheckBoard();
  if (plan_->backup != nullptr && !backup_saved_) SaveBoard(*plan_->backup);
  UpdateEEPROM();
  return UpdateCode();
}

// The protection of a board half written starts with the request itself.
void Updater::Changing() {
  if (changing_) return;
  changing_ = true;
  tally_.wrote = true;
  if (!changed_before_ && plan_->before_change) plan_->before_change();
}

void Updater::StartFirmware() {
  Say("Starting the firmware");
  SendBlock(protocol::BuildRun(Block));
}

}  // namespace zelmo::driver
