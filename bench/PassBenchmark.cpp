// Whole overwrite passes over a real file, through the engine's own pass writers: open,
// write from one buffer in chunks of up to 256 KiB, one flush (fsync) at the end, close.
// The random pass fills its buffer again for every chunk; the byte and pattern passes fill
// theirs once. The question answered: does a random pass cost more than a byte pass?
// "random-once" splits the cost of random data in two: it writes one buffer of fill bytes
// made before the pass (no generator in the loop) the way the engine writes a pass, so it
// shows what the disk alone charges for data that neither repeats nor compresses.

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
#include "wipe/FillGenerator.h"
#include "wipe/ShredderFile.h"
#include "support/ShredderFileProbe.h"

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
    std::vector<char> zeros(std::size_t{1} << 20);
    bool ok = true;
    for (std::uint64_t done = 0; ok && done < options.fileBytes;) {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>(zeros.size(), options.fileBytes - done));
        ok = ::write(fd, zeros.data(), n) == static_cast<ssize_t>(n);
        done += n;
    }
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok) {
        ::unlink(path.c_str());  // a short file would make every figure wrong
        return false;
    }
    PassFile() = path;
    return true;
}

// The engine's write loop, with a buffer filled once before the pass.
bool WritePrefilledPass(const std::string& path, std::uint64_t fileSize,
                        const std::vector<std::uint8_t>& buffer) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::lseek(fd, 0, SEEK_SET) == 0;
    for (std::uint64_t remaining = fileSize; ok && remaining > 0;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(buffer.size(), remaining));
        ok = ::write(fd, buffer.data(), n) == static_cast<ssize_t>(n);
        remaining -= n;
    }
    ::fsync(fd);
    return ::close(fd) == 0 && ok;
}

enum class PassKind { Byte, Pattern, Random, RandomOnce };

struct PassCase {
    const char* name;
    PassKind kind;
};

const PassCase kPassCases[] = {
    {"pass/byte", PassKind::Byte},
    {"pass/pattern", PassKind::Pattern},
    {"pass/random", PassKind::Random},
    {"pass/random-once", PassKind::RandomOnce},
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
    std::vector<std::uint8_t> prefilled(ShredderFile::kChunkSize);
    std::uint32_t fillState = 0x5EED;
    FillRandom(fillState, prefilled.data(), prefilled.size());
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
            case PassKind::RandomOnce:
                ok = WritePrefilledPass(PassFile(), CurrentOptions().fileBytes, prefilled);
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
