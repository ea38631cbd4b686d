#pragma once

#include <cstdint>
#include <span>

#include "console.h"
#include "link/clock.h"
#include "link/link.h"

namespace zelmo::link {

constexpr int kFirstPauseMs = 100;
constexpr int kPollPauseMs = 10;
// The largest serial reply a single wait gathers.
constexpr std::size_t kMaxReply = 256;

// Collects at least `minimum` reply bytes into destination within `budget`
// ms. Returns the count collected, or 0 when the budget ran out first.
// Never stores past the end of destination.
int WaitForResponse(Link& link, Clock& clock, const Console& console,
                    std::span<std::uint8_t> destination, int minimum, int budget);

}  // namespace zelmo::link
