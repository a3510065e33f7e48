// The clocks: the 128-by-64 division behind the microsecond clock, the
// millisecond clock's masking and differences, the source rules of the
// microsecond clock, and the precision test's verdict and log lines.
#include "runtime/core/Clock.h"

#include "diag/DiagFixture.h"
#include "runtime/core/Environment.h"
#include "runtime/system/Lifecycle.h"
#include "runtime/window/Window.h"

#include <gtest/gtest.h>
#include <windows.h>
#include <mmsystem.h>

#include <string>

namespace {

constexpr uint64_t Max64 = ~uint64_t(0);
constexpr uint64_t Top64 = uint64_t(1) << 63;

struct MulDivCase {
    uint64_t value, multiplier, divisor, expected;
    const char* what;
};

const MulDivCase MulDivCases[] = {
    {0, 1000000, 10000000, 0, "zero count"},
    {10000000, 1000000, 10000000, 1000000, "one second of a 10 MHz counter"},
    {123456789012345ull, 1000000, 3579545, 0x1F5E37972915ull, "ACPI-rate counter, product past 64 bits"},
    {Top64, 1000000, 10000000, 0x0CCCCCCCCCCCCCCCull, "top bit set, product past 64 bits"},
    {Max64, 1000000, 3000000000ull, 0x15D867C3ECE2A5ull, "3 GHz time-stamp counter at its end"},
    {Max64, 2, 2, Max64, "product just past 64 bits, quotient the largest value"},
    {Max64, Max64, Max64, Max64, "largest product and divisor"},
    {Max64, Max64, 1, 1, "quotient wider than 64 bits keeps its low bits"},
    {Max64, Top64 + 5, Top64 + 7, 0xFFFFFFFFFFFFFFFBull, "divisor past 2^63: the remainder needs a 65th bit"},
    {Top64 / 2 + 3, 0x401, Top64 + 1, 0x200, "divisor past 2^63, small quotient"},
    {Max64, 3, Top64 + 3, 5, "divisor past 2^63, three times the largest value"},
    {Max64, Max64, 0, 0, "zero divisor"},
};

TEST(ClockTest, MulDiv64KeepsTheLow64BitsOfTheFullQuotient) {
    for (const MulDivCase& c : MulDivCases)
        EXPECT_EQ(c.expected, MulDiv64(c.value, c.multiplier, c.divisor)) << c.what;
}

TEST(ClockTest, MillisecondsAreMaskedTo31BitsAndDifferencesCrossTheWrap) {
    struct {
        uint32_t multimediaTime;
        int32_t expected;
    } const masks[] = {
        {0, 0}, {0x7FFFFFFF, 0x7FFFFFFF}, {0x80000000u, 0}, {0x80000005u, 5}, {0xFFFFFFFFu, 0x7FFFFFFF},
    };
    for (const auto& c : masks) EXPECT_EQ(c.expected, MaskMilliseconds(c.multimediaTime)) << c.multimediaTime;

    struct {
        int32_t earlier, later, expected;
    } const differences[] = {
        {100, 250, 150}, {0x7FFFFFFF - 10, 5, 16}, {0x7FFFFFFF, 0, 1}, {42, 42, 0},
    };
    for (const auto& c : differences)
        EXPECT_EQ(c.expected, MillisecondsBetween(c.earlier, c.later)) << c.earlier << " -> " << c.later;
    EXPECT_GE(NowMilliseconds(), 0);
}

TEST(ClockTest, PrecisionVerdictKeepsTheCounterOnATie) {
    struct {
        int multimedia, counter;
        bool multimediaWins;
    } const cases[] = {
        {60, 59, true}, {1, 0, true}, {59, 60, false}, {60, 60, false}, {0, 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.multimediaWins, PreferMultimediaTimer(c.multimedia, c.counter)) << c.multimedia << " vs "
                                                                                     << c.counter;
}

// Saves the clock and environment values a test changes.
class ClockStateGuard {
public:
    ClockStateGuard() : clock_(Clock), environment_(Environment), started_(Lifecycle.LibraryStarted) {}
    ~ClockStateGuard() {
        Clock = clock_;
        Environment = environment_;
        Lifecycle.LibraryStarted = started_;
    }

private:
    ClockState clock_;
    EnvironmentState environment_;
    int32_t started_;
};

// With a time-stamp rate of one tick per second, the TSC rule would give
// about a million times the counter's value: far outside the brackets below.
TEST(ClockTest, MicrosecondsNeverUseTheTimeStampCounterBeforeStartUp) {
    ClockStateGuard guard;
    Environment.CpuHasTsc = 1;
    Environment.TscTicksPerSecond = 1;
    Lifecycle.LibraryStarted = 0;

    Clock.UsePerformanceCounter = 0;
    uint64_t before = uint64_t(timeGetTime()) * 1000;
    uint64_t now = NowMicroseconds(1);
    uint64_t after = uint64_t(timeGetTime()) * 1000;
    EXPECT_GE(now, before) << "multimedia timer source";
    EXPECT_LE(now, after) << "multimedia timer source";

    ProbePerformanceCounter();
    ASSERT_EQ(1, Clock.UsePerformanceCounter) << "the platform has a performance counter";
    before = MulDiv64(uint64_t(ReadPerformanceCounter()), 1000000, Clock.PerformanceFrequency);
    now = NowMicroseconds(1);
    after = MulDiv64(uint64_t(ReadPerformanceCounter()), 1000000, Clock.PerformanceFrequency);
    EXPECT_GE(now, before) << "performance counter source";
    EXPECT_LE(now, after) << "performance counter source";
}

TEST(ClockTest, TimerResolutionIsRaisedAndGivenBackOnce) {
    ClockStateGuard guard;
    Clock.TimerResolutionRaised = 0;
    RestoreTimerResolution(); // without a raise: no unpaired timeEndPeriod
    EXPECT_EQ(0, Clock.TimerResolutionRaised);
    RaiseTimerResolution();
    RaiseTimerResolution();
    EXPECT_EQ(1, Clock.TimerResolutionRaised);
    RestoreTimerResolution();
    EXPECT_EQ(0, Clock.TimerResolutionRaised);
}

class PrecisionTestLog : public LogFileTest {
protected:
    ClockStateGuard clockGuard_;
};

TEST_F(PrecisionTestLog, WithoutACounterNothingRunsOrIsLogged) {
    Clock.UsePerformanceCounter = 0;
    Clock.PerformanceFrequency = 0;
    TimerPrecisionTest();
    EXPECT_EQ("", LogText());
    EXPECT_EQ(0, Clock.UsePerformanceCounter);
}

TEST_F(PrecisionTestLog, LogsTheCountsAndTheChosenSource) {
    ProbePerformanceCounter();
    ASSERT_EQ(1, Clock.UsePerformanceCounter);
    TimerPrecisionTest();
    std::string log = LogWithoutStamps();

    std::string opening = "T:タイマーの精度を検査します\r\nT:精度結果 更新回数 マルチメディアタイマー：";
    ASSERT_EQ(0u, log.find(opening)) << log;
    // The lone space written after each line opens the next one: the verdict
    // follows it, and a last space is left open at the end.
    std::string counter = "\r\nT: パフォーマンスカウンターを使用します タイマー分解能 : ";
    std::string multimedia = "\r\nT: マルチメディアタイマーを使用します タイマー分解能 : ";
    bool counterChosen = log.find(counter) != std::string::npos;
    bool multimediaChosen = log.find(multimedia) != std::string::npos;
    EXPECT_NE(counterChosen, multimediaChosen) << log;
    EXPECT_EQ(counterChosen ? 1 : 0, Clock.UsePerformanceCounter);
    std::string ending = counterChosen ? " KHz \r\nT: " : ".00 ms \r\nT: ";
    ASSERT_GE(log.size(), ending.size());
    EXPECT_EQ(ending, log.substr(log.size() - ending.size())) << log;
}

} // namespace
