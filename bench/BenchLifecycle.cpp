// The runtime's lifecycle in host-window mode, the key configuration tool's
// case: the per-tick PumpMessages against the cheapest call an application's
// own loop makes each tick (an empty PeekMessageA), with the heap allocations
// a tick makes; and a whole start and shutdown, the start-up split into its
// large steps: the two waits it must make (processor clock estimate, timer
// precision test), the API lock, input, sound and the rest.
#include "Bench.h"

#include "runtime/Runtime.h"
#include "runtime/core/Clock.h"
#include "runtime/diag/TrackedAlloc.h"

#include <windows.h>

#include <cstdio>

namespace {

constexpr const char HostClassName[] = "BenchLifecycleHost";
constexpr uint32_t AllocationProbeTicks = 2000;
constexpr int StartupCycles = 3;

HWND BenchHost;

HWND CreateHostWindow() {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = HostClassName;
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, HostClassName, "", WS_POPUP, 0, 0, 320, 240, nullptr, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

int StartOnHost() {
    SetDrawingDisabled(1);
    SetLogOutput(0);
    SetHostWindow(BenchHost);
    return LibraryStartup();
}

void SetUpHostRuntime() {
    BenchHost = CreateHostWindow();
    if (StartOnHost() != 0) std::printf("BenchLifecycle: the runtime did not start\n");
}

void TearDownHostRuntime() {
    LibraryShutdown();
    DestroyWindow(BenchHost);
    BenchHost = nullptr;
}

void Pump(uint32_t iterations) {
    int result = 0;
    for (uint32_t i = 0; i < iterations; ++i) result |= PumpMessages();
    BenchSink = uint32_t(result);
}

void EmptyPeek(uint32_t iterations) {
    MSG message;
    BOOL found = FALSE;
    for (uint32_t i = 0; i < iterations; ++i) found |= PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);
    BenchSink = uint32_t(found);
}

// Busy blocks on every heap of the process: the C library keeps its own heap
// beside the process heap.
long CountBusyHeapBlocks() {
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    if (count > 64) count = 64;
    long busy = 0;
    for (DWORD h = 0; h < count; ++h) {
        if (!HeapLock(heaps[h])) continue;
        PROCESS_HEAP_ENTRY entry = {};
        while (HeapWalk(heaps[h], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++busy;
        HeapUnlock(heaps[h]);
    }
    return busy;
}

// The tracked allocator's id counter advances with every allocation, freed
// or not, so its delta counts short-lived blocks too; the heap walk counts
// blocks a tick leaves behind.
void ReportTickAllocations() {
    SetUpHostRuntime();
    Pump(100); // first ticks may set up lazily
    uint16_t idsBefore = Allocator.AllocationIdCounter;
    int32_t liveBefore = Allocator.AllocationCount;
    long heapBefore = CountBusyHeapBlocks();
    Pump(AllocationProbeTicks);
    long heapAfter = CountBusyHeapBlocks();
    unsigned trackedAllocations = uint16_t(Allocator.AllocationIdCounter - idsBefore);
    int32_t liveAfter = Allocator.AllocationCount;
    TearDownHostRuntime();

    std::printf("PumpMessages (host window), %u ticks: tracked allocations %.4f per tick (%u), "
                "tracked blocks left %d, heap blocks left %ld (%.4f per tick)\n",
                unsigned(AllocationProbeTicks), double(trackedAllocations) / AllocationProbeTicks,
                trackedAllocations, int(liveAfter - liveBefore), heapAfter - heapBefore,
                double(heapAfter - heapBefore) / AllocationProbeTicks);
}

double Milliseconds(int64_t startCount) {
    return SecondsSinceCounter(startCount) * 1000.0;
}

void ReportStartupCycle(int cycle) {
    StartupSteps = StartupStepTimes{};
    int64_t started = ReadPerformanceCounter();
    int result = StartOnHost();
    double startupMs = Milliseconds(started);
    LibraryShutdown();
    double totalMs = Milliseconds(started);

    const struct {
        const char* name;
        double ms;
    } steps[] = {
        {"clock estimate", StartupSteps.clockEstimateSeconds * 1000.0},
        {"API lock", StartupSteps.apiLockSeconds * 1000.0},
        {"input", StartupSteps.inputSeconds * 1000.0},
        {"sound", StartupSteps.soundSeconds * 1000.0},
        {"timer precision test", StartupSteps.precisionTestSeconds * 1000.0},
    };
    double restMs = startupMs;
    for (const auto& step : steps) restMs -= step.ms;
    std::printf("LibraryStartup+LibraryShutdown (host window) #%d: %s, total %.2f ms (start-up %.2f ms, "
                "shutdown %.2f ms)\n  start-up by step:",
                cycle, result == 0 ? "started" : "REFUSED", totalMs, startupMs, totalMs - startupMs);
    for (const auto& step : steps) std::printf(" %s %.2f ms (%.1f%%),", step.name, step.ms, 100.0 * step.ms / startupMs);
    std::printf(" the rest %.2f ms (%.1f%%)\n", restMs, 100.0 * restMs / startupMs);
}

void ReportStartupShutdown() {
    BenchHost = CreateHostWindow();
    for (int cycle = 1; cycle <= StartupCycles; ++cycle) ReportStartupCycle(cycle);
    DestroyWindow(BenchHost);
    BenchHost = nullptr;
}

void ReportLifecycle() {
    ReportTickAllocations();
    ReportStartupShutdown();
}

} // namespace

REGISTER_BENCH("PumpMessages (host window, started)", "PeekMessageA(PM_NOREMOVE), empty queue", Pump, EmptyPeek,
               3.0, false, SetUpHostRuntime, TearDownHostRuntime);
REGISTER_BENCH_REPORT(ReportLifecycle);
