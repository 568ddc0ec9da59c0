#pragma once
// Shared by the fast versions of the fill generator. Two ways to be fast, both exact:
//
// Lanes: lane j starts at the state of byte j and every lane jumps ahead by the lane
// count L with state -> A_L * state + C_L. Whole blocks of L bytes go to a kernel.
//
// Delta: a byte depends only on the low 24 bits of the state. Split them into the byte
// h = bits 16..23 and l = bits 0..15: l runs on by itself (mod 2^16) through one cycle of
// all 65536 values, and h' = (214013 mod 256) * h + k(l) (mod 256). That multiplier to the
// 64th power is 1 mod 256, so 64 steps later the byte is
//     byte[n + 64] = byte[n] + delta[phase of l at byte n]   (mod 256),
// where delta is a fixed table over the 65536 positions of the l cycle. So after 64 bytes
// from the reference every further byte is one byte addition of a table entry.

#include <cstddef>
#include <cstdint>

#include "wipe/FillGenerator.h"

// 32-bit Windows keeps the stack only 4-byte aligned; SIMD spills need it realigned.
#if defined(__i386__)
#define VELTRANE_SIMD_ENTRY __attribute__((force_align_arg_pointer))
#else
#define VELTRANE_SIMD_ENTRY
#endif

namespace veltrane {
namespace fill_kernels {

// `kernel(first, out, blocks)` writes blocks * Lanes bytes, where first[j] is the state
// that yields byte j of the first block; it need not report the state it ends in.
template <std::size_t Lanes, typename Kernel>
inline void FillInBlocks(std::uint32_t& state, std::uint8_t* out, std::size_t count,
                         Kernel kernel) {
    const std::size_t blocks = count / Lanes;
    const std::size_t whole = blocks * Lanes;
    if (blocks != 0) {
        std::uint32_t first[Lanes];
        std::uint32_t s = state;
        for (std::uint32_t& lane : first) {
            s = s * kFillMultiplier + kFillIncrement;
            lane = s;
        }
        kernel(first, out, blocks);
        state = FillAdvance(state, whole);
    }
    FillRandomReference(state, out + whole, count - whole);
}

constexpr std::size_t kDeltaStride = 64;
constexpr std::uint32_t kDeltaPhases = 65536;

// delta[p] for the positions p of the l cycle that starts at l = 0, followed by a copy of
// its first kDeltaStride entries, so that a stride's entries can be read from any p in one
// piece. Built at the first call (about a tenth of a millisecond), then shared read-only.
const std::uint8_t* DeltaTable();

// The position in the l cycle (from l = 0) of the low 16 bits of `state`.
std::uint32_t DeltaPhase(std::uint32_t state);

// `kernel(out, strides, deltas, phase)` writes out[64 .. 64 * strides) from out[0 .. 64),
// which hold the reference's bytes already; `phase` is the position of the byte out[0].
template <typename Kernel>
inline void FillInStrides(std::uint32_t& state, std::uint8_t* out, std::size_t count,
                          Kernel kernel) {
    const std::size_t strides = count / kDeltaStride;
    if (strides < 2) {
        FillRandomReference(state, out, count);
        return;
    }
    const std::uint32_t start = state;
    FillRandomReference(state, out, kDeltaStride);
    kernel(out, strides, DeltaTable(), DeltaPhase(start * kFillMultiplier + kFillIncrement));
    const std::size_t whole = strides * kDeltaStride;
    state = FillAdvance(start, whole);
    FillRandomReference(state, out + whole, count - whole);
}

}  // namespace fill_kernels
}  // namespace veltrane
