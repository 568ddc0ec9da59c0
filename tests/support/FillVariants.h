#pragma once
// Every version of the fill generator, for tests and benchmarks: the lane versions, which
// only they use, beside the reference and the delta versions the product ships.

#include <cstddef>
#include <cstdint>

#include "wipe/FillGenerator.h"

namespace veltrane {

// 16 independent lanes in plain C++.
void FillRandomPortable(std::uint32_t& state, std::uint8_t* out, std::size_t count);
#if defined(__i386__) || defined(__x86_64__)
// 16 lanes in SSE2 registers (call only when CpuHasSse2()), 32 in AVX2 registers (only
// when CpuHasAvx2()).
void FillRandomSse2(std::uint32_t& state, std::uint8_t* out, std::size_t count);
void FillRandomAvx2(std::uint32_t& state, std::uint8_t* out, std::size_t count);
#endif

struct FillVariant {
    const char* name;
    FillFunction fill;
    bool (*available)();  // whether this processor can run it
};

// Every version, the reference first, then from the slowest to the fastest.
extern const FillVariant kFillVariants[];
extern const std::size_t kFillVariantCount;

}  // namespace veltrane
