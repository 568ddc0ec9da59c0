// The fill generator on SSE2: 16 lanes, and the delta version.
#if defined(__i386__) || defined(__x86_64__)

#include <emmintrin.h>

#include "wipe/FillGenerator.h"
#include "wipe/FillGeneratorKernels.h"


namespace veltrane {
namespace {

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

__attribute__((target("sse2"), always_inline)) inline __m128i Load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
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

// Four registers hold the last 64 bytes; each stride adds the next 64 table entries.
__attribute__((target("sse2"))) VELTRANE_SIMD_ENTRY void Sse2Strides(std::uint8_t* out,
                                                                     std::size_t strides,
                                                                     const std::uint8_t* deltas,
                                                                     std::uint32_t phase) {
    __m128i b0 = Load(out), b1 = Load(out + 16), b2 = Load(out + 32), b3 = Load(out + 48);
    for (std::size_t s = 1; s < strides; ++s) {
        out += fill_kernels::kDeltaStride;
        const std::uint8_t* d = deltas + phase;
        b0 = _mm_add_epi8(b0, Load(d));
        b1 = _mm_add_epi8(b1, Load(d + 16));
        b2 = _mm_add_epi8(b2, Load(d + 32));
        b3 = _mm_add_epi8(b3, Load(d + 48));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), b0);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16), b1);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), b2);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 48), b3);
        phase = (phase + fill_kernels::kDeltaStride) % fill_kernels::kDeltaPhases;
    }
}

}  // namespace

void FillRandomDeltaSse2(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    fill_kernels::FillInStrides(state, out, count, Sse2Strides);
}

void FillRandomSse2(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    fill_kernels::FillInBlocks<kSse2Lanes>(state, out, count, Sse2Blocks);
}

}  // namespace veltrane

#endif
