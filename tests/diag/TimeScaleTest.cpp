// The tests' own time limits stretch by TEST_TIME_SCALE, which the emulated
// machine sets; a value that reads wrong must never shorten a limit to zero.
#include "support/TimeScale.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <climits>

namespace {

// Sets TEST_TIME_SCALE for one test (nullptr: unset) and puts back what was there.
class ScaleSetting {
public:
    explicit ScaleSetting(const char* value) {
        DWORD length = GetEnvironmentVariableA(Name, saved_, sizeof saved_);
        hadValue_ = length > 0 && length < sizeof saved_;
        SetEnvironmentVariableA(Name, value);
    }
    ~ScaleSetting() { SetEnvironmentVariableA(Name, hadValue_ ? saved_ : nullptr); }

private:
    static constexpr const char* Name = "TEST_TIME_SCALE";
    char saved_[32] = {};
    bool hadValue_ = false;
};

TEST(TimeScale, ReadsAWholeNumberAndFallsBackToOne) {
    struct Case {
        const char* value;
        unsigned expected;
    };
    const Case cases[] = {
        {nullptr, 1},
        {"", 1},
        {"1", 1},
        {"12", 12},
        {"1000", 1000},
        {"0", 1},
        {"1001", 1},
        {"-3", 1},
        {"12x", 1},
        {"abc", 1},
        {"99999999999999999999", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(unset)");
        ScaleSetting setting(c.value);
        EXPECT_EQ(c.expected, TestTimeScale());
    }
}

TEST(TimeScale, ScalesLimitsWithoutWrapping) {
    ScaleSetting setting("12");
    EXPECT_EQ(24000u, ScaledMs(2000));
    EXPECT_EQ(0u, ScaledMs(0));
    // A limit that would pass INFINITE stays just below it: still a limit.
    EXPECT_EQ(INFINITE - 1, ScaledMs(UINT_MAX / 2));
}

} // namespace
