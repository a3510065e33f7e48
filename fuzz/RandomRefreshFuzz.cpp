// Any seed, and optionally any state words laid over the seeded state: the
// plain refresh and the vector refresh must give the same state and the same
// words, and both the textbook MT19937 words.
//
// Each generator is switched to its refresh through the useVector flag that
// seeding sets, so the draws go through the production path (NextRandomWord,
// RefreshRandomState) exactly as the runtime's do.
#include "FuzzInput.h"

#include "runtime/core/Random.h"
#include "tests/support/ReferenceTwister.h"

#include <memory>

namespace {

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
    ReferenceTwister textbook(seed);

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
