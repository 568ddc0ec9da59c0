// The fill generator on AVX2: 32 lanes, and the delta version.
#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include <utility>

#include "wipe/FillGenerator.h"
#include "wipe/FillGeneratorKernels.h"


namespace veltrane {
namespace {

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

__attribute__((target("avx2"), always_inline)) inline __m256i Load256(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
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

// Two registers hold the last 64 bytes; each stride adds the next 64 table entries.
__attribute__((target("avx2"))) VELTRANE_SIMD_ENTRY void Avx2Strides(std::uint8_t* out,
                                                                     std::size_t strides,
                                                                     const std::uint8_t* deltas,
                                                                     std::uint32_t phase) {
    __m256i b0 = Load256(out), b1 = Load256(out + 32);
    for (std::size_t s = 1; s < strides; ++s) {
        out += fill_kernels::kDeltaStride;
        b0 = _mm256_add_epi8(b0, Load256(deltas + phase));
        b1 = _mm256_add_epi8(b1, Load256(deltas + phase + 32));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), b0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 32), b1);
        phase = (phase + fill_kernels::kDeltaStride) % fill_kernels::kDeltaPhases;
    }
}

}  // namespace

void FillRandomDeltaAvx2(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    fill_kernels::FillInStrides(state, out, count, Avx2Strides);
}

void FillRandomAvx2(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    fill_kernels::FillInBlocks<kAvx2Lanes>(state, out, count, Avx2Blocks);
}

}  // namespace veltrane

#endif
