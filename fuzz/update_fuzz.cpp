// Fuzz target: a whole update, or a check, with or without --keep-eeprom
// and --start and from a file that may lack a region, against a board
// whose answers the fuzz input tampers with. Beyond the sanitizers, every
// run must keep the updater's promises: only known frames, nothing outside
// words 0x0200-0x0FFF, the erase only after a complete read found a
// difference, the run request only after a verification that matched (or,
// with --start, a read that found the code equal or, in a check, a board
// holding a whole firmware), no EEPROM write where
// the EEPROM is kept, no code request for a file without code, an ending
// from the table, and a check that changes nothing.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "captured_console.h"
#include "driver/updater.h"
#include "fuzz/chaos_link.h"

namespace {

using zelmo::fuzz::Violation;
using Frame = std::vector<std::uint8_t>;

std::unique_ptr<zelmo::image::WordImage> MakeImage(zelmo::fuzz::ByteSource& chaos) {
  auto image = std::make_unique<zelmo::image::WordImage>();
  image->fill(zelmo::image::kBlankWord);
  for (const unsigned block : {0x0200U, 0x0400U, 0x0FE0U}) {
    for (unsigned i = 0; i < 32; ++i) (*image)[block + i] = static_cast<std::uint16_t>(0x2800 + i);
  }
  (*image)[0xF000 + chaos.Next() % 64] = chaos.Next();
  return image;
}

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

bool SentRun(const std::vector<Frame>& frames) {
  return !frames.empty() && frames.back() == Frame{0x08};
}

bool IsFailureEnding(const std::string& out, const std::string& err) {
  static const std::array<const char*, 6> kMessages = {
      "Timeout reading EEPROM\n", "Timeout updating EEPROM\n", "EEPROM update failed\n",
      "Timeout reading code\n",   "Timeout Erasing\n",         "Timeout writing to Flash\n"};
  for (const char* message : kMessages) {
    if (EndsWith(out, message)) return true;
  }
  // Silent endings: a wrong sync answer, a failed verification, a lost slave.
  return EndsWith(out, "Sending Reset Request\n") || EndsWith(out, "\r") ||
         err == "poll failed: No such device or address\n";
}

const char* const kStarting = "Starting the firmware\n";
const char* const kNoCode =
    "No application code in the file; the application region is left as it is\n";

// The run request ends a run that verified, or, with --start, one whose
// code was found up to date; the output says which.
void CheckEnding(int status, const std::string& out, const std::string& err,
                 const std::vector<Frame>& frames, const zelmo::driver::RunPlan& plan) {
  if (status == 0) {
    const bool verified = EndsWith(out, "Verified OK\n") && SentRun(frames);
    const bool started = EndsWith(out, std::string("\nCode is up to date\n") + kStarting);
    const bool current = EndsWith(out, "\nCode is up to date\n") && !SentRun(frames);
    const bool no_code = EndsWith(out, kNoCode) && !plan.file_has_application && !SentRun(frames);
    if (started && (!plan.start || !SentRun(frames))) Violation("started without --start");
    if (!verified && !started && !current && !no_code) {
      Violation("success without a verified or current board");
    }
    return;
  }
  if (status != 1) Violation("unknown exit status");
  if (SentRun(frames)) Violation("failure after the run request");
  if (!IsFailureEnding(out, err)) Violation("failure without a known ending");
}

// What the plan forbids: EEPROM writes where the EEPROM is kept or not in
// the file, any code request where the file holds no code.
void CheckPlanKept(const std::vector<Frame>& frames, const zelmo::driver::RunPlan& plan) {
  for (const Frame& frame : frames) {
    const std::uint8_t code = frame.front();
    if (code == 0x20 && (plan.keep_eeprom || !plan.file_has_eeprom || plan.check)) {
      Violation("an EEPROM write that the run must not send");
    }
    if ((code == 0x01 || code == 0x04 || code == 0x02) && !plan.file_has_application) {
      Violation("a code request for a file without code");
    }
  }
}

void CheckCheckEnding(int status, std::string out, const std::vector<Frame>& frames,
                      const zelmo::driver::RunPlan& plan, bool whole_firmware) {
  for (const Frame& frame : frames) {
    const bool start = frame == Frame{0x08} && &frame == &frames.back() && plan.start;
    const std::uint8_t code = frame.front();
    if ((code == 0x01 || code == 0x04 || code == 0x08 || code == 0x20) && !start) {
      Violation("a check changed the board");
    }
  }
  if (SentRun(frames) != EndsWith(out, kStarting)) Violation("a start the output does not tell");
  if (SentRun(frames)) out.resize(out.size() - std::string(kStarting).size());
  const bool code_equal = EndsWith(out, "\nCode is up to date\n") ||
                          (!plan.file_has_application && EndsWith(out, kNoCode));
  const bool eeprom_equal = out.find("EEPROM is up to date\n") != std::string::npos ||
                            plan.keep_eeprom || !plan.file_has_eeprom;
  if (SentRun(frames) && !EndsWith(out, "\nCode is up to date\n") && !whole_firmware) {
    Violation("a check started an interrupted or blank firmware");
  }
  if (status == 0 && !(code_equal && eeprom_equal)) {
    Violation("a check passed without both parts matching");
  }
  if (status != 0 && status != 1 && status != 2) Violation("unknown exit status of a check");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelmo::fuzz::ByteSource chaos(data, size);
  const std::uint8_t mode = chaos.Next();
  const bool i2c = mode % 2 == 1;
  zelmo::driver::RunPlan plan;
  plan.check = (mode & 0x80U) != 0;
  plan.keep_eeprom = (mode & 0x02U) != 0;
  plan.start = (mode & 0x04U) != 0;
  plan.file_has_eeprom = (mode & 0x08U) == 0;
  plan.file_has_application = (mode & 0x10U) == 0;
  const bool current = chaos.Next() % 2 == 1;
  const auto image = MakeImage(chaos);
  zelmo::sim::BoardModel board;
  if (current) board.Load(*image);
  zelmo::sim::FakeClock clock;
  zelmo::fuzz::ChaosLink link(board, clock, chaos, i2c);
  link.start_allowed = plan.start;
  zelmo::testing::CapturedConsole console;
  zelmo::driver::Updater updater(*image, link, clock, console.Get());
  link.read_back_differs = [&] {
    for (std::uint16_t a = 0x0200; a < 0x1000; ++a) {
      if (updater.OldCodeWord(a) != (*image)[a]) return true;
    }
    return false;
  };
  // The entry block, the last one an update writes, read back not blank.
  const auto whole_firmware = [&] {
    for (std::uint16_t a = 0x0200; a < 0x0220; ++a) {
      if (updater.OldCodeWord(a) != 0x3FFF) return true;
    }
    return false;
  };
  link.may_start_differing = [&] { return plan.check && whole_firmware(); };
  int status = -1;
  try {
    status = updater.Run(plan);
  } catch (const zelmo::RunFailure& failure) {
    status = failure.status;
  } catch (const zelmo::fuzz::ExchangeCapReached&) {
    return 0;
  }
  if (board.Violations() != 0) Violation("request outside the board's regions");
  CheckPlanKept(link.Frames(), plan);
  if (plan.check) {
    CheckCheckEnding(status, console.Out(), link.Frames(), plan, whole_firmware());
  } else {
    CheckEnding(status, console.Out(), console.Err(), link.Frames(), plan);
  }
  return 0;
}
