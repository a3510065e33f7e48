// The tracked allocator's common path (no tracing, no totals line, no
// check) against the bare process heap it sits on.
#include "Bench.h"

#include "runtime/diag/TrackedAlloc.h"

#include <windows.h>

namespace {

constexpr int32_t BlockSize = 64;

void TrackedAllocFree(uint32_t iterations) {
    for (uint32_t i = 0; i < iterations; ++i) {
        void* block = TrackedAlloc(BlockSize, "bench", 1);
        BenchSink = BenchSink + uint32_t(uintptr_t(block));
        TrackedFree(block);
    }
}

void HeapAllocFree(uint32_t iterations) {
    HANDLE heap = GetProcessHeap();
    for (uint32_t i = 0; i < iterations; ++i) {
        void* block = HeapAlloc(heap, 0, BlockSize);
        BenchSink = BenchSink + uint32_t(uintptr_t(block));
        HeapFree(heap, 0, block);
    }
}

// One block stays live, so each operation links and unlinks next to a
// neighbour as it would in a running program.
void* ResidentBlock;

void KeepOneBlockLive() {
    ResidentBlock = TrackedAlloc(BlockSize, "resident", 1);
}

void FreeResidentBlock() {
    TrackedFree(ResidentBlock);
    ResidentBlock = nullptr;
}

// The target differs by build: the 64-bit HeapAlloc is faster, while the
// allocator's lock costs the same per operation, so its floor there is about
// 1.5x.
#if defined(_WIN64)
REGISTER_BENCH("TrackedAlloc+TrackedFree 64 B (64-bit: 1.6x)", "HeapAlloc+HeapFree 64 B", TrackedAllocFree,
               HeapAllocFree, 1.6, false, KeepOneBlockLive, FreeResidentBlock);
#else
REGISTER_BENCH("TrackedAlloc+TrackedFree 64 B (32-bit: 1.3x)", "HeapAlloc+HeapFree 64 B", TrackedAllocFree,
               HeapAllocFree, 1.3, false, KeepOneBlockLive, FreeResidentBlock);
#endif

} // namespace
