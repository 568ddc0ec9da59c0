#pragma once
// The fill generator: a 32-bit linear congruential recurrence whose every step yields
// one byte, (state >> 16) & 0xFF after state = state * 214013 + 2531011.
//
// The recurrence is serial, but k steps of it are again an affine map,
// state -> A_k * state + C_k (mod 2^32). The delta versions jump 64 steps ahead on the
// byte itself, where that map reduces to adding a tabulated increment (see
// FillGeneratorKernels.h). Every version here produces exactly the bytes of the
// one-byte-at-a-time reference and leaves `state` exactly where the reference would.
// (The lane versions, which the tests and benchmarks compare, live with them.)

#include <cstddef>
#include <cstdint>

namespace veltrane {

constexpr std::uint32_t kFillMultiplier = 214013u;
constexpr std::uint32_t kFillIncrement = 2531011u;

// The affine map of `steps` steps of the recurrence: state -> mul * state + add.
struct FillJump {
    std::uint32_t mul;
    std::uint32_t add;
};

// Square-and-multiply over the step count: O(log steps), usable at compile time.
constexpr FillJump FillJumpOf(std::uint64_t steps) {
    std::uint32_t accMul = 1, accAdd = 0;
    std::uint32_t curMul = kFillMultiplier, curAdd = kFillIncrement;
    while (steps != 0) {
        if ((steps & 1u) != 0) {
            accMul = accMul * curMul;
            accAdd = accAdd * curMul + curAdd;
        }
        curAdd = (curMul + 1u) * curAdd;
        curMul = curMul * curMul;
        steps >>= 1;
    }
    return FillJump{accMul, accAdd};
}

// The state after `steps` bytes have been drawn from `state`.
constexpr std::uint32_t FillAdvance(std::uint32_t state, std::uint64_t steps) {
    const FillJump jump = FillJumpOf(steps);
    return jump.mul * state + jump.add;
}

// One byte per step; the reference every faster version must reproduce exactly.
void FillRandomReference(std::uint32_t& state, std::uint8_t* out, std::size_t count);

// Same bytes as FillRandomReference, computed with the fastest version this processor
// can run (chosen once, at the first call). `state` runs on exactly as with the reference.
void FillRandom(std::uint32_t& state, std::uint8_t* out, std::size_t count);

// Plain C++ that runs anywhere: the delta version on 64-bit words.
void FillRandomDeltaPortable(std::uint32_t& state, std::uint8_t* out, std::size_t count);

#if defined(__i386__) || defined(__x86_64__)
// The delta version in SSE2 registers. Call only when CpuHasSse2().
void FillRandomDeltaSse2(std::uint32_t& state, std::uint8_t* out, std::size_t count);
// The delta version in AVX2 registers. Call only when CpuHasAvx2().
void FillRandomDeltaAvx2(std::uint32_t& state, std::uint8_t* out, std::size_t count);

bool CpuHasSse2();
bool CpuHasAvx2();
#endif

using FillFunction = void (*)(std::uint32_t& state, std::uint8_t* out, std::size_t count);

// The name of the version FillRandom uses on this processor.
const char* FillRandomVariantName();

}  // namespace veltrane
