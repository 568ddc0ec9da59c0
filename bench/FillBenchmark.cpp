#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "BenchOptions.h"
#include "support/FillVariants.h"

namespace veltrane {
namespace bench {
namespace {

// The engine's write chunk: what every call of the generator fills.
constexpr std::size_t kChunk = 262144;

void BM_Fill(benchmark::State& state, FillFunction fill) {
    std::vector<std::uint8_t> buffer(kChunk);
    std::uint32_t fillState = 1;
    for (auto _ : state) {
        fill(fillState, buffer.data(), buffer.size());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kChunk);
}

void BM_Memset(benchmark::State& state) {
    std::vector<std::uint8_t> buffer(kChunk);
    int value = 0;
    for (auto _ : state) {
        std::memset(buffer.data(), value++ & 0xFF, buffer.size());
        benchmark::DoNotOptimize(buffer.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kChunk);
}

}  // namespace

std::vector<std::string> RegisterFillBenchmarks() {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < kFillVariantCount; ++i) {
        const FillVariant& variant = kFillVariants[i];
        if (!variant.available()) continue;
        names.push_back(std::string("fill/") + variant.name);
        benchmark::RegisterBenchmark(names.back().c_str(), BM_Fill, variant.fill);
    }
    names.push_back("fill/memset");
    benchmark::RegisterBenchmark(names.back().c_str(), BM_Memset);
    return names;
}

}  // namespace bench
}  // namespace veltrane
