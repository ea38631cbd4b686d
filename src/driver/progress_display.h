#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "base/console.h"
#include "link/clock.h"

namespace zelmo::driver {

// Every line a run prints on the console's out stream, and the block
// addresses that overwrite each other while code is read, programmed and
// verified. At a terminal a display also shows the phase's progress and
// the time it still takes, measured on the run's clock; anywhere else it
// is the bare "%04x\r" that logs and scripts have always seen.
class ProgressDisplay {
 public:
  ProgressDisplay(const Console& console, link::Clock& clock) : console_(console), clock_(&clock) {}

  // A phase of blocks begins: its pace is measured from now.
  void BeginPhase(int total);

  // Shows a block's address; block_done: the block is already handled
  // (a read), not about to be (a write).
  void Show(std::uint16_t address, bool block_done);

  // A text. One that continues the line of a display clears that line
  // first at a terminal, so nothing of a longer display is left beside it.
  void Text(std::string_view text);

  // A text made by snprintf from format and its arguments.
  template <typename First, typename... Rest>
  void Print(const char* format, First first, Rest... rest) {
    const int length = std::snprintf(nullptr, 0, format, first, rest...);
    if (length < 0) return;
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(text.data(), text.size(), format, first, rest...);
    text.pop_back();
    Text(text);
  }

 private:
  [[nodiscard]] std::int64_t SecondsLeft(int done) const;

  Console console_;
  link::Clock* clock_;  // a pointer, so that a new try can start with a new display
  int total_ = 0;
  int shown_ = 0;
  std::int64_t started_ms_ = 0;
  bool on_display_line_ = false;
};

}  // namespace zelmo::driver
