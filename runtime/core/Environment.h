// The start-up environment report: runtime version, Windows version,
// processor features and clock, physical memory.
#pragma once

#include <cstdint>

struct EnvironmentState {
    int32_t OsVersionCode;      // 0x104 NT 3.51 .. 0x109 Windows 7; kept when the version is unknown
    int32_t CpuHasMmx;          // the processor offers MMX
    int32_t CpuHasTsc;          // CPUID leaf 1 reports a time-stamp counter
    uint64_t TscTicksPerSecond; // measured time-stamp-counter rate
};

extern EnvironmentState Environment;

// Logs the report and sets the values above; raises the timer resolution.
// Returns 0.
int ReportEnvironment();
// Logs the physical memory (run by the window start-up).
void ReportMemory();
