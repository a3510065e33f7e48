// The process-wide MT19937 generator, seeded as its 1998 reference code does.
#pragma once

#include <cstdint>

constexpr int RandomStateWords = 624;

struct RandomState {
    // The 624 state words plus a spare that holds a copy of word 0 during a
    // refresh, so that the last word's recurrence needs no wrap-around.
    alignas(16) uint32_t state[RandomStateWords + 1];
    alignas(16) uint32_t output[RandomStateWords]; // tempered outputs of the current state
    uint32_t nextIndex;  // next output to hand out; 624 = used up. Unsigned, so
                         // that indexing with it needs no sign extension
    int32_t seeded;      // set by the first seeding
    int32_t useVector;   // refresh with SSE2, decided at each seeding
};

extern RandomState Random;

// Pure generator steps over a given state, so that tests and benchmarks can
// run them on their own instance.
void SeedRandomState(RandomState& rng, uint32_t seed);
void RefreshRandomState(RandomState& rng);
uint32_t NextRandomWord(RandomState& rng);

// The next raw output word of the process-wide generator. A draw is an array
// read and an increment, so it is inline; running out of words (or drawing
// before any seeding) goes to NextRandomWord.
inline uint32_t NextRandom32() {
    uint32_t index = Random.nextIndex;
    if (__builtin_expect(index >= uint32_t(RandomStateWords) || !Random.seeded, 0)) return NextRandomWord(Random);
    Random.nextIndex = index + 1;
    return Random.output[index];
}

// A value in 0..max from one output word: the top 32 bits of word * (max + 1),
// uniform enough for game use and always exactly one word per value.
// Computed unsigned so that max + 1 cannot overflow.
inline int32_t ScaleRandomWord(uint32_t word, int32_t max) {
    uint64_t range = uint64_t(uint32_t(max)) + 1u;
    return int32_t((uint64_t(word) * range) >> 32);
}

// The processor's answer to CPUID leaf 1, which seeding reads to choose the
// refresh: false when the processor has no CPUID (or no leaf 1), else its
// EDX feature bits. Tests put a processor of their own here.
using CpuidLeaf1Function = bool (*)(uint32_t& edx);
extern CpuidLeaf1Function ReadCpuidLeaf1;

// The two ways to the same refresh; RefreshRandomState picks one by the
// state's useVector flag. Exposed so that tests can hold them side by side.
void RefreshRandomStateScalar(RandomState& rng);
void RefreshRandomStateVector(RandomState& rng);
