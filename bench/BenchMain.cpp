#include "Bench.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
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

double Seconds() {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

double TimeRun(BenchBody body, uint32_t iterations) {
    double start = Seconds();
    body(iterations);
    return Seconds() - start;
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

void PrintRow(const char* name, double subject, const char* baselineName, double baseline, double target,
              bool speedup) {
    double ratio = speedup ? baseline / subject : subject / baseline;
    bool met = speedup ? ratio >= target : ratio <= target;
    std::printf("%-44s %10.2f ns  %-36s %10.2f ns  %6.2fx  %s %.1fx  %s\n", name, subject * 1e9, baselineName,
                baseline * 1e9, ratio, speedup ? ">=" : "<=", target, met ? "met" : "MISSED");
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

int main() {
    std::printf("%-44s %13s  %-36s %13s  %7s  %-7s\n", "operation", "per op", "baseline", "per op", "ratio",
                "target");
    for (const BenchComparison& c : Comparisons()) Run(c);
    for (const BenchMeasurement& m : Measurements()) Measure(m);
    for (BenchReport report : Reports()) {
        std::printf("\n");
        report();
    }
    return 0;
}
