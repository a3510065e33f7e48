// The runtime's clocks: 31-bit milliseconds of the multimedia timer, and
// 64-bit microseconds from the source chosen at start-up.
#pragma once

#include <cstdint>

struct ClockState {
    int32_t UsePerformanceCounter; // 1: microseconds come from QueryPerformanceCounter
    uint64_t PerformanceFrequency; // counts per second of the performance counter; 0 = none
    int32_t TimerResolutionRaised; // 1 between timeBeginPeriod and its timeEndPeriod
};

extern ClockState Clock;

// timeGetTime() with bit 31 cleared.
int32_t NowMilliseconds();
// The masking of NowMilliseconds over a given timeGetTime value.
inline int32_t MaskMilliseconds(uint32_t multimediaTime) {
    return int32_t(multimediaTime & 0x7FFFFFFFu);
}
// Milliseconds from one NowMilliseconds reading to a later one, across the
// wrap from 2,147,483,647 to 0.
inline int32_t MillisecondsBetween(int32_t earlier, int32_t later) {
    return int32_t((uint32_t(later) - uint32_t(earlier)) & 0x7FFFFFFFu);
}
// value x multiplier / divisor with the product at full 128-bit width: the
// low 64 bits of the quotient. A zero divisor gives 0.
uint64_t MulDiv64(uint64_t value, uint64_t multiplier, uint64_t divisor);
// Microseconds; useCpuCounter 1 reads the time-stamp counter once the
// runtime is started and the processor has one.
uint64_t NowMicroseconds(int useCpuCounter);

// QueryPerformanceFrequency into PerformanceFrequency; UsePerformanceCounter
// = 1 unless it is 0.
void ProbePerformanceCounter();
// The contest's verdict on its two update counts: the multimedia timer wins
// only when it changed more often; a tie keeps the performance counter.
inline bool PreferMultimediaTimer(int multimediaUpdates, int counterUpdates) {
    return multimediaUpdates > counterUpdates;
}

// How long the last start-up spent in its large steps, in seconds: the two
// required waits (processor clock estimate, timer precision test), the
// creation of the API lock, the input start and the sound start. Read by the
// benchmark; two counter reads per step.
struct StartupStepTimes {
    double clockEstimateSeconds;
    double precisionTestSeconds;
    double apiLockSeconds;
    double inputSeconds;
    double soundSeconds;
};
extern StartupStepTimes StartupSteps;
// Seconds since a QueryPerformanceCounter value, for the waits above.
double SecondsSinceCounter(int64_t startCount);
int64_t ReadPerformanceCounter();

// The multimedia timer resolution, raised to the device's finest during the
// start-up and given back by the window teardown. Each acts once: a second
// raise or a restore without a raise does nothing, so the periods stay paired.
void RaiseTimerResolution();
void RestoreTimerResolution();
// wPeriodMin of timeGetDevCaps: the finest resolution, in milliseconds.
unsigned TimerPeriodMin();
