// The bounded formatter: results are cut to the buffer and always terminated.
#include "runtime/diag/Format.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FormatText, CutAndTerminated) {
    struct Case {
        size_t size;
        const char* expected;
    };
    // "%d-%s" with 1234 and "abcdef" is the 11 bytes "1234-abcdef".
    const Case cases[] = {
        {64, "1234-abcdef"}, // fits
        {12, "1234-abcdef"}, // fits exactly with its terminator
        {11, "1234-abcde"},  // one byte short
        {5, "1234"},
        {1, ""},
    };
    for (const Case& c : cases) {
        std::string buffer(c.size + 8, '#'); // guard bytes past the given size
        size_t length = FormatText(&buffer[0], c.size, "%d-%s", 1234, "abcdef");
        EXPECT_STREQ(c.expected, buffer.c_str()) << c.size;
        EXPECT_EQ(std::string(c.expected).size(), length) << c.size;
        EXPECT_EQ(std::string(8, '#'), buffer.substr(c.size)) << c.size;
    }
}

TEST(FormatText, ZeroSizeWritesNothing) {
    char buffer[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(0u, FormatText(buffer, 0, "%s", "text"));
    EXPECT_EQ('#', buffer[0]);
}

TEST(FormatText, FloatingPoint) {
    char buffer[32];
    FormatText(buffer, sizeof buffer, "%.3f|%.2f", 601 / 1024.0, 2.5);
    EXPECT_STREQ("0.587|2.50", buffer);
}

} // namespace
