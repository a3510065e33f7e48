// The tool's own GetTickCount64 for Windows XP: see app/XpTickCount64.cpp.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

// A 64-bit millisecond count widened from a 32-bit one, which any thread may
// read at any time. Each widened count is handed out only if no other thread
// handed one out since it read the last: so the count never goes back, and a
// wrap of the 32-bit count is counted once, however the readers meet.
class WidenedTickCount {
public:
    using Source = DWORD(WINAPI*)(); // the 32-bit count: GetTickCount, or a test's clock

    constexpr explicit WidenedTickCount(Source source) : source_(source) {}
    uint64_t Read();

private:
    Source source_;
    std::atomic<uint64_t> last_{0}; // the last widened count handed out, 0 before the first
};
