#pragma once
// The worker's side of a wipe job: the depth-first walk of one selected item.

#include <cstdint>
#include <string>

#include "job/FolderWalk.h"
#include "job/WipeJob.h"
#include "job/WipeReport.h"
#include "wipe/FileSystem.h"

namespace veltrane {

// Walk results.
constexpr std::int32_t kWalkFinished = 0;   // whether or not everything went
constexpr std::int32_t kWalkCancelled = 1;  // stopped because `cancel` was set

// The stack a wipe worker is given. The walk keeps its open folders on the heap, so it
// needs the same small stack whatever the depth of the tree.
constexpr unsigned kWorkerStackSize = 256 * 1024;

// Processes job.path and everything below it by the walk's rules (RunFolderWalk,
// ClassifyEntry): nothing at all once job.cancel holds 1; each file wiped by the engine
// with job.method; each link removed itself; each folder removed after its contents, its
// own named streams overwritten first. Failures do not stop the walk; each is recorded in
// job.failures with its path and reason, and so is every file a cancel stopped once
// anything of it had changed. A failed removal of a folder or link also sends
// "Error <code> deleting [RP ]<path>" to the job's debug sink, and an item left by a rule
// "Not wiped: <path>: <reason>".
std::int32_t WipePath(WipeJob& job);

// The free-space wipe of job.path with job.method, reporting through the record (see
// WipeJob::freeSpace). kWalkCancelled when a cancel stopped it.
std::int32_t WipeFreeSpace(WipeJob& job);

// The worker thread's procedure; `param` points to the item's WipeJob. Sets `done`
// false and `result` 0, walks (or wipes the free space), then sets `result` and, last of
// all, `done`. Returns 0.
unsigned WipeThreadProc(void* param);

// The platform's debugger output (OutputDebugStringA on Windows; nothing elsewhere).
void DebugOutput(const std::string& line);

}  // namespace veltrane
