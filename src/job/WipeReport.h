#pragma once
// What the walk could not do, item by item, in words a user understands. The walk records
// each failure with the path the user knows (the original name); the job gathers them to
// show at its end.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

enum class WipeProblem : std::uint8_t {
    NameMissing,       // the shell delivered no name for a selected item
    NotAbsolute,       // a path that depends on the current folder
    NameNotExact,      // the name has no exact Unicode form
    NameLeavesFolder,  // an enumerated name that would name something outside its folder
    VolumeRoot,        // a whole drive or share
    DevicePath,        // a device rather than a file
    NotLocal,          // a cloud or offline file whose data is elsewhere
    NotFound,          // could not be read at all
    FileNotWiped,
    FolderNotOpened,
    FolderNotRemoved,
    LinkNotRemoved,
    FolderNotListed,        // its listing failed part-way: what it still holds was not reached
    FolderStream,           // a path that names a folder's own index, not data
    FolderStreamsNotWiped,  // the folder's own named streams could not all be listed or wiped
    Cancelled,              // a cancel stopped the file's wipe once it had been changed
    ReplacedSinceQueued,    // queued for the next sign-in, another file (or none) by then
    // Not a failure, a note: the file was wiped and deleted, but its rename was refused,
    // so its own name was never hidden.
    WipedUnderOwnName,
};

struct WipeFailure {
    std::string path;  // UTF-8, as the user knows it
    WipeProblem problem = WipeProblem::FileNotWiped;
    std::uint32_t error = 0;  // the system's error code; 0 when none applies
    // A file left partly wiped: the random name it has now (empty when it kept its own),
    // and the passes that reached the disk.
    std::string leftAs;
    std::int32_t passesDone = 0;
    std::uint32_t method = 0;  // the method it was to be wiped with (for a later try)
};

using WipeFailures = std::vector<WipeFailure>;

// Whether the record says something was left (a failure) or only how it went (a note on
// an item that was wiped all the same).
bool IsFailure(const WipeFailure& record);
std::size_t FailureCount(const WipeFailures& records);

// The problem in words, without the path: "a whole drive or share is never wiped".
const char* ProblemText(WipeProblem problem);

// One line for a log or the debugger: "<path>: <problem> (error <code>)", and where a
// partly wiped file is now.
std::string DescribeFailure(const WipeFailure& failure);

}  // namespace veltrane
