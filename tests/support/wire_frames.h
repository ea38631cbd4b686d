#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <vector>

#include "protocol/frames.h"

namespace zelmo::testing {

using Bytes = std::vector<std::uint8_t>;

// The reset request as the serial link sends it, and the sync request.
inline const Bytes kReset(protocol::kSerialResetRequest.begin(),
                          protocol::kSerialResetRequest.end());
inline const Bytes kSync(protocol::kSyncRequest.begin(), protocol::kSyncRequest.end());

// The 68-byte block writes among the frames on the wire, in order.
inline std::vector<Bytes> BlockWrites(const std::vector<Bytes>& frames) {
  std::vector<Bytes> writes;
  std::copy_if(frames.begin(), frames.end(), std::back_inserter(writes),
               [](const Bytes& frame) { return frame.size() == 68; });
  return writes;
}

// How many requests with the given command code are among the frames (the
// reset and sync requests have none).
inline std::size_t CountCommand(const std::vector<Bytes>& frames, std::uint8_t code) {
  return static_cast<std::size_t>(std::count_if(
      frames.begin(), frames.end(),
      [code](const Bytes& f) { return f.front() == code && f.front() != protocol::kFrameStart; }));
}

// The read requests of one pass over the application region, 0x0200 up.
inline std::vector<Bytes> ApplicationReads() {
  std::vector<Bytes> frames;
  for (unsigned a = 0x0200; a < 0x1000; a += 32) {
    frames.push_back(
        {0x02, static_cast<std::uint8_t>(a >> 8U), static_cast<std::uint8_t>(a & 0xFFU)});
  }
  return frames;
}

// What one pass over the application region shows: each block's address
// overwriting the one before.
inline std::string ApplicationReadDisplays() {
  std::string text;
  for (const Bytes& read : ApplicationReads()) {
    std::array<char, 8> display{};
    std::snprintf(display.data(), display.size(), "%02x%02x\r", read[1], read[2]);
    text += display.data();
  }
  return text;
}

}  // namespace zelmo::testing
