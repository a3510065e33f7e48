// Any seed, and optionally any state words laid over the seeded state: the
// plain refresh and the vector refresh must give the same state and the same
// words, and both the textbook MT19937 words.
//
// Each generator is switched to its refresh through the useVector flag that
// seeding sets, so the draws go through the production path (NextRandomWord,
// RefreshRandomState) exactly as the runtime's do.
#include "FuzzInput.h"

#include "runtime/core/Random.h"

#include <memory>

namespace {

// MT19937 as published, with the 1998 reference code's seeding: the whole
// block regenerated when it runs out, indices taken modulo 624.
struct Textbook {
    uint32_t mt[624];
    int next = 624;

    explicit Textbook(uint32_t seed) {
        for (int i = 0; i < 624; ++i) {
            mt[i] = seed & 0xFFFF0000u;
            seed = 69069u * seed + 1u;
            mt[i] |= (seed & 0xFFFF0000u) >> 16;
            seed = 69069u * seed + 1u;
        }
    }

    uint32_t Next() {
        if (next >= 624) {
            for (int k = 0; k < 624; ++k) {
                uint32_t y = (mt[k] & 0x80000000u) | (mt[(k + 1) % 624] & 0x7FFFFFFFu);
                mt[k] = mt[(k + 397) % 624] ^ (y >> 1) ^ ((y & 1u) ? 0x9908B0DFu : 0u);
            }
            next = 0;
        }
        uint32_t y = mt[next++];
        y ^= y >> 11;
        y ^= (y << 7) & 0x9D2C5680u;
        y ^= (y << 15) & 0xEFC60000u;
        y ^= y >> 18;
        return y;
    }
};

// Three blocks: the seeded one and two refreshes of each kind.
constexpr int Draws = 3 * RandomStateWords;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input(data, size);
    const uint32_t seed = input.Take<uint32_t>();

    auto plain = std::make_unique<RandomState>();
    SeedRandomState(*plain, seed);
    auto vector = std::make_unique<RandomState>(*plain);
    plain->useVector = 0;
    vector->useVector = 1;
    Textbook textbook(seed);

    // The first block is the seeding's own; it must be the textbook's
    // before any words are laid over the state.
    for (int i = 0; i < RandomStateWords; ++i) {
        uint32_t word = textbook.Next();
        FUZZ_CHECK(NextRandomWord(*plain) == word);
        FUZZ_CHECK(NextRandomWord(*vector) == word);
    }

    // The rest of the input, as whole words, is XOR-ed into the state, so
    // that the refreshes meet states no seed leads to.
    for (int i = 0; i < RandomStateWords && input.RestSize() >= 4; ++i) {
        uint32_t word = input.Take<uint32_t>();
        plain->state[i] ^= word;
        vector->state[i] ^= word;
        textbook.mt[i] ^= word;
    }

    for (int i = RandomStateWords; i < Draws; ++i) {
        uint32_t word = textbook.Next();
        FUZZ_CHECK(NextRandomWord(*plain) == word);
        FUZZ_CHECK(NextRandomWord(*vector) == word);
        if ((i + 1) % RandomStateWords == 0)
            FUZZ_CHECK(std::memcmp(plain->state, vector->state, sizeof plain->state) == 0);
    }
    return 0;
}
