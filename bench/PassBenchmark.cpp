// Whole overwrite passes over a real file, through the engine's own pass writers: open,
// write from one buffer in chunks of up to 256 KiB, one flush (fsync) at the end, close.
// The random pass fills its buffer again for every chunk; the byte and pattern passes fill
// theirs once. The question answered: does a random pass cost more than a byte pass?

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "BenchOptions.h"
#include "wipe/ShredderFile.h"
#include "wipe/ShredderFileProbe.h"

namespace veltrane {
namespace bench {
namespace {

std::string& PassFile() {
    static std::string path;
    return path;
}

// The scratch file, made once with the requested size; its making is not timed.
bool EnsurePassFile() {
    if (!PassFile().empty()) return true;
    const Options& options = CurrentOptions();
    const std::string path =
        options.folder + "/veltrane-bench-" + std::to_string(::getpid()) + ".tmp";
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    PassFile() = path;
    std::vector<char> zeros(std::size_t{1} << 20);
    bool ok = true;
    for (std::uint64_t done = 0; ok && done < options.fileBytes;) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(zeros.size(), options.fileBytes - done));
        ok = ::write(fd, zeros.data(), n) == static_cast<ssize_t>(n);
        done += n;
    }
    ok = ::fsync(fd) == 0 && ok;
    return ::close(fd) == 0 && ok;
}

enum class PassKind { Byte, Pattern, Random };

struct PassCase {
    const char* name;
    PassKind kind;
};

const PassCase kPassCases[] = {
    {"pass/byte", PassKind::Byte},
    {"pass/pattern", PassKind::Pattern},
    {"pass/random", PassKind::Random},
};

// The pattern of the Gutmann passes 7 and 26.
constexpr std::uint8_t kPattern[3] = {0x92, 0x49, 0x24};

void BM_Pass(benchmark::State& state, PassKind kind) {
    if (!EnsurePassFile()) {
        state.SkipWithError(
            ("cannot make the scratch file: " + std::string(strerror(errno))).c_str());
        return;
    }
    ShredderFile file(PassFile());
    ShredderFileProbe::SetRandomState(file, 0x5EED);
    for (auto _ : state) {
        bool ok = false;
        switch (kind) {
            case PassKind::Byte:
                ok = ShredderFileProbe::BytePass(file, 0xFF);
                break;
            case PassKind::Pattern:
                ok = ShredderFileProbe::PatternPass(file, kPattern, sizeof kPattern);
                break;
            case PassKind::Random:
                ok = ShredderFileProbe::RandomPass(file);
                break;
        }
        if (!ok) {
            state.SkipWithError("the pass failed");
            break;
        }
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations() * CurrentOptions().fileBytes));
}

}  // namespace

std::vector<std::string> RegisterPassBenchmarks() {
    std::vector<std::string> names;
    for (const PassCase& pass : kPassCases) {
        names.push_back(pass.name);
        benchmark::RegisterBenchmark(pass.name, BM_Pass, pass.kind)
            ->Iterations(1)
            ->Repetitions(CurrentOptions().passRepetitions)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
    return names;
}

void RemovePassFile() {
    if (!PassFile().empty()) ::unlink(PassFile().c_str());
}

}  // namespace bench
}  // namespace veltrane
