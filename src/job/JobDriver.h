#pragma once
// The job's side of a wipe command, on the shell's thread: one worker per selected item,
// one after the other, and the wait loop that keeps the progress dialog alive meanwhile.
// The dialog and the threads are reached through two small interfaces, so the same
// driver runs under the real dialog and in tests.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
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
    // Items bar: range 0 to count, position kept (items joined the running job).
    virtual void GrowItemCount(std::int32_t count) = 0;
    virtual void StepItem() = 0;
    virtual void SetStatusText(std::string text) = 0;
    virtual void SetPathText(std::string text) = 0;
    virtual void SetFileProgress(std::int32_t percent) noexcept = 0;
    // The dialog's cancel request (m_bCancel, read through the job lock): 0 or 1.
    virtual std::int32_t CancelRequest() noexcept = 0;
    // Takes a cancel request back (it has been carried out): flag 0, Cancel usable again.
    virtual void ClearCancelRequest() noexcept = 0;
    // A worker ended with a non-zero result and no cancel request: true to go on with the
    // next item, false to end the job.
    virtual bool ContinueAfterResult(std::int32_t result) = 0;
    // Each poll, once the bar is set: the running worker's record, for a view that shows
    // more of it (the command line shows the pass under way and the current name).
    virtual void ShowRecord(const WipeJob& /*record*/) noexcept {}
    // A worker has ended: its item's place among the items appended (from 0) and its
    // record, read before the record goes.
    virtual void ItemEnded(std::size_t /*item*/, const WipeJob& /*record*/) {}
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

// One selected item and the method it is wiped with.
struct JobItem {
    std::string path;
    std::uint32_t method = 0;
};

// Runs a job's items in order, one worker at a time: the counts and texts of the dialog,
// the worker, the wait. Each poll reads, in this order, the dialog's cancel request
// (copied into the worker's `cancel` while set), `done`, `progress` (shown when it
// changed), then pumps messages; between polls the host waits.
//
// Items may join while the job runs: the shell calls a wipe command again from inside
// the job's own pump (its menus run there), and those items go to the end of this job
// rather than into a second job nested in the first. A cancel request ends the job once
// the current worker has stopped, items not yet begun included; only items that joined
// after the request was made go on, counted afresh. The request is read again before each
// worker starts, before and after the pump that precedes it, so every pump is followed by
// a read before anything new begins: a click between two items leaves the next untouched.
//
// Everything but the workers runs on one thread. An exception (no memory for a text)
// leaves only between items, never while a worker uses its record; the job has then ended.
class JobDriver {
public:
    // `settings` must outlive the driver.
    JobDriver(JobProgressView& view, JobWorkerHost& host, const WalkSettings& settings = {});
    JobDriver(const JobDriver&) = delete;
    JobDriver& operator=(const JobDriver&) = delete;
    ~JobDriver();

    // Adds `paths` at the end, each to be wiped with `method`. During Run the items bar
    // and the count of the status line grow with them. Adds all or nothing.
    void Append(const std::vector<std::string>& paths, std::uint32_t method);

    // Runs until every item has been processed, a cancel request has ended the job, a
    // worker could not be started, or the job ended otherwise (see PollNested).
    void Run();

    // One poll of the running worker for a message loop nested inside the job's pump (a
    // modal dialog, a menu), which would otherwise hold the job up until it ends: the bar
    // moves and the next item starts meanwhile. Does nothing while no worker runs (the
    // job is between two items, or over).
    void PollNested();

    bool Finished() const noexcept { return m_finished; }
    // Whether a cancel stopped an item: what it had not reached was left untouched.
    bool Cancelled() const noexcept { return m_cancelled; }
    // How many items a cancel left untouched: not started at all.
    std::size_t Untouched() const noexcept { return m_untouched; }

private:
    std::size_t CountShown() const noexcept { return m_items.size() - m_first; }
    // Prepares and starts the next item, or ends the job when none is left.
    void StartNext();
    // One poll of the running worker. True when the job has moved on from it.
    bool PollWorker();
    // The running worker has ended: its record goes, and the job goes on or ends.
    void EndItem(bool cancelled);
    // A pending cancel request, carried out before an item starts. True when there was one.
    bool CarryOutCancel();
    // The items a cancel request covers and that have not begun are left, counted; the job
    // ends, or goes on with the items given after the request.
    void SkipCancelledItems();
    void Finish() noexcept;

    JobProgressView& m_view;
    JobWorkerHost& m_host;
    const WalkSettings& m_settings;
    std::vector<JobItem> m_items;
    std::size_t m_first = 0;  // first item counted in the dialog
    std::size_t m_next = 0;   // next item to start
    // First item that joined while a cancel request was pending.
    std::optional<std::size_t> m_resumeAt;
    std::size_t m_shownItem = 0;         // number of the item in the status line, from 1
    std::unique_ptr<WipeJob> m_current;  // record of the running worker
    std::size_t m_currentItem = 0;       // its place in m_items
    unsigned m_generation = 0;           // raised each time a worker's end is handled
    std::int32_t m_shownProgress = -1;
    bool m_started = false;
    bool m_finished = false;
    bool m_cancelled = false;
    std::size_t m_untouched = 0;
};

// A job of one command: `selection` wiped with `method`.
void RunJobItems(const std::vector<std::string>& selection, std::uint32_t method,
                 JobProgressView& view, JobWorkerHost& host, const WalkSettings& settings = {});

}  // namespace veltrane
