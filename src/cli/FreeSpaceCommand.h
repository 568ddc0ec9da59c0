#pragma once
// veltrane --free-space DRIVE: the free-space wipe on a worker thread, a progress line
// while it runs, the report's lines (or one JSON document) at its end, and the exit status.

#include <atomic>
#include <string>

#include "cli/CliOutput.h"
#include "cli/CommandLine.h"
#include "wipe/FileSystem.h"

namespace veltrane {

class FreeSpaceCommand {
public:
    // `cancel` is the program's cancel request (Ctrl+C), read while the wipe runs.
    FreeSpaceCommand(CliOutput& output, FileSystem& fs, const std::atomic<bool>& cancel);

    // Wipes the free space of the volume whose root is `root`. Returns kExitAllWiped,
    // kExitNotAllWiped (refused, failed, or a quota kept part of the space out of reach)
    // or kExitCancelled.
    int Run(const CliOptions& options, const std::string& root);

private:
    CliOutput& m_output;
    FileSystem& m_fs;
    const std::atomic<bool>& m_cancel;
};

}  // namespace veltrane
