#include "driver/progress_display.h"

#include <cstdio>

namespace zelmo::driver {
namespace {

// Erases from the cursor to the end of the line.
constexpr const char* kClearToEnd = "\x1b[K";

// Whole percent, rounded, but 100 only when the phase is complete.
int Percent(int shown, int total) {
  if (shown >= total) return 100;
  const int rounded = (200 * shown + total) / (2 * total);
  return rounded < 100 ? rounded : 99;
}

}  // namespace

void ProgressDisplay::BeginPhase(int total) {
  total_ = total;
  shown_ = 0;
  started_ms_ = clock_->NowMs();
}

// Each display overwrites the one before, so it must be seen at once.
void ProgressDisplay::Show(std::uint16_t address, bool block_done) {
  on_display_line_ = true;
  ++shown_;
  if (!console_.terminal || total_ <= 0) {
    std::fprintf(console_.out, "%04x\r", static_cast<unsigned>(address));
    std::fflush(console_.out);
    return;
  }
  std::fprintf(console_.out, "%04x  %3d/%d blocks %3d%%", static_cast<unsigned>(address), shown_,
               total_, Percent(shown_, total_));
  const int done = block_done ? shown_ : shown_ - 1;
  if (done > 0) {
    const std::int64_t left = SecondsLeft(done);
    std::fprintf(console_.out, "  %lld:%02lld left", static_cast<long long>(left / 60),
                 static_cast<long long>(left % 60));
  }
  std::fprintf(console_.out, "%s\r", kClearToEnd);
  std::fflush(console_.out);
}

// The phase's own pace so far, carried over the blocks still to come.
std::int64_t ProgressDisplay::SecondsLeft(int done) const {
  const std::int64_t elapsed_ms = clock_->NowMs() - started_ms_;
  const std::int64_t left_ms = elapsed_ms * (total_ - done) / done;
  return (left_ms + 500) / 1000;
}

void ProgressDisplay::Text(std::string_view text) {
  if (console_.terminal && on_display_line_ && !text.starts_with('\n')) {
    std::fputs(kClearToEnd, console_.out);
  }
  on_display_line_ = false;
  std::fwrite(text.data(), 1, text.size(), console_.out);
}

}  // namespace zelmo::driver
