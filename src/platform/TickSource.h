#pragma once
// Milliseconds as a 32-bit count that wraps after about 49.7 days, from a monotonic clock.
#include <cstdint>
#include <functional>

namespace platform {

std::uint32_t GetTickCount();

// What the auto-update pass reads the time from; tests replace it to drive time.
using TickSource = std::function<std::uint32_t()>;

} // namespace platform
