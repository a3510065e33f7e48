// The tracked allocator: headers, the list of live blocks, totals, and the
// lines it writes to the log.
#include "DiagFixture.h"

#include "runtime/diag/Format.h"

#include <cstdint>
#include <string>
#include <vector>

namespace {

AllocationHeader* HeaderOf(void* block) {
    return static_cast<AllocationHeader*>(block) - 1;
}

std::string Address(const void* block) {
    char text[16];
    FormatText(text, sizeof text, "%08x", unsigned(uintptr_t(block)));
    return text;
}

// The blocks from the newest to the sentinel, following next.
std::vector<AllocationHeader*> ListedHeaders() {
    std::vector<AllocationHeader*> headers;
    for (AllocationHeader* h = Allocator.AllocationListHead; h && h != &Allocator.AllocationSentinel; h = h->next)
        headers.push_back(h);
    return headers;
}

// Each test starts with no live block of its own and must end the same way.
class Allocation : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        total_ = Allocator.TotalAllocatedBytes;
        count_ = Allocator.AllocationCount;
    }
    void TearDown() override {
        EXPECT_EQ(total_, Allocator.TotalAllocatedBytes) << "a test left a block allocated";
        EXPECT_EQ(count_, Allocator.AllocationCount);
    }

    int32_t total_ = 0;
    int32_t count_ = 0;
};

TEST_F(Allocation, LabelAndLineAreStoredCut) {
    struct Case {
        const char* label;
        int line;
        const char* storedLabel;
        uint16_t storedLine;
    };
    const Case cases[] = {
        {"abcdefghijklmnopqrst", 10, "fghijklmnopqrst", 10},
        {"abcdefghijklmno", 20, "abcdefghijklmno", 20},
        {"main.cpp", 0, "main.cpp", 0},
        {"", 1, "", 1},
        {nullptr, -1, "", 65535},
        {nullptr, 70000, "", 70000 & 0xFFFF},
    };
    for (const Case& c : cases) {
        void* block = TrackedAlloc(8, c.label, c.line);
        ASSERT_NE(nullptr, block);
        EXPECT_STREQ(c.storedLabel, HeaderOf(block)->sourceLabel) << c.storedLabel;
        EXPECT_EQ(c.storedLine, HeaderOf(block)->line) << c.storedLabel;
        EXPECT_EQ(8, HeaderOf(block)->size);
        TrackedFree(block);
    }
}

TEST_F(Allocation, IdsCountUp) {
    void* first = TrackedAlloc(4, "a", 1);
    void* second = TrackedAlloc(4, "b", 2);
    EXPECT_EQ(uint16_t(HeaderOf(first)->id + 1), HeaderOf(second)->id);
    EXPECT_EQ(uint16_t(HeaderOf(second)->id + 1), Allocator.AllocationIdCounter);
    TrackedFree(second);
    TrackedFree(first);
}

TEST_F(Allocation, ListAndTotalsAfterFreeingTheMiddle) {
    ASSERT_EQ(0, Allocator.AllocationCount) << "the list checks need an empty list";
    void* a = TrackedAlloc(10, "a", 1);
    void* b = TrackedAlloc(20, "b", 2);
    void* c = TrackedAlloc(30, "c", 3);
    EXPECT_EQ(60, Allocator.TotalAllocatedBytes);
    EXPECT_EQ(3, Allocator.AllocationCount);
    EXPECT_EQ(nullptr, HeaderOf(c)->prev);
    EXPECT_EQ(HeaderOf(a), Allocator.AllocationSentinel.prev); // the sentinel points at the oldest

    TrackedFree(b);
    std::vector<AllocationHeader*> expected = {HeaderOf(c), HeaderOf(a)};
    EXPECT_EQ(expected, ListedHeaders());
    EXPECT_EQ(HeaderOf(c), HeaderOf(a)->prev);
    EXPECT_EQ(40, Allocator.TotalAllocatedBytes);
    EXPECT_EQ(2, Allocator.AllocationCount);
    EXPECT_EQ(0, CheckAllocations());

    TrackedFree(c);
    TrackedFree(a);
    EXPECT_EQ(&Allocator.AllocationSentinel, Allocator.AllocationListHead);
    EXPECT_EQ(nullptr, Allocator.AllocationSentinel.prev);
    EXPECT_EQ(0, Allocator.TotalAllocatedBytes);
    EXPECT_EQ(0, Allocator.AllocationCount);
    EXPECT_EQ(0, CheckAllocations());
}

TEST_F(Allocation, ZeroedBlockIsZero) {
    std::vector<void*> dirty;
    for (int i = 0; i < 8; ++i) { // leave used bytes behind in the heap
        dirty.push_back(TrackedAlloc(100, "dirty", i));
        memset(dirty.back(), 0xAB, 100);
    }
    for (void* block : dirty) TrackedFree(block);
    auto* block = static_cast<uint8_t*>(TrackedAllocZeroed(100, "zero", 1));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(std::vector<uint8_t>(100, 0), std::vector<uint8_t>(block, block + 100));
    TrackedFree(block);
}

// Reallocating any block of the list, the newest, a middle one or the
// oldest, keeps its place, its contents and the list's links.
TEST_F(Allocation, ReallocKeepsPlaceAndContents) {
    for (int which = 0; which < 3; ++which) {
        void* blocks[3];
        for (int i = 0; i < 3; ++i) {
            blocks[i] = TrackedAlloc(8, "block", i);
            memset(blocks[i], 0x11 * (i + 1), 8);
        }
        int index = 2 - which; // 2 is the newest
        const uint16_t oldId = HeaderOf(blocks[index])->id;
        const int32_t total = Allocator.TotalAllocatedBytes;

        auto* grown = static_cast<uint8_t*>(TrackedRealloc(blocks[index], 5000, "grown", 77));
        ASSERT_NE(nullptr, grown);
        blocks[index] = grown;
        EXPECT_EQ(std::vector<uint8_t>(8, uint8_t(0x11 * (index + 1))), std::vector<uint8_t>(grown, grown + 8));
        EXPECT_EQ(std::vector<uint8_t>(5000 - 8, 0), std::vector<uint8_t>(grown + 8, grown + 5000)) << which;
        AllocationHeader* header = HeaderOf(grown);
        EXPECT_NE(oldId, header->id);
        EXPECT_STREQ("grown", header->sourceLabel);
        EXPECT_EQ(77, header->line);
        EXPECT_EQ(5000, header->size);
        EXPECT_EQ(total + 5000 - 8, Allocator.TotalAllocatedBytes);

        std::vector<AllocationHeader*> listed = ListedHeaders();
        ASSERT_GE(listed.size(), 3u);
        std::vector<AllocationHeader*> newestThree(listed.begin(), listed.begin() + 3);
        std::vector<AllocationHeader*> expected = {HeaderOf(blocks[2]), HeaderOf(blocks[1]), HeaderOf(blocks[0])};
        EXPECT_EQ(expected, newestThree) << which;
        EXPECT_EQ(HeaderOf(blocks[1]), HeaderOf(blocks[0])->prev);
        EXPECT_EQ(HeaderOf(blocks[2]), HeaderOf(blocks[1])->prev);
        EXPECT_EQ(0, CheckAllocations()) << which;

        for (void* block : blocks) TrackedFree(block);
    }
}

TEST_F(Allocation, ReallocShrinks) {
    auto* block = static_cast<uint8_t*>(TrackedAlloc(64, "s", 1));
    memset(block, 0x5A, 64);
    const int32_t total = Allocator.TotalAllocatedBytes;
    block = static_cast<uint8_t*>(TrackedRealloc(block, 16, "s", 2));
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(std::vector<uint8_t>(16, 0x5A), std::vector<uint8_t>(block, block + 16));
    EXPECT_EQ(total - 48, Allocator.TotalAllocatedBytes);
    TrackedFree(block);
}

TEST_F(Allocation, ReallocOfNullAllocates) {
    const int32_t total = Allocator.TotalAllocatedBytes;
    const int32_t count = Allocator.AllocationCount;
    void* block = TrackedRealloc(nullptr, 24, "new", 5);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(total + 24, Allocator.TotalAllocatedBytes);
    EXPECT_EQ(count + 1, Allocator.AllocationCount);
    EXPECT_EQ(HeaderOf(block), Allocator.AllocationListHead);
    TrackedFree(block);
}

TEST_F(Allocation, FreeOfNullDoesNothing) {
    TrackedFree(nullptr);
    EXPECT_EQ("", LogText());
}

// The freed block's trace shows its contents: printable bytes as they are,
// the others as dots, then every byte in hex.
TEST_F(Allocation, BlockLineOfFourBytes) {
    Allocator.TraceSize = 4;
    auto* block = static_cast<uint8_t*>(TrackedAlloc(4, "test.cpp", 42));
    ASSERT_NE(nullptr, block);
    const uint8_t bytes[4] = {0x41, 0x42, 0x01, 0xC8};
    memcpy(block, bytes, 4);
    const std::string id = std::to_string(HeaderOf(block)->id);
    const std::string address = Address(block);
    StartLog(); // only the free's line
    TrackedFree(block);
    EXPECT_EQ("T:mem free  \tsize:4(0.004kb)  file:test.cpp  line:42  ID:" + id + "  addr:" + address +
                  "  data:<AB..> [41 42 01 c8]\r\n",
              LogWithoutStamps());
}

// With the default TraceSize of 0, zero-byte requests are traced; their line
// has no data and ends "<> ]".
TEST_F(Allocation, ZeroByteRequestIsTracedByDefault) {
    void* block = TrackedAlloc(0, nullptr, -1);
    ASSERT_NE(nullptr, block);
    const std::string line = "\tsize:0(0.000kb)  file:  line:65535  ID:" + std::to_string(HeaderOf(block)->id) +
                             "  addr:" + Address(block) + "  data:<> ]\r\n";
    TrackedFree(block);
    EXPECT_EQ("T:mem alloc  " + line + "T:mem free  " + line, LogWithoutStamps());
}

TEST_F(Allocation, OtherSizesAreNotTracedByDefault) {
    TrackedFree(TrackedAlloc(1, "quiet", 1));
    TrackedFree(TrackedRealloc(TrackedAlloc(5, "quiet", 2), 9, "quiet", 3));
    EXPECT_EQ("", LogText());
}

TEST_F(Allocation, TraceEverythingAndTotals) {
    Allocator.TraceAllAllocations = 1;
    Allocator.PrintTotalsOnChange = 1;
    void* block = TrackedAlloc(2048, "big", 1);
    block = TrackedRealloc(block, 3072, "bigger", 2);
    TrackedFree(block);
    const std::string totalsAfter = "T:\tTotal size:" + std::to_string(total_ + 2048) + "(";
    static const std::regex expected(
        "T:mem alloc  \\tsize:2048\\(2\\.000kb\\)  file:big  line:1  [^\\r]*\\r\\n"
        "T:\\tTotal size:[0-9]+\\([0-9.]+kb\\)  Alloc num:[0-9]+\\r\\n"
        "T:mem realloc  \\tsize:3072\\(3\\.000kb\\)  file:bigger  line:2  [^\\r]*\\r\\n"
        "T:\\tTotal size:[0-9]+\\([0-9.]+kb\\)  Alloc num:[0-9]+\\r\\n"
        "T:mem free  \\tsize:3072\\(3\\.000kb\\)  file:bigger  line:2  [^\\r]*\\r\\n"
        "T:\\tTotal size:[0-9]+\\([0-9.]+kb\\)  Alloc num:[0-9]+\\r\\n");
    const std::string log = LogWithoutStamps();
    EXPECT_TRUE(std::regex_match(log, expected)) << log;
    EXPECT_NE(std::string::npos, log.find(totalsAfter)) << log;
}

TEST_F(Allocation, NegativeTraceSizeTracesAll) {
    Allocator.TraceSize = -1;
    TrackedFree(TrackedAlloc(3, "x", 1));
    const std::string log = LogWithoutStamps();
    EXPECT_EQ(0u, log.find("T:mem alloc  \tsize:3(0.003kb)  file:x  line:1  ")) << log;
    EXPECT_NE(std::string::npos, log.find("\r\nT:mem free  \tsize:3(0.003kb)  file:x  line:1  ")) << log;
}

TEST_F(Allocation, DumpListsNewestFirst) {
    ASSERT_EQ(0, Allocator.AllocationCount) << "the dump shows every live block";
    void* older = TrackedAlloc(1536, "older", 1);
    void* newer = TrackedAlloc(3, "newer", 2);
    memcpy(older, "hello, world! 0123", 18);
    memcpy(newer, "ok\n", 3);
    DumpAllocations();
    const std::string expected =
        "T:\r\n"
        "T:Alloc memory dump\r\n"
        "T:\tsize:3(0.003kb)  file:newer  line:2  ID:" + std::to_string(HeaderOf(newer)->id) + "  addr:" +
        Address(newer) + "  data:<ok.> [6f 6b 0a]\r\n"
        "T:\tsize:1536(1.500kb)  file:older  line:1  ID:" + std::to_string(HeaderOf(older)->id) + "  addr:" +
        Address(older) + "  data:<hello, world! 01> [68 65 6c 6c 6f 2c 20 77 6f 72 6c 64 21 20 30 31]\r\n"
        "T:\tTotal size:1539(1.503kb)  Alloc num:2\r\n"
        "T:\r\n";
    EXPECT_EQ(expected, LogWithoutStamps());
    TrackedFree(newer);
    TrackedFree(older);
}

// Any changed byte of a live header, in its fields or in their copy, is
// reported with the block's line, and the check fails.
TEST_F(Allocation, DamagedHeaderIsReported) {
    void* block = TrackedAlloc(12, "victim", 9);
    AllocationHeader* header = HeaderOf(block);
    const size_t offsets[] = {
        0,                                          // label
        offsetof(AllocationHeaderFields, id),       // id
        offsetof(AllocationHeaderFields, line) + 1, // line
        offsetof(AllocationHeaderFields, size),     // size
        offsetof(AllocationHeaderFields, prev),     // a link
        sizeof(AllocationHeaderFields) + 5,         // the copy, just after the fields
    };
    for (size_t offset : offsets) {
        StartLog();
        uint8_t* byte = reinterpret_cast<uint8_t*>(header) + offset;
        *byte ^= 0x01;
        EXPECT_EQ(-1, CheckAllocations()) << offset;
        *byte ^= 0x01;
        const std::string log = LogWithoutStamps();
        EXPECT_EQ(0u, log.find("T:以下のメモリ確保情報が破損しました\tsize:")) << offset << log;
        EXPECT_NE(std::string::npos, log.find("addr:" + Address(block))) << offset << log;
        EXPECT_EQ(0, CheckAllocations()) << offset;
    }
    TrackedFree(block);
}

TEST_F(Allocation, CheckOnEveryChangeFindsDamage) {
    // The victim is kept away from the head, whose copy the next allocation
    // refreshes.
    void* victim = TrackedAlloc(4, "victim", 1);
    void* shield = TrackedAlloc(4, "shield", 2);
    Allocator.CheckOnEveryChange = 1;
    HeaderOf(victim)->sourceLabel[0] ^= 0x20;
    void* other = TrackedAlloc(4, "other", 3);
    HeaderOf(victim)->sourceLabel[0] ^= 0x20;
    EXPECT_NE(std::string::npos, LogText().find("以下のメモリ確保情報が破損しました\tsize:4(0.004kb)  file:Victim"))
        << LogText();
    TrackedFree(other);
    TrackedFree(shield);
    TrackedFree(victim);
}

// The process heap replaced by a heap of fixed size for the life of the
// object, so that a large request is refused alike in a 32-bit and a 64-bit
// process (a 64-bit process's heap grants 2 GB). Blocks made while it is in
// place must be freed before it goes.
class FixedSizeHeap {
public:
    FixedSizeHeap() {
        TrackedFree(TrackedAlloc(1, "lock", 1)); // the allocator's lazy set-up is done first
        saved_ = Allocator.processHeap;
        heap_ = HeapCreate(0, 0, 1 << 20);
        Allocator.processHeap = heap_;
    }
    ~FixedSizeHeap() {
        Allocator.processHeap = saved_;
        HeapDestroy(heap_);
    }
    FixedSizeHeap(const FixedSizeHeap&) = delete;
    FixedSizeHeap& operator=(const FixedSizeHeap&) = delete;
    bool Valid() const { return heap_ != nullptr; }

private:
    HANDLE heap_ = nullptr;
    HANDLE saved_ = nullptr;
};

// A request the heap refuses returns null after the list and totals have
// gone to the log; a negative size is refused the same way rather than
// wrapping round to a small block.
TEST_F(Allocation, RefusedRequestDumps) {
    FixedSizeHeap heap;
    ASSERT_TRUE(heap.Valid());
    for (int32_t size : {int32_t(0x7FFFFF00), int32_t(2 << 20), int32_t(-1)}) {
        StartLog();
        EXPECT_EQ(nullptr, TrackedAlloc(size, "huge", 1)) << size;
        EXPECT_EQ(nullptr, TrackedAllocZeroed(size, "huge", 2)) << size;
        EXPECT_NE(std::string::npos, LogText().find("Alloc memory dump\r\n")) << size;
    }
}

TEST_F(Allocation, RefusedReallocKeepsTheBlock) {
    FixedSizeHeap heap;
    ASSERT_TRUE(heap.Valid());
    auto* block = static_cast<uint8_t*>(TrackedAlloc(8, "keep", 1));
    ASSERT_NE(nullptr, block);
    memcpy(block, "12345678", 8);
    const uint16_t id = HeaderOf(block)->id;
    const int32_t total = Allocator.TotalAllocatedBytes;
    for (int32_t size : {int32_t(0x7FFFFF00), int32_t(2 << 20), int32_t(-5)}) {
        StartLog();
        EXPECT_EQ(nullptr, TrackedRealloc(block, size, "huge", 2)) << size;
        EXPECT_EQ(0, memcmp(block, "12345678", 8));
        EXPECT_EQ(id, HeaderOf(block)->id);
        EXPECT_EQ(total, Allocator.TotalAllocatedBytes);
        EXPECT_NE(std::string::npos, LogText().find("Alloc memory dump\r\n")) << size;
        EXPECT_EQ(0, CheckAllocations());
    }
    TrackedFree(block);
}

} // namespace
