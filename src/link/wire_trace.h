#pragma once

#include <chrono>
#include <span>
#include <string>

#include "link/link.h"

namespace zelmo::link {

// The wire log of a run: one line per frame sent ("> ") and per reply
// waited for ("< "), each stamped with the seconds since the program
// started. Every line is written to the file as it happens, so the log of
// a run that was killed is complete up to that moment.
class WireTrace final : public WireWatcher {
 public:
  using Time = std::chrono::steady_clock::time_point;

  // Creates or empties the file and writes the header (WireLogHeader), if
  // one is given, as its first line; IsOpen() tells whether it could, and
  // errno why not.
  WireTrace(const std::string& path, Time started, const std::string& header = {});
  WireTrace(const WireTrace&) = delete;
  WireTrace& operator=(const WireTrace&) = delete;
  WireTrace(WireTrace&&) = delete;
  WireTrace& operator=(WireTrace&&) = delete;
  ~WireTrace() override;

  [[nodiscard]] bool IsOpen() const { return fd_ >= 0; }

  void Sent(std::span<const std::uint8_t> bytes) override;
  void Received(const WaitOutcome& outcome) override;
  // A comment line, which every reader of the log skips.
  void Dropped(std::span<const std::uint8_t> bytes) override;

 private:
  void Line(char direction, const std::string& payload);
  void Write(const std::string& line) const;

  Time started_;
  int fd_ = -1;
};

// Bytes as lower-case hex pairs separated by blanks.
std::string HexBytes(std::span<const std::uint8_t> bytes);

}  // namespace zelmo::link
