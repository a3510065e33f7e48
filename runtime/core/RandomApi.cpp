// The runtime's random entry points over the process-wide generator; the
// generator itself is in Random.cpp.
#include "runtime/core/Random.h"

#include "runtime/Runtime.h"

RandomState Random;

int SeedRandom(int seed) {
    SeedRandomState(Random, uint32_t(seed));
    return 0;
}

int RandomUpTo(int max) {
    return ScaleRandomWord(NextRandom32(), max);
}
