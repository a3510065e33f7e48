// A draw from the runtime's generator against the standard library's
// MT19937: both produce and temper the same kind of words, so the ratio shows
// what the block refresh (and its SSE2 path) buys.
#include "Bench.h"

#include "runtime/Runtime.h"
#include "runtime/core/Random.h"

#include <random>

namespace {

std::mt19937 StandardTwister;

void SeedBoth() {
    SeedRandom(4357);
    StandardTwister.seed(4357);
}

void DrawRuntime(uint32_t iterations) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < iterations; ++i) sum ^= NextRandom32();
    BenchSink = sum;
}

void DrawStandard(uint32_t iterations) {
    uint32_t sum = 0;
    for (uint32_t i = 0; i < iterations; ++i) sum ^= uint32_t(StandardTwister());
    BenchSink = sum;
}

} // namespace

REGISTER_BENCH("NextRandom32", "std::mt19937", DrawRuntime, DrawStandard, 1.2, true, SeedBoth, nullptr);
