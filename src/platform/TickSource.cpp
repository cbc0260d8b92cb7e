#include "platform/TickSource.h"

#include <chrono>

namespace platform {

std::uint32_t GetTickCount() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<std::uint32_t>(ms); // keeps the low 32 bits: the count wraps
}

} // namespace platform
