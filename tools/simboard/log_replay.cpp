#include "tools/simboard/log_replay.h"

#include <algorithm>

#include "link/wire_trace.h"

namespace zelmo::sim {

std::size_t LogReplay::NextSent() const {
  std::size_t at = next_;
  while (at < log_.lines.size() && log_.lines[at].direction != '>') ++at;
  return at;
}

void LogReplay::Take(std::vector<std::uint8_t>& pending,
                     std::vector<std::vector<std::uint8_t>>& frames,
                     std::deque<std::uint8_t>& output, int& not_ready) {
  while (!pending.empty() && !Failed()) {
    const std::string frame =
        "frame " + std::to_string(matched_ + 1) + " (" + link::HexBytes(pending) + ")";
    const std::size_t sent = NextSent();
    if (sent == log_.lines.size()) {
      failure_ = frame + " comes after the log has ended";
      return;
    }
    const link::WireLogLine& expected = log_.lines[sent];
    const std::size_t compared = std::min(pending.size(), expected.bytes.size());
    if (!std::equal(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(compared),
                    expected.bytes.begin())) {
      failure_ = frame + " differs from the log: line " + std::to_string(expected.number) +
                 " has " + link::HexBytes(expected.bytes);
      return;
    }
    if (pending.size() < expected.bytes.size()) return;
    const auto end = pending.begin() + static_cast<std::ptrdiff_t>(expected.bytes.size());
    frames.emplace_back(pending.begin(), end);
    pending.erase(pending.begin(), end);
    ++matched_;
    next_ = sent + 1;
    Answer(output, not_ready);
  }
}

void LogReplay::Answer(std::deque<std::uint8_t>& output, int& not_ready) {
  if (next_ >= log_.lines.size() || log_.lines[next_].direction != '<') return;
  const link::WireLogLine& reply = log_.lines[next_++];
  if (reply.timed_out) return;
  not_ready = reply.not_ready;
  output.insert(output.end(), reply.bytes.begin(), reply.bytes.end());
}

std::string LogReplay::Report() const {
  if (Failed()) return failure_;
  const std::size_t sent = NextSent();
  if (sent == log_.lines.size()) {
    return "all " + std::to_string(matched_) + " frames came as logged";
  }
  const link::WireLogLine& expected = log_.lines[sent];
  return "the port was closed after frame " + std::to_string(matched_) +
         "; the log goes on: line " + std::to_string(expected.number) + " has " +
         link::HexBytes(expected.bytes);
}

}  // namespace zelmo::sim
