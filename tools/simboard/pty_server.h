#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "tools/simboard/board_model.h"

namespace zelmo::sim {

// Serves a board model on a pseudo-terminal in real time: what the updater
// writes to the terminal reaches the model, and the model's replies come
// back, split into delayed pieces if the board is set up so.
class PtyServer {
 public:
  PtyServer(BoardModel& board, std::FILE* trace);
  PtyServer(const PtyServer&) = delete;
  PtyServer& operator=(const PtyServer&) = delete;
  PtyServer(PtyServer&&) = delete;
  PtyServer& operator=(PtyServer&&) = delete;
  ~PtyServer();

  // Opens the terminal pair; returns the path the updater is to open.
  std::string Open();
  // Runs until stop becomes non-zero or, when frame_limit is non-zero, the
  // board has received that many frames (a device that goes away). A board
  // that replays a log serves until a frame differs from it, or until the
  // program that sent frames closes the port.
  void Serve(const volatile std::sig_atomic_t& stop, std::size_t frame_limit = 0);

 private:
  using Time = std::chrono::steady_clock::time_point;
  struct Piece {
    Time due;
    std::vector<std::uint8_t> bytes;
  };

  void ReadHost();
  void TraceNewFrames();
  void ScheduleReplies();
  void WriteDuePieces();
  [[nodiscard]] int MillisecondsToNextPiece() const;

  BoardModel& board_;
  std::FILE* trace_;
  Time started_ = std::chrono::steady_clock::now();
  int master_ = -1;
  std::size_t traced_ = 0;
  std::deque<Piece> pieces_;
};

}  // namespace zelmo::sim
