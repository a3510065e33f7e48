// A small benchmark harness: each comparison runs an operation and a baseline
// in the same run, alternating, and reports their ratio. Times are the best of
// several rounds, which is what survives a shared, noisy machine.
#pragma once

#include <cstdint>

// Runs the measured operation `iterations` times.
using BenchBody = void (*)(uint32_t iterations);

struct BenchComparison {
    const char* name;          // what is measured
    const char* baselineName;  // what it is measured against
    BenchBody subject;
    BenchBody baseline;
    double target;             // the ratio the work asks for
    bool speedup;              // true: ratio = baseline / subject, must be >= target;
                               // false: ratio = subject / baseline, must be <= target
    // Optional set-up and tear-down around the rounds (may be null).
    void (*setUp)();
    void (*tearDown)();
};

int RegisterBench(const BenchComparison& comparison);

// A free-form report that prints its own lines after the comparison table,
// for figures that have no baseline (shares of a wall time, counts).
using BenchReport = void (*)();
int RegisterBenchReport(BenchReport report);

// A measurement that does its own timing, for operations whose cost is a
// wait rather than work that repeats in a loop (a latency set against a
// period, say). Each function returns the mean seconds of one operation over
// as many runs as it chooses; the two are reported as a comparison is.
using BenchMeasure = double (*)();

struct BenchMeasurement {
    const char* name;
    const char* baselineName;
    BenchMeasure subject;
    BenchMeasure baseline;
    double target;
    bool speedup;              // as in BenchComparison
    void (*setUp)();           // may be null
    void (*tearDown)();        // may be null
};

int RegisterBenchMeasurement(const BenchMeasurement& measurement);

// Seconds on the performance counter, for benchmarks that time by hand.
double BenchSeconds();

// Keeps a computed value alive so the compiler cannot drop the work.
extern volatile uint32_t BenchSink;

#define BENCH_CONCAT2(a, b) a##b
#define BENCH_CONCAT(a, b) BENCH_CONCAT2(a, b)
#define REGISTER_BENCH(...) \
    static const int BENCH_CONCAT(benchRegistration, __LINE__) = RegisterBench(BenchComparison{__VA_ARGS__})
#define REGISTER_BENCH_MEASUREMENT(...)                              \
    static const int BENCH_CONCAT(benchMeasurement, __LINE__) = \
        RegisterBenchMeasurement(BenchMeasurement{__VA_ARGS__})
#define REGISTER_BENCH_REPORT(report) \
    static const int BENCH_CONCAT(benchReportRegistration, __LINE__) = RegisterBenchReport(report)
