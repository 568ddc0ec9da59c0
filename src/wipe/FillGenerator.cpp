#include "wipe/FillGenerator.h"

#include <cstring>

#include "wipe/FillGeneratorKernels.h"

namespace veltrane {

void FillRandomReference(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    std::uint32_t s = state;
    for (std::size_t i = 0; i < count; ++i) {
        s = s * kFillMultiplier + kFillIncrement;
        out[i] = static_cast<std::uint8_t>(s >> 16);
    }
    state = s;
}

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

// The delta versions: some 4 to 15 times faster than the lane versions of the same
// instruction set, so that a random pass costs no more than a byte pass.
FillFunction ChooseFill() {
#if defined(__i386__) || defined(__x86_64__)
    if (CpuHasAvx2()) return FillRandomDeltaAvx2;
    if (CpuHasSse2()) return FillRandomDeltaSse2;
#endif
    return FillRandomDeltaPortable;
}

// Chosen once: the processor does not change under a running program.
FillFunction ChosenFill() {
    static const FillFunction chosen = ChooseFill();
    return chosen;
}

}  // namespace

void FillRandomPortable(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    fill_kernels::FillInBlocks<kPortableLanes>(state, out, count, PortableBlocks);
}

#if defined(__i386__) || defined(__x86_64__)
bool CpuHasSse2() {
#if defined(__x86_64__)
    return true;  // part of the x86-64 baseline
#else
    __builtin_cpu_init();
    return __builtin_cpu_supports("sse2") != 0;
#endif
}

bool CpuHasAvx2() {
    // Also false when the system does not save the AVX registers (libgcc checks XGETBV).
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
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

void FillRandom(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    ChosenFill()(state, out, count);
}

const char* FillRandomVariantName() {
    const FillFunction chosen = ChosenFill();
    for (const FillVariant& variant : kFillVariants) {
        if (variant.fill == chosen) return variant.name;
    }
    return "unknown";
}

}  // namespace veltrane
