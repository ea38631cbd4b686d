#include "link/wire_trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>

namespace zelmo::link {

std::string HexBytes(std::span<const std::uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string text;
  text.reserve(3 * bytes.size());
  for (const std::uint8_t byte : bytes) {
    if (!text.empty()) text += ' ';
    text += kDigits[byte >> 4U];
    text += kDigits[byte & 0xFU];
  }
  return text;
}

WireTrace::WireTrace(const std::string& path, Time started, const std::string& header)
    : started_(started) {
  // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
  fd_ = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0666);
  if (fd_ >= 0 && !header.empty()) Write("# " + header + "\n");
}

WireTrace::~WireTrace() {
  if (fd_ >= 0) close(fd_);
}

void WireTrace::Sent(std::span<const std::uint8_t> bytes) { Line('>', HexBytes(bytes)); }

void WireTrace::Received(const WaitOutcome& outcome) {
  std::string payload = outcome.timed_out ? "timeout" : HexBytes(outcome.collected);
  if (outcome.not_ready > 0) payload += " (" + std::to_string(outcome.not_ready) + " not ready)";
  Line('<', payload);
}

void WireTrace::Dropped(std::span<const std::uint8_t> bytes) {
  Write("# dropped before the next try: " + HexBytes(bytes) + "\n");
}

// One write per line: the line is in the file before the run goes on, and
// the log costs a system call per exchange, nothing that a 100 ms pause
// would notice.
void WireTrace::Line(char direction, const std::string& payload) {
  const std::chrono::duration<double> since = std::chrono::steady_clock::now() - started_;
  std::array<char, 32> stamp{};
  const int length =
      std::snprintf(stamp.data(), stamp.size(), "%.3f %c ", since.count(), direction);
  std::string line(stamp.data(), static_cast<std::size_t>(length));
  line += payload;
  line += '\n';
  Write(line);
}

void WireTrace::Write(const std::string& line) const {
  for (std::size_t done = 0; done < line.size();) {
    const ssize_t put = write(fd_, line.data() + done, line.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;  // a full disk must not stop the update itself
    done += static_cast<std::size_t>(put);
  }
}

}  // namespace zelmo::link
