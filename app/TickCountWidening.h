// GetTickCount's 32-bit millisecond count widened to 64 bits, for systems
// without GetTickCount64 (Windows XP): see app/XpTickCount64.cpp.
#pragma once

#include <cstdint>

// The widened count after `last` (an earlier widened count, 0 at first) when
// GetTickCount now reads `now`. The 32-bit count wraps every 49.7 days; a
// count below the low half of `last` has wrapped since, once, provided the
// count is read at least once in every 49.7 days.
constexpr uint64_t WidenTickCount(uint64_t last, uint32_t now) {
    uint64_t wraps = last >> 32;
    if (now < uint32_t(last)) ++wraps;
    return (wraps << 32) | now;
}
