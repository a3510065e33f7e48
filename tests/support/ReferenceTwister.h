// MT19937 as published, with the 1998 reference code's seeding: modulo
// indexing, the whole block regenerated when it runs out, one word tempered
// per draw. The generator's tests and its fuzz target hold the runtime's
// generator against it; plain C++, so that both the Windows tests and the
// native fuzz build include it.
#pragma once

#include <cstdint>

class ReferenceTwister {
public:
    explicit ReferenceTwister(uint32_t seed) {
        for (int i = 0; i < 624; ++i) {
            mt[i] = seed & 0xFFFF0000u;
            seed = 69069u * seed + 1u;
            mt[i] |= (seed & 0xFFFF0000u) >> 16;
            seed = 69069u * seed + 1u;
        }
    }

    uint32_t Next() {
        if (index >= 624) Generate();
        uint32_t y = mt[index++];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        return y;
    }

    uint32_t mt[624];  // before the first draw: the seeded, unrefreshed state
    int index = 624;

private:
    void Generate() {
        for (int k = 0; k < 624; ++k) {
            uint32_t y = (mt[k] & 0x80000000u) | (mt[(k + 1) % 624] & 0x7FFFFFFFu);
            mt[k] = mt[(k + 397) % 624] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
        }
        index = 0;
    }
};
