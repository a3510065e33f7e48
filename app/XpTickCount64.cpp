// Windows XP has no GetTickCount64, and it refuses to start a program that
// imports it. The mingw-w64 thread library, which the C++ runtime's locks
// link into the tool, imports it for its timed waits. This file fills the
// import's slot within the tool itself, so that the link never takes the
// system's: the tool counts with GetTickCount, widened to 64 bits, on every
// Windows alike.
//
// Linked into the tool's program only; the tests and benchmarks run on
// later systems. scripts/check-xp-imports checks every import of the tool.
#include "app/TickCountWidening.h"

#include <windows.h>

#include <atomic>

namespace {

// The last widened count handed out. Threads may ask at once: each widens the
// count it read after the last one stored, and a thread that loses the race
// reads again, so no wrap is counted twice and the count never goes back.
std::atomic<uint64_t> LastTickCount{0};

ULONGLONG WINAPI WidenedTickCount() {
    uint64_t last = LastTickCount.load();
    for (;;) {
        uint64_t now = WidenTickCount(last, GetTickCount());
        if (LastTickCount.compare_exchange_weak(last, now)) return now;
    }
}

} // namespace

// The slot a dllimport call of GetTickCount64 reads its address from, under
// the name the compiler gives it on each architecture.
extern "C" {
#if defined(_WIN64)
ULONGLONG(WINAPI* GetTickCount64Import)() __asm__("__imp_GetTickCount64") = WidenedTickCount;
#else
ULONGLONG(WINAPI* GetTickCount64Import)() __asm__("__imp__GetTickCount64@0") = WidenedTickCount;
#endif
}
