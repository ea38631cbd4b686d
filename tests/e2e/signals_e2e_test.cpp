// A hang-up, a stray interrupt or a closed pipe while the board is being
// written: the real program against the simulated board, in real time.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "board_process.h"
#include "image/hex_writer.h"
#include "process.h"
#include "temp_file.h"

namespace zelmo::testing {
namespace {

const std::string kExample = ZELMO_EXAMPLE_HEX;
const std::string kWarning =
    "zelmo_flash: the board is being written; stopping now can leave it without its firmware. "
    "Interrupt again to stop anyway.\n";
const std::string kStopped =
    "zelmo_flash: stopped before the update was complete; run the same command again to finish "
    "it\n";

struct SignalCase {
  const char* name;
  const char* cue;           // sent when stdout shows this
  std::vector<int> signals;  // 300 ms apart
  bool close_stdout;         // the pipe's reader goes away instead
  int ended_by;              // the signal that ends the run; 0: it ends by itself
  std::string err;
};

// gtest names the case, not its bytes.
void PrintTo(const SignalCase& c, std::ostream* os) { *os << c.name; }

// At the cue, the signals go out one by one, or the reader goes away.
ProcessOptions Interrupting(const SignalCase& c, std::vector<std::string> environment = {}) {
  return {.environment = std::move(environment),
          .timeout_seconds = 170,
          .cue = c.cue,
          .at_cue = [&c](int pid) {
            for (const int signal : c.signals) {
              kill(pid, signal);
              std::this_thread::sleep_for(std::chrono::milliseconds(300));
            }
            return c.close_stdout;
          }};
}

class SignalsEndToEnd : public ::testing::TestWithParam<SignalCase> {};

// A blank board: the EEPROM is written first, so by "Erasing..." the board
// has been changing for a while (a cue printed just before the first
// changing request would race with it).
TEST_P(SignalsEndToEnd, TheUpdateEndsWellOrSaysHowToFinishIt) {
  const SignalCase& c = GetParam();
  Board board({});
  const TempFile report("old\n");
  const ProcessResult run = RunProcess(
      Wrapped({ZELMO_FLASH_BINARY, "--report", report.Path(), board.Port(), "0", kExample}),
      Interrupting(c));
  std::ifstream report_file(report.Path());
  const std::string reported(std::istreambuf_iterator<char>(report_file), {});
  // Complete after a survived stop; as it was after a killed run.
  if (c.ended_by != 0) {
    EXPECT_EQ(reported, "old\n");
  } else {
    EXPECT_NE(reported.find(R"("outcome":"updated","message":null,"tries":1,)"
                            R"("eeprom_bytes_written":5,"blocks_written":3,)"),
              std::string::npos)
        << reported;
    EXPECT_TRUE(reported.ends_with("}\n"));
  }
  const std::vector<std::string> frames = board.Frames();
  EXPECT_EQ(run.err, c.err);
  EXPECT_EQ(run.signal, c.ended_by);
  const bool started = !frames.empty() && frames.back() == "08";
  if (c.ended_by == 0) {
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_TRUE(started);  // after "Verified OK": the board holds the file
    EXPECT_TRUE(c.close_stdout || run.out.ends_with("Verified OK\n")) << run.out;
  } else {
    EXPECT_FALSE(started);
  }
  const bool changed = std::any_of(frames.begin(), frames.end(), [](const std::string& f) {
    return f.starts_with("20 ") || f == "04";
  });
  EXPECT_EQ(changed, std::string(c.cue) != "Sending Reset Request") << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignalsEndToEnd,
    ::testing::Values(
        SignalCase{"HangUp", "Erasing...", {SIGHUP}, false, 0, ""},
        SignalCase{"OneInterrupt", "Erasing...", {SIGINT}, false, 0, kWarning},
        SignalCase{
            "TwoInterrupts", "Erasing...", {SIGINT, SIGINT}, false, SIGINT, kWarning + kStopped},
        SignalCase{"TwoTerminations",
                   "Erasing...",
                   {SIGTERM, SIGTERM},
                   false,
                   SIGTERM,
                   kWarning + kStopped},
        SignalCase{"ReaderOfThePipeGone", "Erasing...", {}, true, 0, ""},
        SignalCase{
            "InterruptBeforeAnyChange", "Sending Reset Request", {SIGINT}, false, SIGINT, ""}),
    [](const ::testing::TestParamInfo<SignalCase>& param) {
      return std::string(param.param.name);
    });

// Over I2C at the i2c-dev seam: new settings and code for a blank board;
// the board has been changing since the first EEPROM write, and the two
// interrupts come while the EEPROM is verified.
TEST(SignalsEndToEndI2C, TwoInterruptsWhileTheBoardIsWritten) {
  auto image = std::make_unique<image::WordImage>();
  image->fill(0x0055);
  const TempFile hex(image::FormatHexFile(*image));
  const SignalCase c{"", "Verifying EEPROM", {SIGINT, SIGINT}, false, SIGINT, kWarning + kStopped};
  const ProcessResult run = RunProcess(Wrapped({ZELMO_FLASH_BINARY, "7", "0x20", hex.Path()}),
                                       Interrupting(c, OnI2CBus({})));
  EXPECT_EQ(run.signal, SIGINT);
  EXPECT_EQ(run.err, kWarning + kStopped);
  EXPECT_EQ(run.out.find("Erasing"), std::string::npos) << run.out;
}

}  // namespace
}  // namespace zelmo::testing
