#pragma once
// Files to be wiped at the user's next sign-in, because another program held them open:
// each with the method it was to be wiped with and the identity it had when it was queued,
// so that a name that has come to mean another file by then is never wiped. The text form
// is one line a file: "<volume> <file number> <method> <tries> <path>" (numbers in hex, the
// path in UTF-8 to the end of the line).

#include <cstdint>
#include <string>
#include <vector>

#include "job/WipeReport.h"
#include "wipe/FileSystem.h"

namespace veltrane {

// Where a user's queue is kept; empty members mean the user's own (the Windows store's
// defaults: %LOCALAPPDATA%\Veltrane\pending.txt and the RunOnce value
// "Veltrane pending wipes").
struct PendingPlace {
    std::wstring queueFile;
    std::wstring runOnceValue;
};

struct PendingWipe {
    std::string path;
    std::uint32_t method = 0;
    FileIdentity identity;
    std::uint32_t tries = 0;  // runs at sign-in that found it still in use
};

std::string FormatPending(const std::vector<PendingWipe>& queue);
// False for text that is not a queue (a line that does not parse); `queue` is then empty.
bool ParsePending(const std::string& text, std::vector<PendingWipe>& queue);

// Adds `paths` to `queue` with `method`, each with the identity it has now. A path whose
// identity cannot be read is not queued: it goes to `refused` with why; one queued
// already is replaced (its method and identity now).
void QueuePaths(FileSystem& fs, const std::vector<std::string>& paths, std::uint32_t method,
                std::vector<PendingWipe>& queue, WipeFailures& refused);

// Splits `queue` at the sign-in: what still has its identity is to be wiped; what does not
// is recorded in `replaced` (ReplacedSinceQueued) and touched no further.
std::vector<PendingWipe> StillTheSameFiles(FileSystem& fs, const std::vector<PendingWipe>& queue,
                                           WipeFailures& replaced);

}  // namespace veltrane
