#include "link/SerialLine.h"

#include <algorithm>
#include <climits>

namespace ixo {

namespace {

using Clock = std::chrono::steady_clock;

// Far enough to be "never" for a serial transfer, near enough not to overflow the clock.
constexpr std::int64_t LongestWaitMs = std::int64_t{1} << 40;

}  // namespace

Deadline Deadline::After(std::int64_t milliseconds) {
    const std::int64_t ms = std::clamp<std::int64_t>(milliseconds, 0, LongestWaitMs);
    return Deadline(Clock::now() + std::chrono::milliseconds(ms));
}

bool Deadline::Passed() const {
    return Clock::now() >= end_;
}

int Deadline::MillisecondsLeft() const {
    const auto left = end_ - Clock::now();
    if (left <= Clock::duration::zero()) return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

}  // namespace ixo
