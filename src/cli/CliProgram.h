#pragma once
// The command line's work once its arguments are read: each path wiped by the walk the
// shell's job uses (or only looked at, for a dry run), failures reported item by item, a
// summary, and the exit status. Portable: the file system and the output are given.

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "cli/CliOutput.h"
#include "cli/CommandLine.h"
#include "wipe/FileSystem.h"

namespace veltrane {

class PortableWorkerHost;
struct CliItemReport;

// Exit statuses.
constexpr int kExitAllWiped = 0;
constexpr int kExitNotAllWiped = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 130;  // as shells report an end by Ctrl+C

class CliProgram {
public:
    // fs null: the platform's file system.
    explicit CliProgram(CliOutput& output, FileSystem* fs = nullptr);

    // Wipes (or plans) options.paths, which must be absolute already (with --free-space,
    // the one path is the volume's root). Returns an exit status: kExitAllWiped,
    // kExitNotAllWiped or kExitCancelled.
    int Run(const CliOptions& options);

    // A cancel request (Ctrl+C): the file being wiped stops at its next check, the items
    // after it are not touched. Safe from any thread.
    void Cancel();

private:
    // Wipes the items of `run` (places in `items`) through the job, as the shell does, and
    // fills their reports. True when a cancel stopped it.
    bool WipeItems(const CliOptions& options, const std::vector<std::size_t>& run,
                   std::vector<CliItemReport>& items, bool showProgress);

    CliOutput& m_output;
    FileSystem* m_fs;
    std::atomic<bool> m_cancel{false};
    // The running job's host, so that a cancel ends its wait at once.
    std::mutex m_hostLock;
    PortableWorkerHost* m_host = nullptr;
};

}  // namespace veltrane
