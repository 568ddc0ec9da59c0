// veltrane_bench: fill generator throughput and overwrite pass times, with a summary table.
//   veltrane_bench [--file_mib=N] [--dir=PATH] [--pass_repetitions=N] [--benchmark_...]
// Run only the fill figures with --benchmark_filter=fill, only the passes with =pass.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "BenchOptions.h"
#include "wipe/FillGenerator.h"

namespace veltrane {
namespace bench {

Options& CurrentOptions() {
    static Options options;
    return options;
}

namespace {

// Shows every run as usual and keeps what the summary needs.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) failed_ = true;
            if (run.run_type != Run::RT_Iteration || run.error_occurred) continue;
            Sample& sample = samples_[run.run_name.function_name];
            const double toMs = Milliseconds(run.time_unit);
            sample.milliseconds.push_back(run.GetAdjustedRealTime() * toMs);
            sample.cpuMilliseconds.push_back(run.GetAdjustedCPUTime() * toMs);
            const auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end()) sample.bytesPerSecond.push_back(rate->second.value);
        }
        ConsoleReporter::ReportRuns(runs);
    }

    bool Failed() const { return failed_; }

    void PrintSummary(const std::vector<std::string>& fills,
                      const std::vector<std::string>& passes) const {
        const double reference = Median("fill/reference", &Sample::bytesPerSecond);
        if (reference > 0) {
            std::printf("\nFill generator on a 256 KiB buffer (FillRandom uses \"%s\"):\n",
                        FillRandomVariantName());
            std::printf("  %-24s %10s %12s\n", "version", "GB/s", "x reference");
            for (const std::string& name : fills) {
                const double rate = Median(name, &Sample::bytesPerSecond);
                if (rate <= 0) continue;  // filtered out
                std::printf("  %-24s %10.2f %12.1f\n", name.c_str() + 5, rate / 1e9,
                            rate / reference);
            }
        }
        const Options& options = CurrentOptions();
        const auto byte = Figures("pass/byte", options.fileBytes);
        if (byte.medianMs <= 0) return;
        std::printf("\nOne pass over a %.0f MiB file in %s, %d times each, write + fsync:\n",
                    static_cast<double>(options.fileBytes) / (1 << 20), options.folder.c_str(),
                    options.passRepetitions);
        std::printf("  %-12s %23s %9s %9s %21s\n", "", "wall ms", "CPU ms", "GB/s", "vs byte pass");
        std::printf("  %-12s %11s %11s %9s %9s %7s %6s %6s\n", "pass", "median", "best", "median",
                    "median", "median", "best", "CPU");
        const auto percent = [](double value, double base) {
            return 100.0 * (value - base) / base;
        };
        for (const std::string& name : passes) {
            const auto f = Figures(name, options.fileBytes);
            if (f.medianMs <= 0) continue;
            std::printf("  %-12s %11.1f %11.1f %9.1f %9.2f %+6.1f%% %+5.1f%% %+5.1f%%\n",
                        name.c_str() + 5, f.medianMs, f.bestMs, f.cpuMs, f.gbPerSecond,
                        percent(f.medianMs, byte.medianMs), percent(f.bestMs, byte.bestMs),
                        percent(f.cpuMs, byte.cpuMs));
        }
        std::printf(
            "(The disk's own speed varies from pass to pass; the CPU time shows what the\n"
            " data itself costs.)\n");
    }

private:
    struct Sample {
        std::vector<double> milliseconds;
        std::vector<double> cpuMilliseconds;  // the process's, system time included
        std::vector<double> bytesPerSecond;
    };

    static double Milliseconds(benchmark::TimeUnit unit) {
        switch (unit) {
            case benchmark::kNanosecond:
                return 1e-6;
            case benchmark::kMicrosecond:
                return 1e-3;
            case benchmark::kMillisecond:
                return 1.0;
            case benchmark::kSecond:
                return 1e3;
        }
        return 1.0;
    }

    struct PassFigures {
        double medianMs, bestMs, cpuMs, gbPerSecond;
    };

    PassFigures Figures(const std::string& name, std::uint64_t bytes) const {
        PassFigures f{Median(name, &Sample::milliseconds), 0,
                      Median(name, &Sample::cpuMilliseconds), 0};
        const auto found = samples_.find(name);
        if (found != samples_.end() && !found->second.milliseconds.empty()) {
            const auto& ms = found->second.milliseconds;
            f.bestMs = *std::min_element(ms.begin(), ms.end());
        }
        if (f.medianMs > 0) f.gbPerSecond = static_cast<double>(bytes) / (f.medianMs * 1e6);
        return f;
    }

    double Median(const std::string& name, std::vector<double> Sample::*field) const {
        const auto found = samples_.find(name);
        if (found == samples_.end() || (found->second.*field).empty()) return 0;
        std::vector<double> values = found->second.*field;
        std::sort(values.begin(), values.end());
        const std::size_t n = values.size();
        return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    }

    std::map<std::string, Sample> samples_;
    bool failed_ = false;
};

// Takes --name=value from the arguments; true when found.
bool TakeFlag(int& argc, char** argv, const char* name, std::string& value) {
    const std::string prefix = std::string("--") + name + "=";
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], prefix.c_str(), prefix.size()) != 0) continue;
        value = argv[i] + prefix.size();
        std::copy(argv + i + 1, argv + argc + 1, argv + i);  // argv[argc] is null
        --argc;
        return true;
    }
    return false;
}

bool ParseOptions(int& argc, char** argv) {
    Options& options = CurrentOptions();
    std::string value;
    if (TakeFlag(argc, argv, "file_mib", value)) {
        const long long mib = std::atoll(value.c_str());
        if (mib <= 0) return false;
        options.fileBytes = static_cast<std::uint64_t>(mib) << 20;
    }
    if (TakeFlag(argc, argv, "dir", value)) {
        if (value.empty()) return false;
        options.folder = value;
    }
    if (TakeFlag(argc, argv, "pass_repetitions", value)) {
        options.passRepetitions = std::atoi(value.c_str());
        if (options.passRepetitions <= 0) return false;
    }
    return true;
}

}  // namespace
}  // namespace bench
}  // namespace veltrane

int main(int argc, char** argv) {
    namespace vb = veltrane::bench;
    if (!vb::ParseOptions(argc, argv)) {
        std::fprintf(stderr,
                     "usage: %s [--file_mib=N>0] [--dir=PATH] [--pass_repetitions=N>0] "
                     "[benchmark flags]\n",
                     argv[0]);
        return 2;
    }
    // Interleave the repetitions of the passes, so that a drift of the disk's speed
    // spreads over all of them; a flag given on the command line still wins.
    std::vector<char*> args(argv, argv + argc);
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    args.insert(args.begin() + 1, interleave);
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 2;

    const std::vector<std::string> fills = vb::RegisterFillBenchmarks();
    const std::vector<std::string> passes = vb::RegisterPassBenchmarks();
    vb::SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    vb::RemovePassFile();
    std::fflush(stdout);
    reporter.PrintSummary(fills, passes);
    benchmark::Shutdown();
    return reporter.Failed() ? 1 : 0;
}
