#pragma once

#include <memory>
#include <string>
#include <vector>

#include "base/run_failure.h"
#include "captured_console.h"
#include "driver/updater.h"
#include "fake_clock.h"
#include "image/word_image.h"
#include "sim_link.h"
#include "tools/simboard/board_model.h"
#include "wire_frames.h"

namespace zelmo::testing {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
  std::string message;  // the text the run ended with
  driver::RunTally tally;
};

// A whole update in-process: the updater, the simulated board behind the
// link seam, and a clock that only counts.
class UpdateBench {
 public:
  explicit UpdateBench(sim::Faults faults = {}, bool i2c = false)
      : UpdateBench(sim::BoardModel(std::move(faults)), i2c) {}
  UpdateBench(sim::BoardModel model, bool i2c) : board(std::move(model)), link(board, clock, i2c) {
    image->fill(image::kBlankWord);
  }

  // A whole run as the program makes it, to its ending.
  Outcome Run(const driver::RunPlan& plan = {}) {
    driver::Updater updater(*image, link, clock, console.Get());
    Outcome outcome;
    try {
      outcome.status = updater.Run(plan);
    } catch (const RunFailure& failure) {
      outcome.status = failure.status;
      outcome.message = failure.message;
    }
    outcome.tally = updater.Tally();
    outcome.out = console.Out();
    outcome.err = console.Err();
    return outcome;
  }

  // The frames written, in order (I2C send-byte transfers left out).
  [[nodiscard]] std::vector<Bytes> Writes() const {
    std::vector<Bytes> frames;
    for (const auto& transfer : link.Transfers()) {
      if (transfer.kind == sim::Transfer::Kind::kWrite) frames.push_back(transfer.bytes);
    }
    return frames;
  }

  // Puts the image's application and EEPROM content on the board.
  void BoardHoldsImage() { board.Load(*image); }

  void SetBlock(std::uint16_t address, std::uint16_t first_word) {
    for (std::uint16_t i = 0; i < 32; ++i)
      (*image)[address + i] = static_cast<std::uint16_t>(first_word + i);
  }

  std::unique_ptr<image::WordImage> image = std::make_unique<image::WordImage>();
  CapturedConsole console;
  sim::BoardModel board;
  sim::FakeClock clock;
  sim::SimLink link;
};

}  // namespace zelmo::testing
