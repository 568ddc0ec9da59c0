#pragma once
// A whole wipe command on the shell's thread: the progress dialog, one worker per
// selected item, and the end of the job.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "job/JobDriver.h"
#include "job/PendingQueue.h"

namespace veltrane {

// How a job ended, beyond its record: whether a cancel stopped it, so that what it had
// not reached was not touched either, and how many selected items it left unstarted.
struct JobEnd {
    bool cancelled = false;
    std::size_t untouched = 0;
};

// Shows what a job could not do, once, after its dialog has gone.
using JobReport = std::function<void(HWND owner, const WipeFailures& failures, const JobEnd& end)>;

// How long a job runs before its progress dialog appears: at once, so that every command
// shows what it does. (A delay would spare a small command the window's cost, some 20 ms
// under Wine; the setting is there to measure it.)
constexpr DWORD kDialogDelayMs = 0;

struct JobSettings {
    WalkSettings walk;
    // Wait for input or a worker's end between polls (true), or poll without pause.
    bool waitBetweenPolls = true;
    DWORD dialogDelayMs = kDialogDelayMs;
    // Empty: the report dialog, modal to the owner.
    JobReport report;
    // Where the report's "Wipe at next sign-in" queues files: the user's own queue.
    PendingPlace pending;
    // The end of a free-space job: its report's lines, and whether all the free space was
    // overwritten. Empty: a message box owned by the job's owner.
    std::function<void(HWND owner, const std::vector<std::string>& lines, bool allWiped)>
        freeSpaceReport;
};

// The report dialog for `failures`, modal to `owner`.
void ShowJobReport(HWND owner, const WipeFailures& failures, const JobEnd& end,
                   const PendingPlace& pending = {});

// Longest wait between two polls: how soon the file bar follows the engine. Input and a
// worker's end cut the wait short; the bar, which the worker does not signal, moves ten
// times a second. Also the period of the poll that keeps the job going while a message
// loop nested in its pump (a modal dialog, a menu) holds the wait loop up.
constexpr DWORD kPollIntervalMs = 100;

// Wipes every item of `selection` with `method` (one WipeMethod bit), showing the
// progress dialog owned by `owner` (which may be null) once the job has lasted
// settings.dialogDelayMs. Posts WM_ENABLE FALSE to `owner` at the start and TRUE at the
// end. When anything could not be wiped (also before a cancel), or a cancel left items
// untouched, the report follows the dialog; a job that did everything shows nothing more. Called
// while a job runs on the same thread (from inside its message pump), it adds the items to the end
// of that job, each keeping its own method, and returns at once; another thread runs a job of its
// own. Returns S_OK in every case; no exception leaves it.
HRESULT RunWipeJob(HWND owner, UINT method, const std::vector<std::string>& selection,
                   const JobSettings& settings = {}) noexcept;

// Tells `owner` (posting WM_ENABLE) that a job started (FALSE) or ended (TRUE); nothing
// for a null owner.
void PostEnable(HWND owner, BOOL enable) noexcept;

// Whether a file job runs on this thread (the caller is inside its pump).
bool WipeJobRunning() noexcept;

}  // namespace veltrane
