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

// Keeps a computed value alive so the compiler cannot drop the work.
extern volatile uint32_t BenchSink;

#define BENCH_CONCAT2(a, b) a##b
#define BENCH_CONCAT(a, b) BENCH_CONCAT2(a, b)
#define REGISTER_BENCH(...) \
    static const int BENCH_CONCAT(benchRegistration, __LINE__) = RegisterBench(BenchComparison{__VA_ARGS__})
