#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <vector>

namespace zelmo::testing {

using Bytes = std::vector<std::uint8_t>;

// The 68-byte block writes among the frames on the wire, in order.
inline std::vector<Bytes> BlockWrites(const std::vector<Bytes>& frames) {
  std::vector<Bytes> writes;
  std::copy_if(frames.begin(), frames.end(), std::back_inserter(writes),
               [](const Bytes& frame) { return frame.size() == 68; });
  return writes;
}

}  // namespace zelmo::testing
