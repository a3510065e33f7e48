// The tracked allocator: every runtime heap block carries a header that lists
// it, counts it and can be checked for damage.
#pragma once

#include <windows.h>
#include <cstdint>

constexpr int AllocationLabelSize = 16;

// The fields in front of every user block, followed by a byte-for-byte copy of
// themselves: 32 + 32 bytes on a 32-bit build.
struct AllocationHeaderFields {
    char sourceLabel[AllocationLabelSize]; // last 15 characters of the caller's label
    uint16_t id;                           // allocation number
    uint16_t line;                         // caller's line, cut to 16 bits
    int32_t size;                          // user block size in bytes
    struct AllocationHeader* next;         // next older live block, or the sentinel
    struct AllocationHeader* prev;         // next newer live block, null for the newest
};

struct AllocationHeader : AllocationHeaderFields {
    AllocationHeaderFields headerCopy;     // compared with the fields above by CheckAllocations
};

struct AllocatorState {
    AllocationHeader* AllocationListHead; // newest live block; sentinel when none; null before first use
    AllocationHeader AllocationSentinel;  // ends the list; its prev is the oldest live block
    uint16_t AllocationIdCounter;         // next id, wraps from 65535 to 0
    int32_t TotalAllocatedBytes;          // sum of the live blocks' sizes
    int32_t AllocationCount;              // number of live blocks
    CRITICAL_SECTION AllocationLock;      // re-entrant; created on first use, never destroyed
    int32_t lockCreated;                  // 1 once AllocationLock exists
    HANDLE processHeap;                   // GetProcessHeap(), looked up with the lock's creation
    int32_t TraceAllAllocations;          // 1: log every operation
    int32_t TraceSize;                    // log operations on blocks of this size; negative = all
    int32_t PrintTotalsOnChange;          // 1: log the totals after every operation
    int32_t CheckOnEveryChange;           // 1: check every header on every operation
};

extern AllocatorState Allocator;

void* TrackedAlloc(int32_t size, const char* sourceLabel, int line);
void* TrackedAllocZeroed(int32_t size, const char* sourceLabel, int line);
void* TrackedRealloc(void* block, int32_t size, const char* sourceLabel, int line);
void TrackedFree(void* block);
int CheckAllocations();
void DumpAllocations();
