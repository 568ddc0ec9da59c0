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
#include "job/WipeJob.h"
#include "wipe/FileSystem.h"

namespace veltrane {

// Exit statuses.
constexpr int kExitAllWiped = 0;
constexpr int kExitNotAllWiped = 1;
constexpr int kExitUsage = 2;
constexpr int kExitCancelled = 130;  // as shells report an end by Ctrl+C

class CliProgram {
public:
    // fs null: the platform's file system.
    explicit CliProgram(CliOutput& output, FileSystem* fs = nullptr);

    // Wipes (or plans) options.paths, which must be absolute already. Returns an exit
    // status: kExitAllWiped, kExitNotAllWiped or kExitCancelled.
    int Run(const CliOptions& options);

    // A cancel request (Ctrl+C): the file being wiped stops at its next check, the items
    // after it are not touched. Safe from any thread.
    void Cancel();

private:
    CliOutput& m_output;
    FileSystem* m_fs;
    std::atomic<bool> m_cancel{false};
    // The record of the item being wiped, so that a cancel reaches the engine at once.
    std::mutex m_currentLock;
    WipeJob* m_current = nullptr;
};

}  // namespace veltrane
