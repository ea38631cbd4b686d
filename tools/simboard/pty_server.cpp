#include "tools/simboard/pty_server.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <stdexcept>

namespace zelmo::sim {
namespace {

constexpr int kIdlePollMs = 50;
constexpr useconds_t kHangUpPollUs = 2000;

}  // namespace

PtyServer::PtyServer(BoardModel& board, std::FILE* trace) : board_(board), trace_(trace) {}

PtyServer::~PtyServer() {
  if (master_ >= 0) close(master_);
}

std::string PtyServer::Open() {
  std::array<char, 256> name{};
  int slave = -1;
  if (openpty(&master_, &slave, name.data(), nullptr, nullptr) != 0) {
    throw std::runtime_error("openpty failed");
  }
  // Raw until the updater sets its own modes, so nothing is echoed or
  // translated. The board does not keep the terminal open itself: like a
  // real port, it is held only by the programs that opened it, and the
  // pair lives on with the master for the next run.
  termios settings{};
  tcgetattr(slave, &settings);
  cfmakeraw(&settings);
  tcsetattr(slave, TCSANOW, &settings);
  close(slave);
  fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);  // NOLINT
  ScheduleReplies();  // stale bytes from the running firmware
  WriteDuePieces();
  return name.data();
}

void PtyServer::Serve(const volatile std::sig_atomic_t& stop, std::size_t frame_limit) {
  while (stop == 0 && (frame_limit == 0 || board_.Frames().size() < frame_limit)) {
    pollfd entry{master_, POLLIN, 0};
    const int ready = poll(&entry, 1, MillisecondsToNextPiece());
    if (ready > 0 && (entry.revents & POLLIN) != 0) {
      ReadHost();
    } else if (ready > 0) {
      // A replay ends when the program that talked to it closes the port.
      if (board_.Replay() != nullptr && !board_.Frames().empty()) return;
      usleep(kHangUpPollUs);  // no one has the terminal open: nothing to read yet
    }
    if (board_.Replay() != nullptr && board_.Replay()->Failed()) return;
    WriteDuePieces();
  }
}

void PtyServer::ReadHost() {
  std::array<std::uint8_t, 512> buffer{};
  const ssize_t got = read(master_, buffer.data(), buffer.size());
  if (got <= 0) return;
  board_.Receive(std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got)));
  TraceNewFrames();
  ScheduleReplies();
}

void PtyServer::TraceNewFrames() {
  const auto& frames = board_.Frames();
  for (; traced_ < frames.size(); ++traced_) {
    if (trace_ == nullptr) continue;
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - started_);
    std::fprintf(trace_, "%lld", static_cast<long long>(ms.count()));
    for (const std::uint8_t byte : frames[traced_]) std::fprintf(trace_, " %02x", byte);
    std::fputc('\n', trace_);
    std::fflush(trace_);
  }
}

void PtyServer::ScheduleReplies() {
  auto& output = board_.Output();
  if (output.empty()) return;
  const std::size_t piece =
      board_.GetFaults().piece_size == 0 ? output.size() : board_.GetFaults().piece_size;
  const auto gap = std::chrono::milliseconds(board_.GetFaults().piece_delay_ms);
  Time due = std::max(std::chrono::steady_clock::now(),
                      pieces_.empty() ? Time{} : pieces_.back().due + gap);
  while (!output.empty()) {
    const std::size_t count = std::min(piece, output.size());
    pieces_.push_back({due, {output.begin(), output.begin() + static_cast<std::ptrdiff_t>(count)}});
    output.erase(output.begin(), output.begin() + static_cast<std::ptrdiff_t>(count));
    due += gap;
  }
}

void PtyServer::WriteDuePieces() {
  const Time now = std::chrono::steady_clock::now();
  while (!pieces_.empty() && pieces_.front().due <= now) {
    auto& bytes = pieces_.front().bytes;
    const ssize_t put = write(master_, bytes.data(), bytes.size());
    if (put < 0) return;  // the terminal is full: try again on the next turn
    bytes.erase(bytes.begin(), bytes.begin() + put);
    if (!bytes.empty()) return;
    pieces_.pop_front();
  }
}

int PtyServer::MillisecondsToNextPiece() const {
  if (pieces_.empty()) return kIdlePollMs;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      pieces_.front().due - std::chrono::steady_clock::now());
  return static_cast<int>(std::clamp<long long>(left.count(), 0, kIdlePollMs));
}

}  // namespace zelmo::sim
