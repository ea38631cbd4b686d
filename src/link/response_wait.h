#pragma once

#include <cstdint>
#include <span>

#include "link/clock.h"
#include "link/link.h"

namespace zelmo::link {

constexpr int kFirstPauseMs = 100;
constexpr int kPollPauseMs = 10;
// The largest serial reply a single wait gathers.
constexpr std::size_t kMaxReply = 256;

// What a wait returns when a transfer failed (I2C); errno says why.
constexpr int kTransferFailed = -1;
// What a wait returns when the device went away (Link::Lost says how).
constexpr int kLinkGone = -2;

// Collects at least `minimum` reply bytes into destination within `budget`
// ms. Returns the count collected, 0 when the budget ran out first,
// kTransferFailed or kLinkGone.
// Never stores past the end of destination.
// A passing read error is told to report, if given, as it happens.
int WaitForResponse(Link& link, Clock& clock, std::span<std::uint8_t> destination, int minimum,
                    int budget, const ReadErrorReport& report = {});

}  // namespace zelmo::link
