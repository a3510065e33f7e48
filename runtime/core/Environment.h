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

// ---- Pure pieces of the report, over the platform's values -----------------

#include <windows.h>

#include <cstddef>

// The OS line from GetVersionExA's record: "Windows" with the version text
// appended, the build number and szCSDVersion, as "%s ( Build %d %s )".
// Returns OsVersionCode: the table's code, or previousCode for a version
// outside the table.
int32_t DescribeOsVersion(const OSVERSIONINFOA& info, int32_t previousCode, char* line, size_t size);

// What CPUID reported, register by register.
struct CpuidValues {
    bool available;             // bit 21 of EFLAGS could be toggled
    uint32_t vendor[3];         // leaf 0: EBX, EDX, ECX
    uint32_t featureEdx;        // leaf 1: EDX
    uint32_t highestExtended;   // leaf 0x80000000: EAX
    uint32_t brand[12];         // leaves 0x80000002..4: EAX, EBX, ECX, EDX of each
};

constexpr size_t CpuVendorSize = 13;
constexpr size_t CpuBrandSize = 49;

// The report's reading of those registers.
struct CpuFeatures {
    int32_t level;              // 0 no CPUID, 1 CPUID, 3 MMX, 4 SSE, 5 SSE2
    int32_t hasTsc;             // leaf 1 EDX bit 4
    char vendor[CpuVendorSize]; // twelve characters, empty at level 0
    char brand[CpuBrandSize];   // up to 48 characters, empty without the brand leaves
};

CpuFeatures ClassifyCpu(const CpuidValues& values);
// Logs the level's feature texts, the vendor and the brand; sets CpuHasMmx.
void LogCpuFeatures(const CpuFeatures& features);

// The memory report's line, "メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ",
// from byte counts; 32-bit counts are passed zero-extended.
void FormatMemoryLine(uint64_t totalBytes, uint64_t availableBytes, char* line, size_t size);
// The same line from GlobalMemoryStatus's record, its 32-bit counts read as
// unsigned.
void FormatMemoryStatusLine(const MEMORYSTATUS& status, char* line, size_t size);
