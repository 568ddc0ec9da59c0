#pragma once
// A whole wipe command on the shell's thread: the progress dialog, one worker per
// selected item, and the end of the job.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "job/JobDriver.h"

namespace veltrane {

// Shows what a job could not do, once, after its dialog has gone.
using JobReport = std::function<void(HWND owner, const WipeFailures& failures)>;

struct JobSettings {
    WalkSettings walk;
    // Wait for input or a worker's end between polls (true), or poll without pause.
    bool waitBetweenPolls = true;
    // Empty: the report dialog, modal to the owner.
    JobReport report;
};

// The report dialog for `failures`, modal to `owner`.
void ShowJobReport(HWND owner, const WipeFailures& failures);

// Longest wait between two polls: how soon the file bar follows the engine. Input and a
// worker's end cut the wait short; the bar, which the worker does not signal, moves ten
// times a second.
constexpr DWORD kPollIntervalMs = 100;

// Wipes every item of `selection` with `method` (one WipeMethod bit), showing the
// progress dialog owned by `owner` (which may be null). Posts WM_ENABLE FALSE to `owner`
// at the start and TRUE at the end. When anything could not be wiped (also before a
// cancel), the report follows the dialog; a job that did everything shows nothing more.
// Returns S_OK in every case; no exception leaves it.
HRESULT RunWipeJob(HWND owner, UINT method, const std::vector<std::string>& selection,
                   const JobSettings& settings = {}) noexcept;

}  // namespace veltrane
