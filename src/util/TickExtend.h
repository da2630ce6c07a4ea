#pragma once
// Widening of the 32-bit millisecond tick count to 64 bits for systems without GetTickCount64.
#include <cstdint>

// The next 64-bit count from the last one seen and a fresh 32-bit reading. A reading is taken to lie within
// 2^31 ms (24.8 days) of the last value, so a wrap of the counter moves forward while a slightly stale reading
// from another thread gives a value just below `last`. Zero means nothing seen yet.
inline std::uint64_t ExtendTickCount(std::uint64_t last, std::uint32_t now) {
    if (last == 0) return now;
    const std::int32_t delta = static_cast<std::int32_t>(now - static_cast<std::uint32_t>(last));
    return last + static_cast<std::uint64_t>(static_cast<std::int64_t>(delta));
}
