// The delta table of the fill generator and the plain C++ version that uses it.
#include <cstring>

#include "wipe/FillGenerator.h"
#include "wipe/FillGeneratorKernels.h"

namespace veltrane {
namespace fill_kernels {
namespace {

struct Deltas {
    std::uint8_t entries[kDeltaPhases + kDeltaStride];

    Deltas() {
        // With h = 0 at the start, bits 16..23 after a stride are exactly the increment.
        constexpr FillJump stride = FillJumpOf(kDeltaStride);
        std::uint32_t low = 0;
        for (std::uint32_t p = 0; p < kDeltaPhases; ++p) {
            entries[p] = static_cast<std::uint8_t>((stride.mul * low + stride.add) >> 16);
            low = (low * kFillMultiplier + kFillIncrement) & 0xFFFFu;
        }
        std::memcpy(entries + kDeltaPhases, entries, kDeltaStride);
    }
};

}  // namespace

const std::uint8_t* DeltaTable() {
    static const Deltas table;
    return table.entries;
}

std::uint32_t DeltaPhase(std::uint32_t state) {
    // Bit by bit from l = 0: jumping 2^i steps keeps bits 0..i-1 of l (they cycle with a
    // period that divides 2^i) and flips bit i, so bit i of the distance is whether bit i
    // still differs.
    std::uint32_t low = 0, distance = 0;
    FillJump jump{kFillMultiplier, kFillIncrement};
    for (std::uint32_t bit = 1; bit < kDeltaPhases; bit <<= 1) {
        if (((low ^ state) & bit) != 0) {
            low = low * jump.mul + jump.add;
            distance |= bit;
        }
        jump = FillJump{jump.mul * jump.mul, (jump.mul + 1u) * jump.add};
    }
    return distance;
}

}  // namespace fill_kernels

namespace {

using Word = std::uint64_t;
constexpr std::size_t kWords = fill_kernels::kDeltaStride / sizeof(Word);

// Eight byte additions per word, carries kept from crossing into the next byte.
inline Word AddBytes(Word a, Word b) {
    constexpr Word kHigh = 0x8080808080808080ull;
    return ((a & ~kHigh) + (b & ~kHigh)) ^ ((a ^ b) & kHigh);
}

void PortableStrides(std::uint8_t* out, std::size_t strides, const std::uint8_t* deltas,
                     std::uint32_t phase) {
    Word bytes[kWords];
    std::memcpy(bytes, out, sizeof bytes);
    for (std::size_t s = 1; s < strides; ++s) {
        out += fill_kernels::kDeltaStride;
#pragma GCC unroll 8
        for (std::size_t w = 0; w < kWords; ++w) {
            Word delta;
            std::memcpy(&delta, deltas + phase + w * sizeof(Word), sizeof delta);
            bytes[w] = AddBytes(bytes[w], delta);
        }
        std::memcpy(out, bytes, sizeof bytes);
        phase = (phase + fill_kernels::kDeltaStride) % fill_kernels::kDeltaPhases;
    }
}

}  // namespace

void FillRandomDeltaPortable(std::uint32_t& state, std::uint8_t* out, std::size_t count) {
    fill_kernels::FillInStrides(state, out, count, PortableStrides);
}

}  // namespace veltrane
