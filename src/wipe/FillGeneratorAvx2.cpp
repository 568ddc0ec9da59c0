// The fill generator on AVX2: the delta version.
#if defined(__i386__) || defined(__x86_64__)

#include <immintrin.h>

#include "wipe/FillGenerator.h"
#include "wipe/FillGeneratorKernels.h"

namespace veltrane {
namespace {

__attribute__((target("avx2"), always_inline)) inline __m256i Load256(const std::uint8_t* p) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
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

}  // namespace veltrane

#endif
