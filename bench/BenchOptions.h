#pragma once
// Settings of one benchmark run, taken from the command line before Google Benchmark
// reads its own flags.

#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {
namespace bench {

struct Options {
    std::uint64_t fileBytes = std::uint64_t{256} << 20;  // --file_mib=N
    std::string folder = VELTRANE_BENCH_DIR;             // --dir=PATH
    int passRepetitions = 9;                             // --pass_repetitions=N
};

Options& CurrentOptions();

// Fill throughput of every version this processor runs, and memset, on one write chunk.
// Both return the names they registered, in the order the summary lists them.
std::vector<std::string> RegisterFillBenchmarks();
// One random / byte / pattern pass over a real file (after the options are known).
std::vector<std::string> RegisterPassBenchmarks();
// Removes the scratch file, if one was made.
void RemovePassFile();

}  // namespace bench
}  // namespace veltrane
