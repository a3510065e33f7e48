#include "Bench.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

volatile uint32_t BenchSink;

namespace {

std::vector<BenchComparison>& Comparisons() {
    static std::vector<BenchComparison> list;
    return list;
}

std::vector<BenchReport>& Reports() {
    static std::vector<BenchReport> list;
    return list;
}


double TimeRun(BenchBody body, uint32_t iterations) {
    double start = BenchSeconds();
    body(iterations);
    return BenchSeconds() - start;
}

// Enough iterations for one round to last about 20 ms.
uint32_t Calibrate(BenchBody body) {
    uint32_t iterations = 1000;
    for (;;) {
        double t = TimeRun(body, iterations);
        if (t >= 0.02 || iterations >= (1u << 28)) return iterations;
        iterations = t < 0.002 ? iterations * 10 : uint32_t(iterations * (0.02 / t)) + 1;
    }
}

std::vector<BenchMeasurement>& Measurements() {
    static std::vector<BenchMeasurement> list;
    return list;
}

constexpr int Rounds = 15;

// A duration in the unit that keeps it readable: ns, us or ms.
std::string Duration(double seconds) {
    char text[32];
    if (seconds < 1e-6)
        std::snprintf(text, sizeof text, "%8.2f ns", seconds * 1e9);
    else if (seconds < 1e-3)
        std::snprintf(text, sizeof text, "%8.2f us", seconds * 1e6);
    else
        std::snprintf(text, sizeof text, "%8.2f ms", seconds * 1e3);
    return text;
}

void PrintRow(const char* name, double subject, const char* baselineName, double baseline, double target,
              bool speedup) {
    double ratio = speedup ? baseline / subject : subject / baseline;
    bool met = speedup ? ratio >= target : ratio <= target;
    std::printf("%-46s %s  %-42s %s  %8.2fx  %s %.1fx  %s\n", name, Duration(subject).c_str(), baselineName,
                Duration(baseline).c_str(), ratio, speedup ? ">=" : "<=", target, met ? "met" : "MISSED");
}

void Measure(const BenchMeasurement& m) {
    if (m.setUp) m.setUp();
    double subject = m.subject();
    double baseline = m.baseline();
    if (m.tearDown) m.tearDown();
    PrintRow(m.name, subject, m.baselineName, baseline, m.target, m.speedup);
}

void Run(const BenchComparison& c) {
    if (c.setUp) c.setUp();
    uint32_t subjectIterations = Calibrate(c.subject);
    uint32_t baselineIterations = Calibrate(c.baseline);
    double subjectBest = 1e30, baselineBest = 1e30;
    for (int round = 0; round < Rounds; ++round) {
        subjectBest = std::min(subjectBest, TimeRun(c.subject, subjectIterations) / subjectIterations);
        baselineBest = std::min(baselineBest, TimeRun(c.baseline, baselineIterations) / baselineIterations);
    }
    if (c.tearDown) c.tearDown();

    PrintRow(c.name, subjectBest, c.baselineName, baselineBest, c.target, c.speedup);
}

} // namespace

double BenchSeconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

int RegisterBench(const BenchComparison& comparison) {
    Comparisons().push_back(comparison);
    return 0;
}

int RegisterBenchMeasurement(const BenchMeasurement& measurement) {
    Measurements().push_back(measurement);
    return 0;
}

int RegisterBenchReport(BenchReport report) {
    Reports().push_back(report);
    return 0;
}

// An argument keeps only the comparisons whose name contains it (reports
// then run only without one): for looking at one figure alone.
namespace {

constexpr const char RowSwitch[] = "--row=";

// Each comparison runs in a fresh copy of this program, so that what one
// leaves behind (a started runtime's heap, its threads, the timer resolution)
// cannot colour the next one's figures. Measurements and reports run here,
// after them: a report may print what a measurement found.
void RunComparisonInChild(size_t row) {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    char commandLine[MAX_PATH + 32];
    std::snprintf(commandLine, sizeof commandLine, "\"%s\" %s%u", path, RowSwitch, unsigned(row));
    STARTUPINFOA startup;
    std::memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {startup.hStdOutput, startup.hStdError})
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    PROCESS_INFORMATION process;
    std::fflush(stdout);
    if (!CreateProcessA(nullptr, commandLine, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        std::printf("row %u: cannot start a child (error %lu)\n", unsigned(row), GetLastError());
        return;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
}

} // namespace

// No argument: every comparison, each in its own process, then the
// measurements and the reports. "--row=N" runs comparison N here (the
// child's part). Any other argument keeps only the rows
// whose name contains it, run here: for looking at one figure alone.
int main(int argc, char** argv) {
    const char* argument = argc > 1 ? argv[1] : nullptr;
    if (argument && std::strncmp(argument, RowSwitch, sizeof RowSwitch - 1) == 0) {
        size_t row = std::strtoul(argument + sizeof RowSwitch - 1, nullptr, 10);
        if (row < Comparisons().size()) Run(Comparisons()[row]);
        return 0;
    }
    // The same source builds for both widths; a table says which it measured.
    std::printf("%s build (%d-bit Windows program)\n", sizeof(void*) == 4 ? "x86" : "x64", int(sizeof(void*) * 8));
    std::printf("%-46s %11s  %-42s %11s  %9s  %-7s\n", "operation", "per op", "baseline", "per op", "ratio",
                "target");
    if (argument) {
        for (const BenchComparison& c : Comparisons())
            if (std::strstr(c.name, argument)) Run(c);
        for (const BenchMeasurement& m : Measurements())
            if (std::strstr(m.name, argument)) Measure(m);
        return 0;
    }
    for (size_t row = 0; row < Comparisons().size(); ++row) RunComparisonInChild(row);
    std::fflush(stdout);
    for (const BenchMeasurement& m : Measurements()) Measure(m);
    for (BenchReport report : Reports()) {
        std::printf("\n");
        report();
    }
    return 0;
}
