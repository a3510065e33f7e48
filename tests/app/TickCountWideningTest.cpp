// The 64-bit tick count that the tool builds from GetTickCount on Windows XP.
#include "app/TickCountWidening.h"

#include <gtest/gtest.h>

namespace {

struct WideningCase {
    const char* what;
    uint64_t last;
    uint32_t now;
    uint64_t widened;
};

const WideningCase WideningCases[] = {
    {"the first read", 0, 1234, 1234},
    {"a later read", 1234, 5000, 5000},
    {"the same count again", 5000, 5000, 5000},
    {"the 32-bit count wrapped", 0xFFFFFF00u, 0x10, 0x100000010ull},
    {"a read after the wrap", 0x100000010ull, 0x20, 0x100000020ull},
    {"the count wrapped a second time", 0x1FFFFFFF0ull, 0x5, 0x200000005ull},
    {"the last millisecond before a wrap", 0x1FFFFFFF0ull, 0xFFFFFFFFu, 0x1FFFFFFFFull},
};

TEST(TickCountWidening, KeepsCountingAcrossTheWrapOfTheThirtyTwoBitCount) {
    for (const WideningCase& c : WideningCases)
        EXPECT_EQ(c.widened, WidenTickCount(c.last, c.now)) << c.what;
}

} // namespace
