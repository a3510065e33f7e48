// The MT19937 generator's steps over a given state. The save file uses its
// sequence as a keystream, so every path here must give the same words for
// the same seed on every machine: the SSE2 refresh is only a faster way to the
// same state. The process-wide instance and the runtime's entry points over
// it are in RandomApi.cpp; this file needs nothing of the platform, so that it
// can be fuzzed natively.
//
// The library is built for processors without SSE2; only the functions
// marked SSE2_CODE below are compiled for it, and they run only after
// ProcessorHasSse2 said yes at seeding (scripts/check-sse keeps it so).
#include "runtime/core/Random.h"

#include <cpuid.h>
#include <emmintrin.h>

#define SSE2_CODE __attribute__((target("sse2")))

namespace {

constexpr int ShiftDistance = 397;                            // M of the published parameters
constexpr int FirstPassEnd = RandomStateWords - ShiftDistance; // 227: words whose partner is still old
constexpr uint32_t MatrixA = 0x9908B0DFu;
constexpr uint32_t UpperMask = 0x80000000u;
constexpr uint32_t LowerMask = 0x7FFFFFFFu;
constexpr uint32_t TemperB = 0x9D2C5680u;
constexpr uint32_t TemperC = 0xEFC60000u;

// Draws before any seeding behave as if seeded with the reference code's
// default seed.
constexpr uint32_t DefaultSeed = 4357;

// CPUID leaf 1, EDX bit 26 (bit 25 is SSE, which processors of the
// Pentium III and Athlon XP class have without SSE2).
constexpr unsigned CpuidSse2Bit = 1u << 26;

// __get_cpuid also makes sure the processor has CPUID at all (the EFLAGS ID
// toggle on 32-bit) and that leaf 1 exists.
bool ReadProcessorCpuidLeaf1(uint32_t& edx) {
    unsigned eax, ebx, ecx, answer;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &answer)) return false;
    edx = answer;
    return true;
}

bool ProcessorHasSse2() {
    uint32_t edx = 0;
    if (!ReadCpuidLeaf1(edx)) return false;
    return (edx & CpuidSse2Bit) != 0;
}

inline uint32_t Twist(uint32_t current, uint32_t next, uint32_t partner) {
    uint32_t y = (current & UpperMask) | (next & LowerMask);
    return partner ^ (y >> 1) ^ ((0u - (y & 1u)) & MatrixA);
}

inline uint32_t Temper(uint32_t y) {
    y ^= y >> 11;
    y ^= (y << 7) & TemperB;
    y ^= (y << 15) & TemperC;
    y ^= y >> 18;
    return y;
}

// Four words of the recurrence at once: s[k..k+3] from s[k+1..k+4] and the
// four partner words.
SSE2_CODE inline __m128i TwistVector(__m128i current, __m128i next, __m128i partner) {
    const __m128i upper = _mm_set1_epi32(int(UpperMask));
    const __m128i lower = _mm_set1_epi32(int(LowerMask));
    const __m128i matrix = _mm_set1_epi32(int(MatrixA));
    __m128i y = _mm_or_si128(_mm_and_si128(current, upper), _mm_and_si128(next, lower));
    // All ones where y is odd: shift bit 0 up to the sign and spread it.
    __m128i odd = _mm_srai_epi32(_mm_slli_epi32(y, 31), 31);
    __m128i result = _mm_xor_si128(partner, _mm_srli_epi32(y, 1));
    return _mm_xor_si128(result, _mm_and_si128(odd, matrix));
}

SSE2_CODE inline __m128i TemperVector(__m128i y) {
    const __m128i b = _mm_set1_epi32(int(TemperB));
    const __m128i c = _mm_set1_epi32(int(TemperC));
    y = _mm_xor_si128(y, _mm_srli_epi32(y, 11));
    y = _mm_xor_si128(y, _mm_and_si128(_mm_slli_epi32(y, 7), b));
    y = _mm_xor_si128(y, _mm_and_si128(_mm_slli_epi32(y, 15), c));
    y = _mm_xor_si128(y, _mm_srli_epi32(y, 18));
    return y;
}

SSE2_CODE inline __m128i LoadVector(const uint32_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

SSE2_CODE inline __m128i LoadVectorAligned(const uint32_t* p) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(p));
}

SSE2_CODE inline void StoreVectorAligned(uint32_t* p, __m128i v) { _mm_store_si128(reinterpret_cast<__m128i*>(p), v); }

} // namespace

CpuidLeaf1Function ReadCpuidLeaf1 = ReadProcessorCpuidLeaf1;

void SeedRandomState(RandomState& rng, uint32_t seed) {
    // The 1998 reference seeding: each word takes the high halves of two
    // successive values of the congruential generator x -> 69069x + 1.
    uint32_t x = seed;
    for (int i = 0; i < RandomStateWords; ++i) {
        uint32_t next = 69069u * x + 1u;
        rng.state[i] = (x & 0xFFFF0000u) | (next >> 16);
        x = 69069u * next + 1u;
    }
    rng.useVector = ProcessorHasSse2() ? 1 : 0;
    rng.seeded = 1;
    RefreshRandomState(rng);
}

void RefreshRandomStateScalar(RandomState& rng) {
    uint32_t* s = rng.state;
    for (int k = 0; k < FirstPassEnd; ++k) s[k] = Twist(s[k], s[k + 1], s[k + ShiftDistance]);
    // The spare word lets word 623 read its successor (the new word 0)
    // without a wrap-around.
    s[RandomStateWords] = s[0];
    for (int k = FirstPassEnd; k < RandomStateWords; ++k) s[k] = Twist(s[k], s[k + 1], s[k - FirstPassEnd]);
    for (int i = 0; i < RandomStateWords; ++i) rng.output[i] = Temper(s[i]);
    rng.nextIndex = 0;
}

SSE2_CODE void RefreshRandomStateVector(RandomState& rng) {
    uint32_t* s = rng.state;
    // First pass, words 0..223 four at a time: their successors and partners
    // (up to word 623) are all still old. Words 224..226 one by one, since a
    // fourth lane would reach the spare word before it is written.
    int k = 0;
    for (; k + 4 <= FirstPassEnd; k += 4)
        StoreVectorAligned(s + k, TwistVector(LoadVectorAligned(s + k), LoadVector(s + k + 1),
                                              LoadVector(s + k + ShiftDistance)));
    for (; k < FirstPassEnd; ++k) s[k] = Twist(s[k], s[k + 1], s[k + ShiftDistance]);

    s[RandomStateWords] = s[0];

    // Second pass: word 227 alone, so that the vectors start on an aligned
    // word (228); the last vector ends at word 623 and reads the spare word
    // as its successor. Partners lie 227 words back, long since written.
    s[k] = Twist(s[k], s[k + 1], s[k - FirstPassEnd]);
    for (++k; k < RandomStateWords; k += 4)
        StoreVectorAligned(s + k, TwistVector(LoadVectorAligned(s + k), LoadVector(s + k + 1),
                                              LoadVector(s + k - FirstPassEnd)));

    for (int i = 0; i < RandomStateWords; i += 4)
        StoreVectorAligned(rng.output + i, TemperVector(LoadVectorAligned(s + i)));
    rng.nextIndex = 0;
}

void RefreshRandomState(RandomState& rng) {
    if (rng.useVector) {
        RefreshRandomStateVector(rng);
        return;
    }
    RefreshRandomStateScalar(rng);
}

uint32_t NextRandomWord(RandomState& rng) {
    // The seeded flag is checked on every draw, not only when the outputs
    // run out: at process start the whole state is zero, next index
    // included, and the empty output block must not be handed out.
    if (rng.nextIndex >= uint32_t(RandomStateWords) || !rng.seeded) {
        if (!rng.seeded)
            SeedRandomState(rng, DefaultSeed);
        else
            RefreshRandomState(rng);
    }
    return rng.output[rng.nextIndex++];
}
