// The fill generator on SSE2: the delta version.
#if defined(__i386__) || defined(__x86_64__)

#include <emmintrin.h>

#include "wipe/FillGenerator.h"
#include "wipe/FillGeneratorKernels.h"

namespace veltrane {
namespace {

__attribute__((target("sse2"), always_inline)) inline __m128i Load(const std::uint8_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
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

}  // namespace veltrane

#endif
