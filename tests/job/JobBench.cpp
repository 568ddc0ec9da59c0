// What a wipe job costs beyond the wipe itself, under the real dialog and message queue:
//  1. processor time of the shell's thread over a wipe of several seconds;
//  2. the job's own time per selected item for a selection of many empty files.
// Each is measured with the wait between polls (the default) and, for comparison,
// with a wait loop that polls without pause (--spin runs only that one).
// --phases N instead splits a command on a 1 KiB file into its parts, the first time in
// the process and then N times more (medians): the dialog made, shown, hidden and
// destroyed; a worker thread started and seen ending; the engine's wipe alone; the
// whole job.
// --walk METHOD PATH instead times the worker's walk of PATH with the method of that key
// (Random, Gutmann...) on this thread, with nothing around it: what the engine and the walk
// cost, without the shell or the command line.
//
// veltrane_job_bench [--big-mb N] [--files N] [--spin] | --phases N | --walk METHOD PATH
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <algorithm>

#include "WineTree.h"
#include "framework/WorkerThread.h"
#include "job/CCancelDlg.h"
#include "job/JobLock.h"
#include "job/RunWipeJob.h"
#include "job/WipePath.h"
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

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

struct Phases {
    double create, show, hide, destroy, thread, engine, job;
};

Phases MeasurePhases(const WineTree& tree, int round) {
    Phases p{};
    double t = Now();
    auto* dialog = new CCancelDlg;
    dialog->Create(nullptr);
    p.create = Now() - t;
    t = Now();
    dialog->ShowWindow(SW_SHOW);
    p.show = Now() - t;
    t = Now();
    dialog->ShowWindow(SW_HIDE);
    p.hide = Now() - t;
    t = Now();
    dialog->DestroyWindow();
    p.destroy = Now() - t;

    t = Now();
    HANDLE ended = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    veltrane::WorkerThread::Begin([](void*) -> unsigned { return 0; }, nullptr,
                                  THREAD_PRIORITY_NORMAL, 0, 0, ended);
    ::WaitForSingleObject(ended, INFINITE);
    ::CloseHandle(ended);
    p.thread = Now() - t;

    const std::string engineFile = "engine-" + std::to_string(round) + ".txt";
    tree.WriteFile(engineFile, std::string(1024, 'e'));
    t = Now();
    {
        veltrane::ShredderFile file(tree.Path(engineFile));
        file.Wipe(veltrane::Random);
    }
    p.engine = Now() - t;

    const std::string jobFile = "job-" + std::to_string(round) + ".txt";
    tree.WriteFile(jobFile, std::string(1024, 'j'));
    t = Now();
    veltrane::RunWipeJob(nullptr, veltrane::Random, {tree.Path(jobFile)});
    p.job = Now() - t;
    return p;
}

void PrintPhases(const char* label, const Phases& p) {
    std::printf("%-8s %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f %8.2f\n", label, p.create * 1000,
                p.show * 1000, p.hide * 1000, p.destroy * 1000, p.thread * 1000, p.engine * 1000,
                p.job * 1000);
}

void SmallFilePhases(int rounds) {
    WineTree tree("bench-phases");
    std::printf("ms       %8s %8s %8s %8s %8s %8s %8s\n", "create", "show", "hide", "destroy",
                "thread", "engine", "job");
    PrintPhases("first", MeasurePhases(tree, 0));
    std::vector<Phases> later;
    for (int i = 1; i <= rounds; ++i) later.push_back(MeasurePhases(tree, i));
    const auto median = [&later](double Phases::*field) {
        std::vector<double> values;
        for (const Phases& p : later) values.push_back(p.*field);
        return Median(values);
    };
    PrintPhases("later",
                Phases{median(&Phases::create), median(&Phases::show), median(&Phases::hide),
                       median(&Phases::destroy), median(&Phases::thread), median(&Phases::engine),
                       median(&Phases::job)});
}

// Prints walk_ms= and the number of failures; 0 when the method has no such name.
int TimeWalk(const char* methodName, const char* path) {
    const veltrane::WipeMethodInfo* method = nullptr;
    for (const auto& row : veltrane::wipeMethods) {
        if (!std::strcmp(row.key, methodName)) method = &row;
    }
    if (method == nullptr) return 2;
    veltrane::WipeJob job;
    job.path = path;
    job.method = method->methodBits;
    job.debugSink = [](const std::string&) {};
    const double t = Now();
    veltrane::WipeThreadProc(&job);
    std::printf("walk_ms=%.1f\nfailures=%u\n", (Now() - t) * 1000,
                static_cast<unsigned>(job.failures.size()));
    return 0;
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
        } else if (!std::strcmp(argv[i], "--phases") && i + 1 < argc) {
            veltrane::InitializeJobLock();
            SmallFilePhases(std::atoi(argv[++i]));
            std::fflush(stdout);
            return 0;
        } else if (!std::strcmp(argv[i], "--walk") && i + 2 < argc) {
            veltrane::InitializeJobLock();
            const int status = TimeWalk(argv[i + 1], argv[i + 2]);
            std::fflush(stdout);
            return status;
        } else {
            std::fprintf(stderr,
                         "usage: %s [--big-mb N] [--files N] [--spin] | --phases N | "
                         "--walk METHOD PATH\n",
                         argv[0]);
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
