#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "support/FillVariants.h"
#include "wipe/FillGeneratorKernels.h"

namespace veltrane {

// Test names and failure messages show the version by name.
void PrintTo(const FillVariant& variant, std::ostream* os) {
    *os << variant.name;
}

namespace {

std::vector<std::uint8_t> Reference(std::uint32_t& state, std::size_t count) {
    std::vector<std::uint8_t> out(count);
    FillRandomReference(state, out.data(), count);
    return out;
}

TEST(FillReference, FirstBytesFromStatesZeroAndOne) {
    std::uint32_t state = 0;
    EXPECT_EQ(Reference(state, 8),
              (std::vector<std::uint8_t>{0x26, 0x27, 0xF6, 0x85, 0x97, 0x15, 0xAD, 0x1D}));
    state = 1;
    EXPECT_EQ(Reference(state, 8),
              (std::vector<std::uint8_t>{0x29, 0x23, 0xBE, 0x84, 0xE1, 0x6C, 0xD6, 0xAE}));
}

TEST(FillJump, AdvanceEqualsStepping) {
    for (const std::uint32_t seed : {0u, 1u, 0xDEADBEEFu, 0xFFFFFFFFu}) {
        std::uint32_t stepped = seed;
        for (std::uint64_t n = 0; n <= 300; ++n) {
            ASSERT_EQ(FillAdvance(seed, n), stepped) << "seed " << seed << " steps " << n;
            stepped = stepped * 214013u + 2531011u;
        }
    }
    // Jumps compose, also for counts beyond 32 bits (the full state has period 2^32).
    const std::uint32_t seed = 12345;
    const std::uint64_t big = (std::uint64_t{1} << 40) + 12345;
    EXPECT_EQ(FillAdvance(FillAdvance(seed, big), 777), FillAdvance(seed, big + 777));
    EXPECT_EQ(FillAdvance(seed, std::uint64_t{1} << 32), seed);
}

TEST(FillDelta, SixtyFourStepsMultiplyTheByteByOne) {
    // What the delta versions rest on: bits 16..23 after 64 steps are those before plus
    // an increment that does not depend on them.
    EXPECT_EQ(FillJumpOf(64).mul % 256, 1u);
    EXPECT_NE(FillJumpOf(32).mul % 256, 1u);
}

TEST(FillDelta, PhaseFindsEveryPositionOfTheLowCycle) {
    std::uint32_t low = 0;
    for (std::uint32_t p = 0; p < 65536; ++p) {
        // Bits above the low 16 do not matter.
        ASSERT_EQ(fill_kernels::DeltaPhase(low | (p * 0x9E370000u)), p) << "low " << low;
        low = (low * 214013u + 2531011u) & 0xFFFFu;
    }
    EXPECT_EQ(low, 0u);  // one cycle through all 65536 values
}

TEST(FillDelta, TableHoldsTheIncrementAtEveryPosition) {
    const std::uint8_t* delta = fill_kernels::DeltaTable();
    std::uint32_t low = 0;
    for (std::uint32_t p = 0; p < 65536; ++p) {
        for (const std::uint32_t high : {0x00u, 0x5Au, 0xFFu}) {
            const std::uint32_t state = (high << 16) | low;
            const std::uint8_t later = static_cast<std::uint8_t>(FillAdvance(state, 64) >> 16);
            ASSERT_EQ(later, static_cast<std::uint8_t>(high + delta[p])) << "position " << p;
        }
        low = (low * 214013u + 2531011u) & 0xFFFFu;
    }
    // The copy after the end lets a stride be read from any position in one piece.
    EXPECT_EQ(std::memcmp(delta + 65536, delta, 64), 0);
}

// Every version, run on this processor when it can.
class FillVariantTest : public ::testing::TestWithParam<FillVariant> {
protected:
    void SetUp() override {
        if (!GetParam().available()) GTEST_SKIP() << GetParam().name << " not on this CPU";
    }
    // Fills `count` bytes at `offset` into a guarded buffer and checks the bytes around.
    std::vector<std::uint8_t> Fill(std::uint32_t& state, std::size_t count,
                                   std::size_t offset = 0) {
        constexpr std::size_t kGuard = 64;
        std::vector<std::uint8_t> buffer(offset + count + kGuard, 0xA5);
        GetParam().fill(state, buffer.data() + offset, count);
        for (std::size_t i = 0; i < offset; ++i) EXPECT_EQ(buffer[i], 0xA5) << "before " << i;
        for (std::size_t i = 0; i < kGuard; ++i) {
            EXPECT_EQ(buffer[offset + count + i], 0xA5) << "after " << i;
        }
        return std::vector<std::uint8_t>(buffer.begin() + offset, buffer.begin() + offset + count);
    }
};

TEST_P(FillVariantTest, MatchesReferenceForManyStatesAndLengths) {
    const std::size_t lengths[] = {0,    1,    2,     7,     15,     16,     17,    31,
                                   32,   33,   63,    64,    65,     95,     127,   128,
                                   129,  191,  192,   193,   255,    257,    999,   1000,
                                   1023, 4097, 12345, 65537, 262143, 262144, 262145};
    const std::uint32_t seeds[] = {0u,          1u,          2u,          0x7FFFFFFFu,
                                   0x80000000u, 0xFFFFFFFFu, 0x00FFFFFFu, 1700000000u};
    for (const std::uint32_t seed : seeds) {
        for (const std::size_t length : lengths) {
            std::uint32_t expectedState = seed, state = seed;
            const auto expected = Reference(expectedState, length);
            ASSERT_EQ(Fill(state, length), expected) << "seed " << seed << " length " << length;
            ASSERT_EQ(state, expectedState) << "seed " << seed << " length " << length;
        }
    }
}

TEST_P(FillVariantTest, MatchesReferenceAtUnalignedAddresses) {
    for (std::size_t offset = 1; offset < 40; offset += 3) {
        std::uint32_t expectedState = 0x1234567u + offset, state = expectedState;
        const auto expected = Reference(expectedState, 1000 + offset);
        EXPECT_EQ(Fill(state, 1000 + offset, offset), expected) << "offset " << offset;
        EXPECT_EQ(state, expectedState);
    }
}

TEST_P(FillVariantTest, ChunksContinueTheRunningState) {
    // As the engine uses it: chunk after chunk from one state, the last chunk short.
    const std::size_t chunks[] = {262144, 262144, 1, 7, 33, 31, 32, 100003, 5, 262144, 17};
    std::size_t total = 0;
    for (const std::size_t chunk : chunks) total += chunk;
    for (const std::uint32_t seed : {0u, 42u, 0xCAFEF00Du}) {
        std::uint32_t expectedState = seed;
        const auto expected = Reference(expectedState, total);
        std::uint32_t state = seed;
        std::vector<std::uint8_t> joined;
        for (const std::size_t chunk : chunks) {
            const auto part = Fill(state, chunk);
            joined.insert(joined.end(), part.begin(), part.end());
        }
        EXPECT_EQ(joined, expected) << "seed " << seed;
        EXPECT_EQ(state, expectedState) << "seed " << seed;
    }
}

TEST_P(FillVariantTest, StreamRepeatsEvery16MiB) {
    // Each byte depends only on the low 24 bits of the state.
    constexpr std::size_t kPeriod = std::size_t{1} << 24;
    std::uint32_t state = 0x89ABCDEFu;
    const auto bytes = Fill(state, kPeriod + 4099);
    EXPECT_EQ(std::memcmp(bytes.data(), bytes.data() + kPeriod, 4099), 0);
    EXPECT_EQ(state, FillAdvance(0x89ABCDEFu, kPeriod + 4099));
    // And a whole period agrees with the reference.
    std::uint32_t expectedState = 0x89ABCDEFu;
    EXPECT_TRUE(Reference(expectedState, kPeriod + 4099) == bytes);
}

std::string VariantName(const ::testing::TestParamInfo<FillVariant>& info) {
    std::string name = info.param.name;
    std::replace(name.begin(), name.end(), '-', '_');  // test names allow no '-'
    return name;
}

INSTANTIATE_TEST_SUITE_P(AllVersions, FillVariantTest,
                         ::testing::ValuesIn(kFillVariants, kFillVariants + kFillVariantCount),
                         VariantName);

TEST(FillDispatch, UsesTheFastestVersionThisCpuRuns) {
    std::string best;
    for (std::size_t i = 0; i < kFillVariantCount; ++i) {
        if (kFillVariants[i].available()) best = kFillVariants[i].name;
    }
    EXPECT_EQ(FillRandomVariantName(), best);
    EXPECT_NE(best, "reference");

    std::uint32_t expectedState = 99, state = 99;
    const auto expected = Reference(expectedState, 262144 + 13);
    std::vector<std::uint8_t> out(expected.size());
    FillRandom(state, out.data(), out.size());
    EXPECT_EQ(out, expected);
    EXPECT_EQ(state, expectedState);
}

TEST(FillDispatch, FirstCallsFromManyThreadsAtOnce) {
    // The choice of version and the delta table are made at the first call; threads that
    // race to it must all get the same, complete, bytes.
    constexpr std::size_t kLength = 200003;
    std::uint32_t expectedState = 7;
    const auto expected = Reference(expectedState, kLength);
    std::vector<std::vector<std::uint8_t>> results(8, std::vector<std::uint8_t>(kLength));
    std::vector<std::thread> threads;
    for (std::size_t t = 0; t < results.size(); ++t) {
        threads.emplace_back([&results, t] {
            std::uint32_t state = 7;
            const FillFunction fill = t % 2 == 0 ? FillRandom : FillRandomDeltaPortable;
            fill(state, results[t].data(), kLength);
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const auto& result : results) EXPECT_EQ(result, expected);
}

}  // namespace
}  // namespace veltrane
