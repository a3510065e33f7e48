// The start-up environment report: the runtime's version, the Windows
// version, the processor's features and clock, and the physical memory.
#include "runtime/core/Environment.h"

#include "runtime/core/Clock.h"
#include "runtime/diag/DebugOutput.h"
#include "runtime/diag/Format.h"
#include "runtime/diag/Log.h"

#include <cpuid.h>
#include <x86intrin.h>

#include <cstring>

EnvironmentState Environment;

// The sizes the version and memory queries are told, the same in every build.
static_assert(sizeof(OSVERSIONINFOA) == 148 && sizeof(MEMORYSTATUSEX) == 64,
              "OSVERSIONINFOA of 148 bytes, MEMORYSTATUSEX of 64");

namespace {

constexpr const char RuntimeVersion[] = "3.03";
constexpr size_t OsLineSize = 512;
constexpr size_t MemoryLineSize = 256;
constexpr int32_t OsCodeWindows2000 = 0x106;
constexpr int ClockEstimateMs = 100;
constexpr double BytesPerMegabyte = 1048576.0;

constexpr int AnyVersion = -1;

// One row of the version table. The Windows 9x rows add a second text when
// szCSDVersion starts with the row's mark (their service releases).
struct OsVersionRow {
    DWORD platform;
    int major;
    int minor;
    const char* text;
    char releaseMark;
    const char* releaseText;
    int32_t code;
};

const OsVersionRow OsVersionTable[] = {
    {VER_PLATFORM_WIN32s, AnyVersion, AnyVersion, "3.1", 0, "", 0},
    {VER_PLATFORM_WIN32_WINDOWS, AnyVersion, 0, "95", 'C', "OSR2", 1},
    {VER_PLATFORM_WIN32_WINDOWS, AnyVersion, 10, "98", 'A', "SE", 2},
    {VER_PLATFORM_WIN32_WINDOWS, AnyVersion, 90, "Me", 0, "", 3},
    {VER_PLATFORM_WIN32_NT, 3, AnyVersion, "NT 3.51", 0, "", 0x104},
    {VER_PLATFORM_WIN32_NT, 4, AnyVersion, "4.0", 0, "", 0x105},
    {VER_PLATFORM_WIN32_NT, 5, 0, "2000", 0, "", 0x106},
    {VER_PLATFORM_WIN32_NT, 5, 1, "XP", 0, "", 0x107},
    {VER_PLATFORM_WIN32_NT, 6, 0, "Vista", 0, "", 0x108},
    {VER_PLATFORM_WIN32_NT, 6, 1, "7", 0, "", 0x109},
};

bool VersionMatches(int wanted, DWORD actual) {
    return wanted == AnyVersion || DWORD(wanted) == actual;
}

const OsVersionRow* FindOsVersionRow(const OSVERSIONINFOA& info) {
    for (const OsVersionRow& row : OsVersionTable) {
        if (row.platform == info.dwPlatformId && VersionMatches(row.major, info.dwMajorVersion) &&
            VersionMatches(row.minor, info.dwMinorVersion))
            return &row;
    }
    return nullptr;
}

// ---- Processor ------------------------------------------------------------------

constexpr uint32_t EdxTsc = 1u << 4;
constexpr uint32_t EdxMmx = 1u << 23;
constexpr uint32_t EdxSse = 1u << 25;
constexpr uint32_t EdxSse2 = 1u << 26;
constexpr uint32_t BrandLeafFirst = 0x80000002;
constexpr uint32_t BrandLeafLast = 0x80000004;

// A processor has CPUID when the ID flag (bit 21) of EFLAGS can be changed.
bool CpuidAvailable() {
#if defined(__i386__)
    uint32_t changed, original;
    asm volatile("pushfl\n\t"
                 "pushfl\n\t"
                 "popl %0\n\t"
                 "movl %0, %1\n\t"
                 "xorl $0x200000, %0\n\t"
                 "pushl %0\n\t"
                 "popfl\n\t"
                 "pushfl\n\t"
                 "popl %0\n\t"
                 "popfl"
                 : "=&r"(changed), "=&r"(original)
                 :
                 : "cc");
    return ((changed ^ original) & 0x200000) != 0;
#else
    return true;
#endif
}

void ReadBrandLeaves(CpuidValues& values) {
    for (uint32_t leaf = BrandLeafFirst; leaf <= BrandLeafLast; ++leaf) {
        uint32_t* words = values.brand + 4 * (leaf - BrandLeafFirst);
        __cpuid(leaf, words[0], words[1], words[2], words[3]);
    }
}

CpuidValues ReadCpuid() {
    CpuidValues values;
    std::memset(&values, 0, sizeof values);
    values.available = CpuidAvailable();
    if (!values.available) return values;
    uint32_t eax, ebx, ecx, edx;
    __cpuid(0, eax, values.vendor[0], values.vendor[2], values.vendor[1]); // EBX, ECX, EDX
    __cpuid(1, eax, ebx, ecx, values.featureEdx);
    __cpuid(0x80000000, values.highestExtended, ebx, ecx, edx);
    if (values.highestExtended >= BrandLeafLast) ReadBrandLeaves(values);
    return values;
}

// Each feature counts only on top of the one before it.
int32_t FeatureLevel(uint32_t edx) {
    if ((edx & EdxMmx) == 0) return 1;
    if ((edx & EdxSse) == 0) return 3;
    if ((edx & EdxSse2) == 0) return 4;
    return 5;
}

// Busy-waits at least 100 ms of the millisecond clock and derives the
// time-stamp counter's rate from the ticks in between.
void EstimateProcessorClock() {
    int64_t started = ReadPerformanceCounter();
    uint64_t firstTicks = __rdtsc();
    int32_t start = NowMilliseconds();
    // The difference is taken across the clock's wrap: a plain subtraction
    // would turn negative there and hold the start-up for weeks.
    while (MillisecondsBetween(start, NowMilliseconds()) < ClockEstimateMs) {
    }
    uint64_t ticks = __rdtsc() - firstTicks;
    uint32_t megahertz = uint32_t(double(ticks) / 100000.0);
    Environment.TscTicksPerSecond = ticks * 10;
    LogPrintf("ＣＰＵ動作速度：大体%.2fGHz", double(megahertz) / 1000.0);
    StartupSteps.clockEstimateSeconds = SecondsSinceCounter(started);
}

void LogVendorWord(uint32_t word) {
    char text[5];
    std::memcpy(text, &word, 4);
    text[4] = '\0';
    LogWrite(text);
}

void LogOsVersion() {
    OSVERSIONINFOA info;
    std::memset(&info, 0, sizeof info);
    info.dwOSVersionInfoSize = sizeof info;
    GetVersionExA(&info);
    char line[OsLineSize];
    Environment.OsVersionCode = DescribeOsVersion(info, Environment.OsVersionCode, line, sizeof line);
    LogPrintf("%s", line);
}

void ReportProcessor() {
    CpuFeatures features = ClassifyCpu(ReadCpuid());
    Environment.CpuHasTsc = features.hasTsc;
    if (Environment.CpuHasTsc == 1) EstimateProcessorClock();
    LogCpuFeatures(features);
}

// ---- Memory -----------------------------------------------------------------

void ReportMemoryLine(uint64_t totalBytes, uint64_t availableBytes) {
    char line[MemoryLineSize];
    FormatMemoryLine(totalBytes, availableBytes, line, sizeof line);
    LogPrintf("%s", line);
    char debugText[64];
    FormatText(debugText, sizeof debugText, "%.2fMB\n", double(availableBytes) * (1.0 / BytesPerMegabyte));
    WriteDebugOutput(debugText);
}

// GlobalMemoryStatus's counts are 32 bits wide and read as unsigned: a
// machine with 2 GB or more sets their top bit, which a signed reading would
// turn into a negative size.
uint64_t UnsignedMemoryCount(SIZE_T count) {
    return uint64_t(uint32_t(count));
}

using GlobalMemoryStatusExFunction = BOOL(WINAPI*)(LPMEMORYSTATUSEX);

// Windows 2000 and later: the 64-bit figures, looked up at run time as
// older systems lack the entry point.
bool ReportMemoryEx() {
    HMODULE kernel = LoadLibraryA("Kernel32.dll");
    if (kernel == nullptr) return false;
    auto statusEx = reinterpret_cast<GlobalMemoryStatusExFunction>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "GlobalMemoryStatusEx")));
    bool reported = false;
    if (statusEx != nullptr) {
        MEMORYSTATUSEX status;
        std::memset(&status, 0, sizeof status);
        status.dwLength = sizeof status;
        statusEx(&status);
        ReportMemoryLine(status.ullTotalPhys, status.ullAvailPhys);
        reported = true;
    }
    FreeLibrary(kernel);
    return reported;
}

void ReportMemoryLegacy() {
    MEMORYSTATUS status;
    std::memset(&status, 0, sizeof status);
    status.dwLength = sizeof status;
    GlobalMemoryStatus(&status);
    ReportMemoryLine(UnsignedMemoryCount(status.dwTotalPhys), UnsignedMemoryCount(status.dwAvailPhys));
}

} // namespace

int32_t DescribeOsVersion(const OSVERSIONINFOA& info, int32_t previousCode, char* line, size_t size) {
    char name[32] = "Windows";
    int32_t code = previousCode;
    const OsVersionRow* row = FindOsVersionRow(info);
    if (row != nullptr) {
        bool release = row->releaseMark != 0 && info.szCSDVersion[0] == row->releaseMark;
        FormatText(name, sizeof name, "Windows%s%s", row->text, release ? row->releaseText : "");
        code = row->code;
    }
    FormatText(line, size, "%s ( Build %d %s )", name, int(info.dwBuildNumber), info.szCSDVersion);
    return code;
}

CpuFeatures ClassifyCpu(const CpuidValues& values) {
    CpuFeatures features;
    std::memset(&features, 0, sizeof features);
    if (!values.available) return features;
    features.level = FeatureLevel(values.featureEdx);
    features.hasTsc = (values.featureEdx & EdxTsc) != 0 ? 1 : 0;
    std::memcpy(features.vendor, values.vendor, 12);
    if (values.highestExtended >= BrandLeafLast) std::memcpy(features.brand, values.brand, CpuBrandSize - 1);
    return features;
}

void LogCpuFeatures(const CpuFeatures& features) {
    if (features.level == 0) LogWrite("ＣＰＵＩＤ命令は使えません\n");
    if (features.level == 1) LogWrite("ＭＭＸは使えません\n");
    if (features.level >= 3) {
        LogWrite("ＭＭＸ命令を使用します\n");
        Environment.CpuHasMmx = 1;
    }
    if (features.level >= 4) LogWrite("ＳＳＥ命令が使用可能です\n");
    if (features.level >= 5) LogWrite("ＳＳＥ２命令が使用可能です\n");
    if (features.level == 0) return;

    LogWrite("ＣＰＵベンダ：");
    uint32_t words[3];
    std::memcpy(words, features.vendor, sizeof words);
    for (uint32_t word : words) LogVendorWord(word);
    LogWrite("\n");
    if (features.brand[0] != '\0') LogPrintf("ＣＰＵ名：%s", features.brand);
}

void FormatMemoryLine(uint64_t totalBytes, uint64_t availableBytes, char* line, size_t size) {
    FormatText(line, size, "メモリ総量:%.2fMB  空きメモリ領域:%.2fMB ", double(totalBytes) * (1.0 / BytesPerMegabyte),
               double(availableBytes) * (1.0 / BytesPerMegabyte));
}

void FormatMemoryStatusLine(const MEMORYSTATUS& status, char* line, size_t size) {
    FormatMemoryLine(UnsignedMemoryCount(status.dwTotalPhys), UnsignedMemoryCount(status.dwAvailPhys), line, size);
}

int ReportEnvironment() {
    LogWrite("システムの情報を出力します\n");
    IncreaseLogIndent();
    char version[64];
    FormatText(version, sizeof version, "ＫＯＴＯライブラリ Ver%s\n", RuntimeVersion);
    LogWrite(version);
    LogWrite("ＯＳ  ");
    LogOsVersion();
    RaiseTimerResolution();
    ReportProcessor();
    DecreaseLogIndent();
    return 0;
}

void ReportMemory() {
    if (Environment.OsVersionCode >= OsCodeWindows2000 && ReportMemoryEx()) return;
    ReportMemoryLegacy();
}
