// What a wipe job costs beyond the wipe itself, under the real dialog and message queue:
//  1. processor time of the shell's thread over a wipe of several seconds;
//  2. the job's own time per selected item for a selection of many empty files.
// Each is measured with the wait between polls (the default) and, for comparison,
// with a wait loop that polls without pause (--spin runs only that one).
//
// veltrane_job_bench [--big-mb N] [--files N] [--spin]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "WineTree.h"
#include "job/JobLock.h"
#include "job/RunWipeJob.h"
#include "wipe/ShredderFile.h"
#include "wipe/WipeMethod.h"

namespace {

using veltrane::test::WineTree;

double Seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 1e7;
}

double ThreadCpuSeconds() {
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    return Seconds(kernel) + Seconds(user);
}

double Now() {
    LARGE_INTEGER frequency, counter;
    ::QueryPerformanceFrequency(&frequency);
    ::QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

struct Options {
    unsigned bigMb = 128;
    unsigned files = 1000;
    bool spinOnly = false;
};

void LongWipe(const Options& options, bool wait) {
    WineTree tree("bench-long");
    tree.WriteFileOfSize("big.bin", static_cast<std::uint64_t>(options.bigMb) << 20);
    veltrane::JobSettings settings;
    settings.waitBetweenPolls = wait;
    const double cpu0 = ThreadCpuSeconds();
    const double wall0 = Now();
    veltrane::RunWipeJob(nullptr, veltrane::Gutmann, {tree.Path("big.bin")}, settings);
    const double wall = Now() - wall0;
    const double cpu = ThreadCpuSeconds() - cpu0;
    std::printf(
        "%-5s long wipe (%u MiB, Gutmann): %.2f s, shell thread CPU %.3f s = %.2f %% of a core\n",
        wait ? "wait" : "spin", options.bigMb, wall, cpu, 100.0 * cpu / wall);
}

std::vector<std::string> MakeEmptyFiles(const WineTree& tree, const char* folder, unsigned n) {
    std::vector<std::string> paths;
    tree.MakeFolder(folder);
    for (unsigned i = 0; i < n; ++i) {
        const std::string relative = std::string(folder) + "\\f" + std::to_string(i) + ".txt";
        tree.WriteFile(relative, "");
        paths.push_back(tree.Path(relative));
    }
    return paths;
}

void ManyItems(const Options& options, bool wait) {
    WineTree tree("bench-many");
    // The engine's own cost for the same files, on this thread without a job around it.
    const auto direct = MakeEmptyFiles(tree, "direct", options.files);
    const double direct0 = Now();
    for (const auto& path : direct) {
        veltrane::ShredderFile file(path);
        file.Wipe(veltrane::Random);
    }
    const double directTime = Now() - direct0;

    const auto selection = MakeEmptyFiles(tree, "job", options.files);
    veltrane::JobSettings settings;
    settings.waitBetweenPolls = wait;
    // What a job costs once, whatever it holds: the dialog's window shown and hidden
    // (under Xvfb without a window manager, Wine waits up to 2 s for a hidden window).
    const double empty0 = Now();
    veltrane::RunWipeJob(nullptr, veltrane::Random, {}, settings);
    const double fixedTime = Now() - empty0;

    const double cpu0 = ThreadCpuSeconds();
    const double job0 = Now();
    veltrane::RunWipeJob(nullptr, veltrane::Random, selection, settings);
    const double jobTime = Now() - job0;
    const double cpu = ThreadCpuSeconds() - cpu0;

    const double perItemMs = 1000.0 * (jobTime - fixedTime - directTime) / options.files;
    std::printf(
        "%-5s %u empty files: job %.3f s (of which %.3f s once per job), engine alone "
        "%.3f s, job's own cost %.3f ms per item (shell thread CPU %.3f s)\n",
        wait ? "wait" : "spin", options.files, jobTime, fixedTime, directTime, perItemMs, cpu);
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--big-mb") && i + 1 < argc) {
            options.bigMb = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--files") && i + 1 < argc) {
            options.files = static_cast<unsigned>(std::atoi(argv[++i]));
        } else if (!std::strcmp(argv[i], "--spin")) {
            options.spinOnly = true;
        } else {
            std::fprintf(stderr, "usage: %s [--big-mb N] [--files N] [--spin]\n", argv[0]);
            return 2;
        }
    }
    veltrane::InitializeJobLock();
    for (const bool wait : {true, false}) {
        if (wait && options.spinOnly) continue;
        LongWipe(options, wait);
        ManyItems(options, wait);
    }
    std::fflush(stdout);
    veltrane::DeleteJobLock();
    return 0;
}
