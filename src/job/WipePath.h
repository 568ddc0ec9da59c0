#pragma once
// The worker's side of a wipe job: the depth-first walk of one selected item.

#include <cstdint>
#include <optional>
#include <string>

#include "job/WipeJob.h"
#include "job/WipeReport.h"
#include "wipe/FileSystem.h"

namespace veltrane {

// Walk results.
constexpr std::int32_t kWalkFinished = 0;   // whether or not everything went
constexpr std::int32_t kWalkCancelled = 1;  // stopped because `cancel` was set

// Why `path` is refused as a whole, before anything is looked at: no name, a name without
// an exact Unicode form, a folder's own index (NamesFolderStream), a drive or share root, a
// device, or a path that depends on the current folder. Nothing when it may be walked.
std::optional<WipeProblem> WholePathRefusal(const std::string& path);

// Whether the walk takes `path`, a reparse point, for a link: a name surrogate, or a tag
// that reads 0 or cannot be read (some systems, Wine among them, report their symbolic
// links that way, and walking into an unknown reparse point could leave the selection).
bool IsWalkLink(FileSystem& fs, const std::string& path);

// The stack a wipe worker is given. The walk keeps its open folders on the heap, so it
// needs the same small stack whatever the depth of the tree.
constexpr unsigned kWorkerStackSize = 256 * 1024;

// Processes job.path and everything below it:
// - nothing at all once job.cancel holds 1: the request is read before each file, link and
//   folder, and before each folder is removed, so what a cancel reaches first is untouched;
// - a path WholePathRefusal names is refused: nothing on it is touched;
// - a file is wiped by the engine with job.method; one whose data is not local (offline,
//   recalled on access) is left, since opening it would download it;
// - a link (a reparse point whose tag is a name surrogate, 0 or unreadable) is removed
//   itself; what it points to is never entered, opened or changed, so nothing outside the
//   selection is touched. Other reparse points (cloud, deduplication) are files and folders;
// - a folder is walked depth-first in the system's order ("." and ".." skipped) and
//   removed after its contents (its own named streams overwritten first), unless a cancel
//   request came up within it. An entry whose name would not name an entry of that folder
//   (a separator, a colon) is left. A listing that fails part-way keeps the folder and
//   records the listing's error. The walk keeps no frame of its own per level on the
//   thread's stack.
// Failures do not stop the walk; each is recorded in job.failures with its path and
// reason, and so is every file a cancel stopped once anything of it had changed. A failed removal of a folder or link also sends "Error <code> deleting [RP ]
// <path>" to the job's debug sink, and a refused item "Not wiped: <path>: <reason>".
std::int32_t WipePath(WipeJob& job);

// The worker thread's procedure; `param` points to the item's WipeJob. Sets `done`
// false and `result` 0, walks, then sets `result` and, last of all, `done`. Returns 0.
unsigned WipeThreadProc(void* param);

// The platform's debugger output (OutputDebugStringA on Windows; nothing elsewhere).
void DebugOutput(const std::string& line);

}  // namespace veltrane
