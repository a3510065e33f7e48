// The runtime's clocks: 31-bit milliseconds of the multimedia timer, and
// 64-bit microseconds from the source chosen at start-up.
#pragma once

#include <cstdint>

struct ClockState {
    int32_t UsePerformanceCounter; // 1: microseconds come from QueryPerformanceCounter
    uint64_t PerformanceFrequency; // counts per second of the performance counter; 0 = none
};

extern ClockState Clock;

// timeGetTime() with bit 31 cleared.
int32_t NowMilliseconds();
// Microseconds; useCpuCounter 1 reads the time-stamp counter once the
// runtime is started and the processor has one.
uint64_t NowMicroseconds(int useCpuCounter);

// QueryPerformanceFrequency into PerformanceFrequency; UsePerformanceCounter
// = 1 unless it is 0.
void ProbePerformanceCounter();
// The contest between the multimedia timer and the performance counter that
// picks the microsecond source. Runs only with a performance counter.
void TimerPrecisionTest();

// The multimedia timer resolution, raised to the device's finest during the
// start-up and given back by the window teardown.
void RaiseTimerResolution();
void RestoreTimerResolution();
