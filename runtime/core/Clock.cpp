// The millisecond and microsecond clocks, the performance counter probe, and
// the multimedia timer resolution held while the runtime runs.
#include "runtime/core/Clock.h"

#include "runtime/core/Environment.h"
#include "runtime/diag/Log.h"
#include "runtime/state/LifecycleState.h"

#include <windows.h>
#include <mmsystem.h>
#include <x86intrin.h>

ClockState Clock;
StartupStepTimes StartupSteps;

static_assert(sizeof(TIMECAPS) == 8, "TIMECAPS is 8 bytes");

namespace {

constexpr uint64_t MicrosecondsPerSecond = 1000000;

struct Product128 {
    uint64_t high;
    uint64_t low;
};

// The full product of two 64-bit values from four 32 x 32 partial products;
// this build has no 128-bit integer type.
Product128 Multiply128(uint64_t a, uint64_t b) {
    uint64_t aLow = uint32_t(a), aHigh = a >> 32;
    uint64_t bLow = uint32_t(b), bHigh = b >> 32;
    uint64_t lowLow = aLow * bLow;
    uint64_t lowHigh = aLow * bHigh;
    uint64_t highLow = aHigh * bLow;
    uint64_t highHigh = aHigh * bHigh;
    uint64_t middle = (lowLow >> 32) + uint32_t(lowHigh) + uint32_t(highLow);
    Product128 product;
    product.low = (middle << 32) | uint32_t(lowLow);
    product.high = highHigh + (lowHigh >> 32) + (highLow >> 32) + (middle >> 32);
    return product;
}

// Long division of (high:low) by divisor, one bit of low at a time. Starting
// from high % divisor drops the quotient's upper 64 bits, which the result
// does not keep anyway.
uint64_t DivideLowQuotient(Product128 dividend, uint64_t divisor) {
    uint64_t remainder = dividend.high % divisor;
    uint64_t quotient = 0;
    for (int bit = 63; bit >= 0; --bit) {
        bool carry = (remainder >> 63) != 0; // the shifted remainder needs a 65th bit
        remainder = (remainder << 1) | ((dividend.low >> bit) & 1);
        quotient <<= 1;
        if (carry || remainder >= divisor) {
            remainder -= divisor;
            quotient |= 1;
        }
    }
    return quotient;
}

uint64_t TscMicroseconds() {
    return MulDiv64(__rdtsc(), MicrosecondsPerSecond, Environment.TscTicksPerSecond);
}

uint64_t CounterMicroseconds() {
    return MulDiv64(uint64_t(ReadPerformanceCounter()), MicrosecondsPerSecond, Clock.PerformanceFrequency);
}

bool TscRuleApplies(int useCpuCounter) {
    return useCpuCounter == 1 && Environment.CpuHasTsc == 1 && Lifecycle.LibraryStarted == 1;
}

} // namespace

uint64_t MulDiv64(uint64_t value, uint64_t multiplier, uint64_t divisor) {
    if (divisor == 0) return 0;
    Product128 product = Multiply128(value, multiplier);
    if (product.high == 0) return product.low / divisor;
    return DivideLowQuotient(product, divisor);
}

int64_t ReadPerformanceCounter() {
    LARGE_INTEGER count;
    QueryPerformanceCounter(&count);
    return count.QuadPart;
}

double SecondsSinceCounter(int64_t startCount) {
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency) || frequency.QuadPart == 0) return 0.0;
    return double(ReadPerformanceCounter() - startCount) / double(frequency.QuadPart);
}

int32_t NowMilliseconds() {
    return MaskMilliseconds(timeGetTime());
}

uint64_t NowMicroseconds(int useCpuCounter) {
    if (TscRuleApplies(useCpuCounter)) return TscMicroseconds();
    if (Clock.UsePerformanceCounter == 1) return CounterMicroseconds();
    return uint64_t(timeGetTime()) * 1000;
}

void ProbePerformanceCounter() {
    LARGE_INTEGER frequency;
    if (!QueryPerformanceFrequency(&frequency)) frequency.QuadPart = 0;
    Clock.PerformanceFrequency = uint64_t(frequency.QuadPart);
    Clock.UsePerformanceCounter = Clock.PerformanceFrequency != 0 ? 1 : 0;
}

unsigned TimerPeriodMin() {
    TIMECAPS caps = {0, 0};
    timeGetDevCaps(&caps, sizeof caps);
    return caps.wPeriodMin;
}

void RaiseTimerResolution() {
    if (Clock.TimerResolutionRaised == 1) return;
    timeBeginPeriod(TimerPeriodMin());
    Clock.TimerResolutionRaised = 1;
}

void RestoreTimerResolution() {
    if (Clock.TimerResolutionRaised != 1) return;
    timeEndPeriod(TimerPeriodMin());
    Clock.TimerResolutionRaised = 0;
}
