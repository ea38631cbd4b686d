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

// What a wait returns when a transfer failed (I2C), after "poll failed"
// and the system's error text were printed; errno still says why.
constexpr int kTransferFailed = -1;
// What a wait returns when the device went away (Link::Lost says how).
constexpr int kLinkGone = -2;

// Collects at least `minimum` reply bytes into destination within `budget`
// ms. Returns the count collected, 0 when the budget ran out first,
// kTransferFailed or kLinkGone.
// Never stores past the end of destination.
int WaitForResponse(Link& link, Clock& clock, const Console& console,
                    std::span<std::uint8_t> destination, int minimum, int budget);

}  // namespace zelmo::link
