// Windows XP has no GetTickCount64, and it refuses to start a program that
// imports it. The mingw-w64 thread library, which the C++ runtime's locks
// link into the tool, imports it for its timed waits. This file fills the
// import's slot within the tool itself, so that the link never takes the
// system's: the tool counts with GetTickCount, widened to 64 bits, on every
// Windows alike.
//
// Linked into the tool's program, and into the key configuration tests to
// test it; the other tests and the benchmark run on later systems.
// scripts/check-xp-imports checks every import of the tool.
#include "app/XpTickCount64.h"

#include "app/TickCountWidening.h"

uint64_t WidenedTickCount::Read() {
    uint64_t last = last_.load();
    for (;;) {
        // The 32-bit count is read after the last widened one: a count read
        // before it could be older and would be taken for a wrap. A thread
        // that loses the race to store reads both again.
        uint64_t now = WidenTickCount(last, source_());
        if (last_.compare_exchange_weak(last, now)) return now;
    }
}

namespace {

// A function of this file, so that the count is ready before any static
// initialiser (the thread library's among them) can ask for it.
DWORD WINAPI SystemTickCount() {
    return GetTickCount();
}

WidenedTickCount ToolTickCount(SystemTickCount);

ULONGLONG WINAPI ReadToolTickCount() {
    return ToolTickCount.Read();
}

} // namespace

// The slot a dllimport call of GetTickCount64 reads its address from, under
// the name the compiler gives it on each architecture.
extern "C" {
#if defined(_WIN64)
ULONGLONG(WINAPI* GetTickCount64Import)() __asm__("__imp_GetTickCount64") = ReadToolTickCount;
#else
ULONGLONG(WINAPI* GetTickCount64Import)() __asm__("__imp__GetTickCount64@0") = ReadToolTickCount;
#endif
}
