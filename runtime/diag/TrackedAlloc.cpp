#include "runtime/diag/TrackedAlloc.h"

#include "runtime/diag/Format.h"
// The log and the allocator use each other, and always will: the allocator
// logs its failures and its dump, and the log takes long texts' work buffers
// from the allocator.
#include "runtime/diag/Log.h"

#include <cstddef>
#include <cstring>

AllocatorState Allocator;

// 32 + 32 bytes on a 32-bit build; the two list pointers make it 40 + 40 on
// 64-bit, which keeps the user block on the heap's 16-byte alignment.
static_assert(sizeof(AllocationHeaderFields) == (sizeof(void*) == 4 ? 32 : 40),
              "a header's fields take 32 bytes (40 on 64-bit)");
static_assert(sizeof(AllocationHeader) == 2 * sizeof(AllocationHeaderFields), "a header is its fields and their copy");
static_assert(sizeof(AllocationHeader) % (2 * sizeof(void*)) == 0, "user blocks keep the heap's alignment");

namespace {

// States of Allocator.lockCreated.
constexpr int32_t LockAbsent = 0;
constexpr int32_t LockReady = 1;
constexpr int32_t LockBeingCreated = -1;

// Any thread may make the first allocation, so the lock is created by
// whichever thread wins the exchange; a thread that loses waits until the
// winner has finished, rather than entering a half-made critical section.
void EnsureAllocationLock() {
    if (__atomic_load_n(&Allocator.lockCreated, __ATOMIC_ACQUIRE) == LockReady) return;
    int32_t expected = LockAbsent;
    if (__atomic_compare_exchange_n(&Allocator.lockCreated, &expected, LockBeingCreated, false,
                                    __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) {
        InitializeCriticalSection(&Allocator.AllocationLock);
        Allocator.processHeap = GetProcessHeap(); // the process heap never changes
        __atomic_store_n(&Allocator.lockCreated, LockReady, __ATOMIC_RELEASE);
        return;
    }
    while (__atomic_load_n(&Allocator.lockCreated, __ATOMIC_ACQUIRE) != LockReady) Sleep(0);
}

// Holds AllocationLock for one operation, released on every path.
class AllocationLockHold {
public:
    AllocationLockHold() {
        EnsureAllocationLock();
        EnterCriticalSection(&Allocator.AllocationLock);
    }
    ~AllocationLockHold() { LeaveCriticalSection(&Allocator.AllocationLock); }
    AllocationLockHold(const AllocationLockHold&) = delete;
    AllocationLockHold& operator=(const AllocationLockHold&) = delete;
};

AllocationHeader* HeaderOf(void* block) {
    return static_cast<AllocationHeader*>(block) - 1;
}

void* UserBlockOf(AllocationHeader* header) {
    return header + 1;
}

void RefreshCopy(AllocationHeader* header) {
    std::memcpy(&header->headerCopy, static_cast<AllocationHeaderFields*>(header),
                sizeof(AllocationHeaderFields));
}

bool IsDamaged(const AllocationHeader* header) {
    return std::memcmp(&header->headerCopy, static_cast<const AllocationHeaderFields*>(header),
                       sizeof(AllocationHeaderFields)) != 0;
}

// What a header records of its caller: the label cut to its last
// characters, and the line cut to 16 bits.
struct CallerRecord {
    const char* labelTail;
    size_t labelLength;
    uint16_t line;
};

CallerRecord RecordCaller(const char* sourceLabel, int line) {
    CallerRecord caller = {"", 0, uint16_t(line)};
    if (sourceLabel == nullptr) return caller;
    size_t length = 0; // labels are short: counted here rather than by a library call
    while (sourceLabel[length] != '\0') ++length;
    const size_t keep = AllocationLabelSize - 1;
    caller.labelTail = length > keep ? sourceLabel + (length - keep) : sourceLabel;
    caller.labelLength = length > keep ? keep : length;
    return caller;
}

// The unused label bytes are zero, so that a header's bytes depend only on
// what was passed.
void WriteFields(AllocationHeaderFields& to, const CallerRecord& caller, uint16_t id, int32_t size,
                 AllocationHeader* next, AllocationHeader* prev) {
    std::memset(to.sourceLabel, 0, sizeof to.sourceLabel);
    std::memcpy(to.sourceLabel, caller.labelTail, caller.labelLength);
    to.id = id;
    to.line = caller.line;
    to.size = size;
    to.next = next;
    to.prev = prev;
}

// Writes a header's fields and their copy from the same values: the copy is
// not read back from a header just written, which the processor cannot
// forward from its pending stores and which made up much of an
// allocation's cost.
void WriteHeader(AllocationHeader* header, const CallerRecord& caller, int32_t size, AllocationHeader* next,
                 AllocationHeader* prev) {
    const uint16_t id = Allocator.AllocationIdCounter++;
    WriteFields(*header, caller, id, size, next, prev);
    WriteFields(header->headerCopy, caller, id, size, next, prev);
}

// A neighbour's link changes and its copy is refreshed. The copy is taken
// before the store and the link then written to both: the same bytes as a
// copy taken afterwards, without reading back a just-written header.
void SetPrevLink(AllocationHeader* header, AllocationHeader* prev) {
    RefreshCopy(header);
    header->prev = prev;
    header->headerCopy.prev = prev;
}

void SetNextLink(AllocationHeader* header, AllocationHeader* next) {
    RefreshCopy(header);
    header->next = next;
    header->headerCopy.next = next;
}

// The byte shown for one data byte: itself when printable, else a dot.
char Printable(uint8_t byte) {
    return byte < 0x20 || byte > 0x7F ? '.' : char(byte);
}

void WriteBlockLine(AllocationHeader* header) {
    constexpr int32_t shownBytes = 16;
    char line[256];
    const uint8_t* data = static_cast<const uint8_t*>(UserBlockOf(header));
    int32_t shown = header->size < shownBytes ? header->size : shownBytes;
    if (shown < 0) shown = 0; // a damaged size shows no data
    // The label is printed with a bound: a damaged header may have lost its
    // terminator.
    size_t length = FormatText(line, sizeof line,
                               "\tsize:%d(%.3fkb)  file:%.*s  line:%d  ID:%d  addr:%08x  data:<",
                               int(header->size), double(uint32_t(header->size)) / 1024.0,
                               AllocationLabelSize, header->sourceLabel, int(header->line), int(header->id),
                               unsigned(uintptr_t(data)));
    for (int32_t i = 0; i < shown; ++i) line[length++] = Printable(data[i]);
    std::memcpy(line + length, "> [", 3);
    length += 3;
    for (int32_t i = 0; i < shown; ++i) length += FormatText(line + length, 4, "%02x ", data[i]);
    // The last character, the blank after the final byte or, with no data,
    // the opening bracket itself, makes way for the closing bracket.
    std::memcpy(line + length - 1, "]\n", 3);
    LogWrite(line);
}

void WriteTotalsLine() {
    LogPrintf("\tTotal size:%d(%.3fkb)  Alloc num:%d", int(Allocator.TotalAllocatedBytes),
              double(Allocator.TotalAllocatedBytes) / 1024.0, int(Allocator.AllocationCount));
}

// Tracing after an operation; with the default settings only zero-byte
// blocks (TraceSize 0) are traced.
void TraceOperation(const char* prefix, AllocationHeader* header) {
    int32_t size = header->size;
    if (Allocator.TraceSize < 0 || size == Allocator.TraceSize || Allocator.TraceAllAllocations == 1) {
        LogWrite(prefix);
        WriteBlockLine(header);
    }
    if (Allocator.PrintTotalsOnChange == 1) WriteTotalsLine();
}

void LinkAtFront(AllocationHeader* header, const CallerRecord& caller, int32_t size) {
    if (Allocator.AllocationListHead == nullptr) Allocator.AllocationListHead = &Allocator.AllocationSentinel;
    AllocationHeader* oldHead = Allocator.AllocationListHead;
    WriteHeader(header, caller, size, oldHead, nullptr);
    SetPrevLink(oldHead, header);
    Allocator.AllocationListHead = header;
}

void Unlink(AllocationHeader* header) {
    AllocationHeader* next = header->next;
    AllocationHeader* prev = header->prev;
    SetPrevLink(next, prev);
    if (prev != nullptr) SetNextLink(prev, next);
    if (Allocator.AllocationListHead == header) Allocator.AllocationListHead = next;
}

// The neighbours of a block that the heap moved still point at its old
// address; they are pointed at the new one. The block keeps its place.
void Relink(AllocationHeader* header, bool wasHead) {
    SetPrevLink(header->next, header);
    if (header->prev != nullptr) SetNextLink(header->prev, header);
    if (wasHead) Allocator.AllocationListHead = header;
}

// A negative size has no block; refusing it here keeps size + header from
// wrapping round to a small request.
SIZE_T HeapSizeFor(int32_t size) {
    return SIZE_T(uint32_t(size)) + sizeof(AllocationHeader);
}

} // namespace

void* TrackedAlloc(int32_t size, const char* sourceLabel, int line) {
    AllocationLockHold hold;
    void* raw = size < 0 ? nullptr : HeapAlloc(Allocator.processHeap, 0, HeapSizeFor(size));
    if (raw == nullptr) {
        DumpAllocations();
        CheckAllocations();
        return nullptr;
    }
    AllocationHeader* header = static_cast<AllocationHeader*>(raw);
    LinkAtFront(header, RecordCaller(sourceLabel, line), size);
    Allocator.TotalAllocatedBytes += size;
    Allocator.AllocationCount += 1;
    TraceOperation("mem alloc  ", header);
    if (Allocator.CheckOnEveryChange == 1) CheckAllocations();
    return UserBlockOf(header);
}

void* TrackedAllocZeroed(int32_t size, const char* sourceLabel, int line) {
    void* block = TrackedAlloc(size, sourceLabel, line);
    if (block != nullptr) std::memset(block, 0, size_t(size));
    return block;
}

void TrackedFree(void* block) {
    if (block == nullptr) return;
    AllocationLockHold hold;
    AllocationHeader* header = HeaderOf(block);
    Allocator.TotalAllocatedBytes -= header->size;
    Allocator.AllocationCount -= 1;
    if (Allocator.CheckOnEveryChange == 1) CheckAllocations();
    Unlink(header);
    TraceOperation("mem free  ", header);
    HeapFree(Allocator.processHeap, 0, header);
}

void* TrackedRealloc(void* block, int32_t size, const char* sourceLabel, int line) {
    if (block == nullptr) return TrackedAlloc(size, sourceLabel, line);
    AllocationLockHold hold;
    AllocationHeader* old = HeaderOf(block);
    const bool wasHead = old == Allocator.AllocationListHead;
    const int32_t oldSize = old->size;
    // Bytes added at the end read as zero.
    void* raw = size < 0 ? nullptr : HeapReAlloc(Allocator.processHeap, HEAP_ZERO_MEMORY, old, HeapSizeFor(size));
    if (raw == nullptr) {
        DumpAllocations(); // the old block is untouched and still listed
        return nullptr;
    }
    AllocationHeader* header = static_cast<AllocationHeader*>(raw);
    WriteHeader(header, RecordCaller(sourceLabel, line), size, header->next, header->prev);
    Relink(header, wasHead); // refreshes the neighbours' copies
    Allocator.TotalAllocatedBytes += size - oldSize;
    TraceOperation("mem realloc  ", header);
    if (Allocator.CheckOnEveryChange == 1) CheckAllocations();
    return UserBlockOf(header);
}

int CheckAllocations() {
    AllocationLockHold hold;
    AllocationHeader* header = Allocator.AllocationListHead;
    if (header == nullptr) return 0;
    for (; header != &Allocator.AllocationSentinel; header = header->next) {
        if (!IsDamaged(header)) continue;
        LogWrite("以下のメモリ確保情報が破損しました");
        WriteBlockLine(header);
        return -1;
    }
    return 0;
}

void DumpAllocations() {
    AllocationLockHold hold;
    LogWrite("\n");
    LogWrite("Alloc memory dump\n");
    AllocationHeader* header = Allocator.AllocationListHead;
    if (header != nullptr) {
        for (; header != &Allocator.AllocationSentinel; header = header->next) WriteBlockLine(header);
    }
    WriteTotalsLine();
    LogWrite("\n");
}
