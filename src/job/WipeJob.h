#pragma once
// What one selected item's worker shares with the job on the shell's thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "job/WipeReport.h"
#include "wipe/FileSystem.h"
#include "wipe/FreeSpaceWipe.h"

namespace veltrane {

// Receives a line that only a developer may want to see (a folder that could not be
// removed); the platform's default is the debugger output.
using DebugSink = std::function<void(const std::string& line)>;

// One per top-level item. The job fills `path` and `method` before the worker exists;
// afterwards both sides use the job-lock accessors, except the wipe engine, which reads
// `cancel` and writes `progress` through plain pointers (hence whole atomic values).
// The job may discard the record as soon as it reads `done` as true.
struct WipeJob {
    std::string path;                       // the item, then each entry below it
    bool done = false;                      // written last by the worker
    std::atomic<std::uint8_t> cancel{0};    // stop request: set only when it holds 1
    std::atomic<std::int32_t> progress{0};  // percentage of the file being wiped
    std::atomic<std::int32_t> pass{0};      // the pass under way (from 1), and its percentage
    std::atomic<std::int32_t> passPercent{0};
    std::int32_t result = 0;   // walk result: 0 finished, 1 cancelled
    std::uint32_t method = 0;  // WipeMethod bit, handed to the engine unchanged

    // Where the walk works and reports; set with path and method, read by the walk only.
    FileSystem* fileSystem = nullptr;  // null: PlatformFileSystem()
    DebugSink debugSink;               // empty: the platform's debugger output

    // What the walk could not do; written by the worker only, read once `done` is true.
    WipeFailures failures;

    // Instead of a walk, the free space of the volume whose root is `path` (FreeSpaceWipe):
    // `pass` and `progress` follow its passes, `bytes` holds what the pass under way has
    // written of `totalBytes`, and `stage` its FreeSpaceStage; the outcome, read once
    // `done` is true.
    bool freeSpace = false;
    std::atomic<std::uint64_t> bytes{0};
    std::atomic<std::uint64_t> totalBytes{0};
    std::atomic<std::int32_t> stage{0};
    FreeSpaceResult freeSpaceResult;
};

}  // namespace veltrane
