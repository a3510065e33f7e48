// The environment report: the Windows version table, the CPUID levels and
// their texts, the memory line, and the report's shape on this machine.
#include "runtime/core/Environment.h"

#include "diag/DiagFixture.h"
#include "runtime/core/Clock.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

struct OsCase {
    DWORD platform, major, minor, build;
    const char* csdVersion;
    int32_t previousCode;
    const char* expectedLine;
    int32_t expectedCode;
};

const OsCase OsCases[] = {
    {0, 3, 10, 0, "", 5, "Windows3.1 ( Build 0  )", 0},
    {1, 4, 0, 950, "", 0, "Windows95 ( Build 950  )", 1},
    {1, 4, 0, 1111, "C", 0, "Windows95OSR2 ( Build 1111 C )", 1},
    {1, 4, 10, 1998, "", 0, "Windows98 ( Build 1998  )", 2},
    {1, 4, 10, 2222, "A ", 0, "Windows98SE ( Build 2222 A  )", 2},
    {1, 4, 90, 3000, " ", 0, "WindowsMe ( Build 3000   )", 3},
    {2, 3, 51, 1057, "Service Pack 5", 0, "WindowsNT 3.51 ( Build 1057 Service Pack 5 )", 0x104},
    {2, 4, 0, 1381, "Service Pack 6", 0, "Windows4.0 ( Build 1381 Service Pack 6 )", 0x105},
    {2, 5, 0, 2195, "Service Pack 4", 0, "Windows2000 ( Build 2195 Service Pack 4 )", 0x106},
    {2, 5, 1, 2600, "Service Pack 3", 0, "WindowsXP ( Build 2600 Service Pack 3 )", 0x107},
    {2, 6, 0, 6002, "Service Pack 2", 0, "WindowsVista ( Build 6002 Service Pack 2 )", 0x108},
    {2, 6, 1, 7601, "Service Pack 1", 0, "Windows7 ( Build 7601 Service Pack 1 )", 0x109},
    // Outside the table: nothing appended, the previous code kept.
    {2, 6, 2, 9200, "", 0, "Windows ( Build 9200  )", 0},
    {2, 10, 0, 19045, "", 0x109, "Windows ( Build 19045  )", 0x109},
    {2, 5, 2, 3790, "Service Pack 2", 0x107, "Windows ( Build 3790 Service Pack 2 )", 0x107},
    {1, 4, 50, 0, "", 2, "Windows ( Build 0  )", 2},
};

TEST(EnvironmentTest, OsVersionTable) {
    for (const OsCase& c : OsCases) {
        OSVERSIONINFOA info;
        std::memset(&info, 0, sizeof info);
        info.dwOSVersionInfoSize = sizeof info;
        info.dwPlatformId = c.platform;
        info.dwMajorVersion = c.major;
        info.dwMinorVersion = c.minor;
        info.dwBuildNumber = c.build;
        std::strcpy(info.szCSDVersion, c.csdVersion);
        char line[512];
        EXPECT_EQ(c.expectedCode, DescribeOsVersion(info, c.previousCode, line, sizeof line)) << c.expectedLine;
        EXPECT_STREQ(c.expectedLine, line);
    }
}

constexpr uint32_t Tsc = 1u << 4, Mmx = 1u << 23, Sse = 1u << 25, Sse2 = 1u << 26;
constexpr uint32_t NoBrandLeaves = 0x80000001, BrandLeaves = 0x80000004;

CpuidValues MakeCpuid(bool available, uint32_t featureEdx, uint32_t highestExtended, const char* brand) {
    CpuidValues values;
    std::memset(&values, 0, sizeof values);
    values.available = available;
    std::memcpy(values.vendor, "GenuineIntel", 12); // as EBX, EDX, ECX give it
    values.featureEdx = featureEdx;
    values.highestExtended = highestExtended;
    // The brand leaves need no terminator: 48 characters fill them.
    std::memcpy(values.brand, brand, std::min(std::strlen(brand), sizeof values.brand));
    return values;
}

struct CpuCase {
    bool available;
    uint32_t featureEdx, highestExtended;
    const char* brand;
    int32_t level, hasTsc;
    const char* vendor;
    const char* expectedBrand;
    const char* what;
};

const char Brand48[] = "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF";

const CpuCase CpuCases[] = {
    {false, Tsc | Mmx | Sse | Sse2, BrandLeaves, "Ignored", 0, 0, "", "", "no CPUID"},
    {true, 0, NoBrandLeaves, "Ignored", 1, 0, "GenuineIntel", "", "CPUID only, no brand leaves"},
    {true, Tsc, NoBrandLeaves, "", 1, 1, "GenuineIntel", "", "time-stamp counter, no MMX"},
    {true, Tsc | Mmx, BrandLeaves, "Test CPU", 3, 1, "GenuineIntel", "Test CPU", "MMX without SSE"},
    {true, Mmx | Sse, BrandLeaves, "Test CPU", 4, 0, "GenuineIntel", "Test CPU", "MMX and SSE"},
    {true, Tsc | Mmx | Sse | Sse2, BrandLeaves, Brand48, 5, 1, "GenuineIntel", Brand48, "all, 48-character brand"},
    {true, Sse | Sse2, BrandLeaves, "", 1, 0, "GenuineIntel", "", "SSE without MMX counts for nothing"},
    {true, Mmx | Sse2, BrandLeaves, "", 3, 0, "GenuineIntel", "", "SSE2 without SSE counts for nothing"},
};

TEST(EnvironmentTest, CpuidLevels) {
    for (const CpuCase& c : CpuCases) {
        CpuFeatures features = ClassifyCpu(MakeCpuid(c.available, c.featureEdx, c.highestExtended, c.brand));
        EXPECT_EQ(c.level, features.level) << c.what;
        EXPECT_EQ(c.hasTsc, features.hasTsc) << c.what;
        EXPECT_STREQ(c.vendor, features.vendor) << c.what;
        EXPECT_STREQ(c.expectedBrand, features.brand) << c.what;
    }
}

class CpuReportLog : public LogFileTest {
protected:
    CpuReportLog() : environment_(Environment) {}
    ~CpuReportLog() override { Environment = environment_; }
    EnvironmentState environment_;
};

TEST_F(CpuReportLog, EachLevelLogsItsTextsVendorAndBrand) {
    struct {
        CpuCase cpu;
        int32_t hasMmx;
        const char* expected;
    } const cases[] = {
        {CpuCases[0], 0, "T:ＣＰＵＩＤ命令は使えません\r\n"},
        {CpuCases[1], 0, "T:ＭＭＸは使えません\r\nT:ＣＰＵベンダ：GenuineIntel\r\n"},
        {CpuCases[3], 1, "T:ＭＭＸ命令を使用します\r\nT:ＣＰＵベンダ：GenuineIntel\r\nT:ＣＰＵ名：Test CPU\r\n"},
        {CpuCases[4], 1,
         "T:ＭＭＸ命令を使用します\r\nT:ＳＳＥ命令が使用可能です\r\nT:ＣＰＵベンダ：GenuineIntel\r\nT:ＣＰＵ名：Test CPU\r\n"},
        {CpuCases[7], 1, "T:ＭＭＸ命令を使用します\r\nT:ＣＰＵベンダ：GenuineIntel\r\n"},
    };
    for (const auto& c : cases) {
        StartLog();
        Environment.CpuHasMmx = 0;
        const CpuCase& cpu = c.cpu;
        LogCpuFeatures(ClassifyCpu(MakeCpuid(cpu.available, cpu.featureEdx, cpu.highestExtended, cpu.brand)));
        EXPECT_EQ(c.expected, LogWithoutStamps()) << cpu.what;
        EXPECT_EQ(c.hasMmx, Environment.CpuHasMmx) << cpu.what;
    }

    StartLog();
    LogCpuFeatures(ClassifyCpu(MakeCpuid(true, Tsc | Mmx | Sse | Sse2, BrandLeaves, "X")));
    EXPECT_EQ("T:ＭＭＸ命令を使用します\r\nT:ＳＳＥ命令が使用可能です\r\nT:ＳＳＥ２命令が使用可能です\r\n"
              "T:ＣＰＵベンダ：GenuineIntel\r\nT:ＣＰＵ名：X\r\n",
              LogWithoutStamps());
}

TEST(EnvironmentTest, MemoryLineReadsThe32BitCountsAsUnsigned) {
    MEMORYSTATUS status;
    std::memset(&status, 0, sizeof status);
    status.dwTotalPhys = 0xC0000000u; // 3 GB: the top bit is set
    status.dwAvailPhys = 0x80000000u;
    char line[256];
    FormatMemoryStatusLine(status, line, sizeof line);
    EXPECT_STREQ("メモリ総量:3072.00MB  空きメモリ領域:2048.00MB ", line);

    FormatMemoryLine(uint64_t(6) << 30, 1536u * 1024u, line, sizeof line);
    EXPECT_STREQ("メモリ総量:6144.00MB  空きメモリ領域:1.50MB ", line);
}

// The whole report on this machine: its fixed lines, the nesting, and the
// values it leaves for the rest of the runtime.
class EnvironmentReportLog : public LogFileTest {
protected:
    EnvironmentReportLog() : environment_(Environment), clock_(Clock) {}
    ~EnvironmentReportLog() override {
        RestoreTimerResolution();
        Environment = environment_;
        Clock = clock_;
    }
    EnvironmentState environment_;
    ClockState clock_;
};

TEST_F(EnvironmentReportLog, ReportOpensWithVersionAndOsLinesOneLevelIn) {
    Environment.OsVersionCode = 0;
    EXPECT_EQ(0, ReportEnvironment());
    std::string log = LogWithoutStamps();
    std::string opening = "T:システムの情報を出力します\r\nT:\tＫＯＴＯライブラリ Ver3.03\r\nT:\tＯＳ  Windows";
    EXPECT_EQ(0u, log.find(opening)) << log;
    EXPECT_NE(std::string::npos, log.find("\r\nT:\tＣＰＵベンダ：")) << log;
    EXPECT_EQ(1, Clock.TimerResolutionRaised);
    EXPECT_EQ(0, Log.LogIndentLevel);
    if (Environment.CpuHasTsc == 1) {
        EXPECT_NE(std::string::npos, log.find("\r\nT:\tＣＰＵ動作速度：大体")) << log;
        EXPECT_GT(Environment.TscTicksPerSecond, 0u);
    }
}

} // namespace
