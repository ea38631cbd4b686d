#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/updater.h"

namespace zelmo::driver {
namespace {

// A try after the first meets a board that has answered before: one that
// stays silent now will not answer a fourth time either.
constexpr int kLaterTryAttempts = 3;
// A USB adapter that resets comes back under its name within seconds.
constexpr int kComeBackMs = 10000;
constexpr int kReopenPauseMs = 100;

}  // namespace

// Every phase compares before it changes, so a try after a passing fault
// writes only what still differs, and its verification proves the result.
int Updater::Run(const RunPlan& plan) {
  plan_ = &plan;
  for (int number = 1;; ++number) {
    try {
      return Try();
    } catch (const RunFailure& failure) {
      if (!MayRetry(failure, number)) throw;
      Display().Print("Trying again (%d of %d)\n", number, plan.retries);
      std::fflush(console_.out);
      if (link_.Lost()) Reconnect();
      link_.DropWaitingInput(clock_, [this](int error) { SayReadError(error); });
    }
  }
}

// Only a board whose bootloader has answered once can have met a passing
// fault, unless the fault says so itself; and a run that was asked to
// stop must not be started on again.
bool Updater::MayRetry(const RunFailure& failure, int number) const {
  const bool stopping = plan_->stop_requested && plan_->stop_requested();
  const bool passing = failure.retry == Retry::kAlways ||
                       (failure.retry == Retry::kOnceAnswered && bootloader_answered_);
  return passing && number <= plan_->retries && !stopping;
}

void Updater::Reconnect() {
  const std::string name = link_.Name();
  Display().Print("Waiting for %s to come back\n", name.c_str());
  const std::int64_t started = clock_.NowMs();
  while (!link_.Reopen()) {
    if (clock_.NowMs() - started >= kComeBackMs) {
      Display().Print("%s did not come back\n", name.c_str());
      std::fflush(console_.out);
      throw RunFailure{name + " did not come back", FailedIn::kBoard};
    }
    clock_.Sleep(kReopenPauseMs);
  }
}

// The first try asks as the run was told to and names who else holds
// the port; a later one ends by itself.
HandshakeOptions Updater::HandshakeOfThisTry() const {
  HandshakeOptions options = plan_->handshake;
  if (tally_.tries == 1) return options;
  options.on_first_silence = nullptr;
  if (options.attempts == 0) options.attempts = kLaterTryAttempts;
  return options;
}

// A check ends the run by itself; a backup comes before any change, and
// its reads are the phases' first reads: nothing has changed in between.
int Updater::Try() {
  try_ = std::make_unique<TryState>(console_, clock_, tally_.wrote);
  ++tally_.tries;
  EnterBootloader(HandshakeOfThisTry());
  if (plan_->check) return CheckBoard();
  if (plan_->backup != nullptr && !backup_saved_) SaveBoard(*plan_->backup);
  UpdateEEPROM();
  return UpdateCode();
}

// The protection of a board half written starts with the request itself.
void Updater::Changing() {
  tally_.board_code.reset();  // no longer what the board holds
  if (tally_.wrote) return;
  tally_.wrote = true;
  if (plan_->before_change) plan_->before_change();
}

void Updater::SendRun() {
  Request(protocol::BuildRun);
  tally_.started = true;
}

void Updater::StartFirmware() {
  Say("Starting the firmware");
  SendRun();
}

}  // namespace zelmo::driver
