#pragma once
// The worker's side of a wipe job: the depth-first walk of one selected item.

#include <cstdint>
#include <string>

#include "job/WipeJob.h"

namespace veltrane {

// Walk results.
constexpr std::int32_t kWalkFinished = 0;   // whether or not everything went
constexpr std::int32_t kWalkCancelled = 1;  // stopped because `cancel` was set

// Processes job.path and everything below it:
// - a file is wiped by the engine with job.method;
// - a link (a reparse point) is removed itself; what it points to is never entered,
//   opened or changed, so nothing outside the selection is touched;
// - a folder is walked depth-first in the system's order ("." and ".." skipped) and
//   removed after its contents, unless a cancel request came up within it.
// Failures are ignored and the walk goes on; a failed removal of a folder or link sends
// "Error <code> deleting [RP ]<path>" to the job's debug sink.
std::int32_t WipePath(WipeJob& job);

// The worker thread's procedure; `param` points to the item's WipeJob. Sets `done`
// false and `result` 0, walks, then sets `result` and, last of all, `done`. Returns 0.
unsigned WipeThreadProc(void* param);

// The platform's debugger output (OutputDebugStringA on Windows; nothing elsewhere).
void DebugOutput(const std::string& line);

}  // namespace veltrane
