#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "link/wire_log.h"

namespace zelmo::sim {

// The board that a wire log recorded: the n-th frame it receives must be
// the n-th frame the log sent, and it answers with what the log's wait
// after that frame collected (nothing where the wait timed out or none
// followed, as after the reset and run requests).
class LogReplay {
 public:
  explicit LogReplay(link::WireLog log) : log_(std::move(log)) {}

  // Takes the frames at the front of pending that came as logged, each
  // into frames and its logged reply into output (and the not-ready bytes
  // before it into not_ready). Stops for good at the first frame that
  // differs from the log or comes after its end; a frame cut short waits
  // in pending for its rest.
  void Take(std::vector<std::uint8_t>& pending, std::vector<std::vector<std::uint8_t>>& frames,
            std::deque<std::uint8_t>& output, int& not_ready);

  [[nodiscard]] bool Failed() const { return !failure_.empty(); }
  // Every frame of the log has come.
  [[nodiscard]] bool Complete() const { return NextSent() == log_.lines.size(); }
  // The frame that went wrong, or, when none did, where the log stands.
  [[nodiscard]] std::string Report() const;

 private:
  // Index of the next '>' line at or after next_; the lines' size if none.
  [[nodiscard]] std::size_t NextSent() const;
  void Answer(std::deque<std::uint8_t>& output, int& not_ready);

  link::WireLog log_;
  std::size_t next_ = 0;
  int matched_ = 0;
  std::string failure_;
};

}  // namespace zelmo::sim
