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

constexpr int Rounds = 15;

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

    double ratio = c.speedup ? baselineBest / subjectBest : subjectBest / baselineBest;
    bool met = c.speedup ? ratio >= c.target : ratio <= c.target;
    std::printf("%-44s %10.2f ns  %-36s %10.2f ns  %6.2fx  %s %.1fx  %s\n", c.name, subjectBest * 1e9,
                c.baselineName, baselineBest * 1e9, ratio, c.speedup ? ">=" : "<=", c.target,
                met ? "met" : "MISSED");
}

} // namespace

int RegisterBench(const BenchComparison& comparison) {
    Comparisons().push_back(comparison);
    return 0;
}

int main() {
    std::printf("%-44s %13s  %-36s %13s  %7s  %-7s\n", "operation", "per op", "baseline", "per op", "ratio",
                "target");
    for (const BenchComparison& c : Comparisons()) Run(c);
    return 0;
}
