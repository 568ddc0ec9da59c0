#pragma once
// The job's side of a wipe command, on the shell's thread: one worker per selected item,
// one after the other, and the wait loop that keeps the progress dialog alive meanwhile.
// The dialog and the threads are reached through two small interfaces, so the same
// driver runs under the real dialog and in tests.

#include <cstdint>
#include <string>
#include <vector>

#include "job/WipeJob.h"

namespace veltrane {

// The progress dialog as the job sees it.
class JobProgressView {
public:
    virtual ~JobProgressView() = default;
    // Items bar: range 0 to count, step 1, position 0.
    virtual void SetItemCount(std::int32_t count) = 0;
    virtual void StepItem() = 0;
    virtual void SetStatusText(std::string text) = 0;
    virtual void SetPathText(std::string text) = 0;
    virtual void SetFileProgress(std::int32_t percent) noexcept = 0;
    // The dialog's cancel request (m_bCancel, read through the job lock): 0 or 1.
    virtual std::int32_t CancelRequest() noexcept = 0;
    // A worker ended with a non-zero result and no cancel request: true to go on with the
    // next item, false to end the job.
    virtual bool ContinueAfterResult(std::int32_t result) = 0;
};

// Starting workers and waiting for them on the shell's thread.
class JobWorkerHost {
public:
    virtual ~JobWorkerHost() = default;
    // Starts WipeThreadProc on `job` (created suspended, then resumed). False when the
    // thread cannot be created or started; nothing then runs on `job`.
    virtual bool StartWorker(WipeJob& job) = 0;
    // Handles the thread's pending messages for at most 200 ms.
    virtual void PumpPendingMessages() noexcept = 0;
    // Between two polls: returns when input arrives, when the running worker ends, or
    // after a short time at the latest.
    virtual void WaitBetweenPolls() noexcept = 0;
};

// Where the walk of every item works and reports.
struct WalkSettings {
    FileSystem* fileSystem = nullptr;  // null: PlatformFileSystem()
    DebugSink debugSink;               // empty: the debugger output
    WipeFailures* failures = nullptr;  // where each item's failures are gathered; null: dropped
};

// "Processing file %d of %d".
std::string ProcessingText(std::size_t item, std::size_t count);

// Waits for one item's worker, polling in this order: the dialog's cancel request (copied
// into job.cancel while set), `done`, `progress` (shown when it changed), the message
// pump; between polls the host waits. Returns the cancel copy of the last poll.
bool WaitForWorker(WipeJob& job, JobProgressView& view, JobWorkerHost& host) noexcept;

// Runs every item of `selection` in order: the counts and texts of the dialog, one worker
// per item, the wait. Returns after the last item, after an item during which a cancel
// request was seen, or when a worker cannot be started. The selection's size is read
// once; each item is fetched with a check against the size at that moment, and an
// exception (no memory for a text, an item beyond the selection) leaves this function
// only between items, never while a worker runs.
void RunJobItems(const std::vector<std::string>& selection, std::uint32_t method,
                 JobProgressView& view, JobWorkerHost& host, const WalkSettings& settings = {});

}  // namespace veltrane
