// Fuzz target: a whole update, or a check, against a board whose answers
// the fuzz input tampers with. Beyond the sanitizers, every run must keep
// the updater's promises: only known frames, nothing outside words
// 0x0200-0x0FFF, the erase only after a complete read found a difference,
// the run request only after a verification that matched, an ending from
// the table, and a check that never sends a frame that changes the board.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "captured_console.h"
#include "driver/updater.h"
#include "fuzz/chaos_link.h"
#include "run_end.h"

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

void CheckEnding(int status, const std::string& out, const std::string& err,
                 const std::vector<Frame>& frames) {
  if (status == 0) {
    const bool verified = EndsWith(out, "Verified OK\n") && SentRun(frames);
    const bool current = EndsWith(out, "\nCode is up to date\n") && !SentRun(frames);
    if (!verified && !current) Violation("success without a verified or current board");
    return;
  }
  if (status != 1) Violation("unknown exit status");
  if (SentRun(frames)) Violation("failure after the run request");
  if (!IsFailureEnding(out, err)) Violation("failure without a known ending");
}

// Block write, erase, run, EEPROM write: the requests a check never sends.
bool ChangesTheBoard(const Frame& frame) {
  const std::uint8_t code = frame.front();
  return code == 0x01 || code == 0x04 || code == 0x08 || code == 0x20;
}

void CheckCheckEnding(int status, const std::string& out, const std::vector<Frame>& frames) {
  for (const Frame& frame : frames) {
    if (ChangesTheBoard(frame)) Violation("a check changed the board");
  }
  const bool compared = EndsWith(out, "\nCode is up to date\n") ||
                        out.find("\nCode differs in ") != std::string::npos;
  if (status == 0 && (!EndsWith(out, "\nCode is up to date\n") ||
                      out.find("EEPROM is up to date\n") == std::string::npos)) {
    Violation("a check passed without both parts matching");
  }
  if (status == 2 && !compared) Violation("a check differed without comparing");
  if (status != 0 && status != 1 && status != 2) Violation("unknown exit status of a check");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zelmo::fuzz::ByteSource chaos(data, size);
  const std::uint8_t mode = chaos.Next();
  const bool i2c = mode % 2 == 1;
  const bool check = (mode & 0x80U) != 0;
  const bool current = chaos.Next() % 2 == 1;
  const auto image = MakeImage(chaos);
  zelmo::sim::BoardModel board;
  if (current) board.Load(*image);
  zelmo::sim::FakeClock clock;
  zelmo::fuzz::ChaosLink link(board, clock, chaos, i2c);
  zelmo::testing::CapturedConsole console;
  zelmo::driver::Updater updater(*image, link, clock, console.Get());
  link.read_back_differs = [&] {
    for (std::uint16_t a = 0x0200; a < 0x1000; ++a) {
      if (updater.OldCodeWord(a) != (*image)[a]) return true;
    }
    return false;
  };
  int status = -1;
  try {
    zelmo::driver::RunPlan plan;
    plan.check = check;
    updater.Run(plan);
  } catch (const zelmo::RunEnded& ended) {
    status = ended.status;
  } catch (const zelmo::fuzz::ExchangeCapReached&) {
    return 0;
  }
  if (board.Violations() != 0) Violation("request outside the board's regions");
  if (check) {
    CheckCheckEnding(status, console.Out(), link.Frames());
  } else {
    CheckEnding(status, console.Out(), console.Err(), link.Frames());
  }
  return 0;
}
