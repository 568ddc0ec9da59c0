// The lane versions of the fill generator, which the product does not ship: the tests hold
// them to the reference byte for byte, and the benchmarks compare them with the delta
// versions that FillRandom uses. Lane j starts at the state of byte j and every lane jumps
// ahead by the lane count.
#include "support/FillVariants.h"

#include <cstring>
#include <utility>

#if defined(__i386__) || defined(__x86_64__)
#include <emmintrin.h>
#include <immintrin.h>
#endif

#include "wipe/FillGeneratorKernels.h"

namespace veltrane {
namespace {

constexpr std::size_t kPortableLanes = 16;

void PortableBlocks(const std::uint32_t* first, std::uint8_t* out, std::size_t blocks) {
    constexpr FillJump jump = FillJumpOf(kPortableLanes);
    std::uint32_t lanes[kPortableLanes];
    std::memcpy(lanes, first, sizeof lanes);
    for (std::size_t b = 0; b < blocks; ++b) {
        // Unrolled so that GCC keeps the lanes in registers (and vectorises where it can).
#pragma GCC unroll 16
        for (std::size_t j = 0; j < kPortableLanes; ++j) {
            out[j] = static_cast<std::uint8_t>(lanes[j] >> 16);
            lanes[j] = lanes[j] * jump.mul + jump.add;
        }
        out += kPortableLanes;
    }
}

bool Always() {
    return true;
}

#if defined(__i386__) || defined(__x86_64__)

constexpr std::size_t kSse2Lanes = 16;

// SSE2 multiplies 16-bit elements eight at a time but has no such 32-bit multiply. A byte
// depends only on the low 24 bits of the state, and those evolve on their own (mod 2^24),
// so each lane keeps its state as two 16-bit halves: `lo` (bits 0..15) and `hi` (bits
// 16..23, whatever lies above them is never looked at). One jump, state * M + A, is then
//   lo' = lo * Mlo + Alo                                  (mod 2^16)
//   hi' = high16(lo * Mlo) + lo * Mhi + hi * Mlo + Ahi + carry(lo')   (mod 2^8)
// where carry(lo') = 1 exactly when the addition of Alo wrapped, that is lo' < Alo.
struct Jump16 {
    __m128i mulLo, mulHi, addLo, addHiPlusOne, zero;
};

// Hides a constant from the optimiser: GCC otherwise turns the multiply by the small
// constant Mhi into a longer run of shifts and adds.
__attribute__((target("sse2"), always_inline)) inline __m128i Opaque(__m128i v) {
    __asm__("" : "+x"(v));
    return v;
}

__attribute__((target("sse2"), always_inline)) inline void Step(const Jump16& j, __m128i& lo,
                                                                __m128i& hi) {
    const __m128i sumLo = _mm_add_epi16(_mm_mullo_epi16(lo, j.mulLo), j.addLo);
    // All ones when lo' >= Alo (no carry): adding it to Ahi + 1 adds the carry.
    const __m128i noCarry = _mm_cmpeq_epi16(_mm_subs_epu16(j.addLo, sumLo), j.zero);
    __m128i sumHi = _mm_add_epi16(_mm_mulhi_epu16(lo, j.mulLo), _mm_mullo_epi16(lo, j.mulHi));
    sumHi = _mm_add_epi16(sumHi, _mm_mullo_epi16(hi, j.mulLo));
    hi = _mm_add_epi16(_mm_add_epi16(sumHi, j.addHiPlusOne), noCarry);
    lo = sumLo;
}

// Bits `shift`..`shift` + 15 of eight lane states. (Helpers of SIMD code are functions, not
// lambdas: a lambda does not take on the target attribute of the function around it.)
__attribute__((target("sse2"), always_inline)) inline __m128i Half(const std::uint32_t* lanes,
                                                                   int shift) {
    const auto at = [lanes, shift](int i) { return static_cast<short>(lanes[i] >> shift); };
    return _mm_setr_epi16(at(0), at(1), at(2), at(3), at(4), at(5), at(6), at(7));
}

__attribute__((target("sse2"))) VELTRANE_SIMD_ENTRY void Sse2Blocks(const std::uint32_t* first,
                                                                    std::uint8_t* out,
                                                                    std::size_t blocks) {
    constexpr FillJump jump = FillJumpOf(kSse2Lanes);
    // Pair 0 holds the lanes of bytes 0..7, pair 1 those of bytes 8..15.
    __m128i lo0 = Half(first, 0), hi0 = Half(first, 16);
    __m128i lo1 = Half(first + 8, 0), hi1 = Half(first + 8, 16);
    const Jump16 j{_mm_set1_epi16(static_cast<short>(jump.mul & 0xFFFF)),
                   Opaque(_mm_set1_epi16(static_cast<short>((jump.mul >> 16) & 0xFF))),
                   _mm_set1_epi16(static_cast<short>(jump.add & 0xFFFF)),
                   _mm_set1_epi16(static_cast<short>(((jump.add >> 16) + 1) & 0xFF)),
                   _mm_setzero_si128()};
    const __m128i low8 = _mm_set1_epi16(0xFF);
    for (std::size_t b = 0; b < blocks; ++b) {
        const __m128i bytes = _mm_packus_epi16(_mm_and_si128(hi0, low8), _mm_and_si128(hi1, low8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), bytes);
        out += kSse2Lanes;
        Step(j, lo0, hi0);
        Step(j, lo1, hi1);
    }
}

constexpr std::size_t kAvx2Lanes = 32;

// Register k, element d holds the lane of output byte 4k + d (d < 4) or 16 + 4k + (d - 4):
// a byte shuffle within each 128-bit half then brings every state's bits 16..23 straight
// to its place in the 32-byte block, and three ORs assemble it.
constexpr char PickByte(int reg, std::size_t position) {
    const int inHalf = static_cast<int>(position % 16) - 4 * reg;
    return (inHalf >= 0 && inHalf < 4) ? static_cast<char>(4 * inHalf + 2)  // byte 2 of dword
                                       : static_cast<char>(-128);           // zero
}

// Everything lives in registers or in the constant pool: no AVX value goes through the
// stack, whose 32-byte alignment 64-bit Windows compilers do not always keep.
template <int K, std::size_t... P>
__attribute__((target("avx2"), always_inline)) inline __m256i Picks(std::index_sequence<P...>) {
    return _mm256_setr_epi8(PickByte(K, P)...);
}

// (Helpers of SIMD code are functions, not lambdas: a lambda does not take on the target
// attribute of the function around it.)
__attribute__((target("avx2"), always_inline)) inline __m128i Load128(const std::uint32_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}

template <int K>
__attribute__((target("avx2"), always_inline)) inline __m256i Lanes(const std::uint32_t* first) {
    return _mm256_set_m128i(Load128(first + 16 + 4 * K), Load128(first + 4 * K));
}

__attribute__((target("avx2"))) VELTRANE_SIMD_ENTRY void Avx2Blocks(const std::uint32_t* first,
                                                                    std::uint8_t* out,
                                                                    std::size_t blocks) {
    constexpr FillJump jump = FillJumpOf(kAvx2Lanes);
    __m256i s0 = Lanes<0>(first), s1 = Lanes<1>(first), s2 = Lanes<2>(first), s3 = Lanes<3>(first);
    const auto positions = std::make_index_sequence<32>();
    const __m256i p0 = Picks<0>(positions), p1 = Picks<1>(positions), p2 = Picks<2>(positions),
                  p3 = Picks<3>(positions);
    const __m256i mul = _mm256_set1_epi32(static_cast<int>(jump.mul));
    const __m256i add = _mm256_set1_epi32(static_cast<int>(jump.add));
    for (std::size_t b = 0; b < blocks; ++b) {
        const __m256i lo =
            _mm256_or_si256(_mm256_shuffle_epi8(s0, p0), _mm256_shuffle_epi8(s1, p1));
        const __m256i hi =
            _mm256_or_si256(_mm256_shuffle_epi8(s2, p2), _mm256_shuffle_epi8(s3, p3));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm256_or_si256(lo, hi));
        out += kAvx2Lanes;
        s0 = _mm256_add_epi32(_mm256_mullo_epi32(s0, mul), add);
        s1 = _mm256_add_epi32(_mm256_mullo_epi32(s1, mul), add);
        s2 = _mm256_add_epi32(_mm256_mullo_epi32(s2, mul), add);
        s3 = _mm256_add_epi32(_mm256_mullo_epi32(s3, mul), add);
    }
}

#endif

}  // namespace

void FillRandomPortable(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    fill_kernels::FillInBlocks<kPortableLanes>(state, out, count, PortableBlocks);
}

#if defined(__i386__) || defined(__x86_64__)
void FillRandomSse2(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    fill_kernels::FillInBlocks<kSse2Lanes>(state, out, count, Sse2Blocks);
}

void FillRandomAvx2(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    fill_kernels::FillInBlocks<kAvx2Lanes>(state, out, count, Avx2Blocks);
}
#endif

const FillVariant kFillVariants[] = {
    {"reference", FillRandomReference, Always},
    {"portable", FillRandomPortable, Always},
#if defined(__i386__) || defined(__x86_64__)
    {"sse2", FillRandomSse2, CpuHasSse2},
    {"avx2", FillRandomAvx2, CpuHasAvx2},
#endif
    {"delta-portable", FillRandomDeltaPortable, Always},
#if defined(__i386__) || defined(__x86_64__)
    {"delta-sse2", FillRandomDeltaSse2, CpuHasSse2},
    {"delta-avx2", FillRandomDeltaAvx2, CpuHasAvx2},
#endif
};
const std::size_t kFillVariantCount = sizeof kFillVariants / sizeof kFillVariants[0];

}  // namespace veltrane
