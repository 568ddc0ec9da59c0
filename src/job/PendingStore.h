#pragma once
// Where the queue of files to wipe at the next sign-in lives for this user, and the run
// that works it off: the queue file in the user's local application data (which only that
// user, the system and administrators can open), and a RunOnce entry of the user's that
// runs the queue at the next sign-in through the DLL (rundll32 veltrane.dll,RunPendingWipes),
// so that the job's progress dialog, report and cancel serve it.

#include <windows.h>

#include <string>
#include <vector>

#include "job/PendingQueue.h"
#include "job/RunWipeJob.h"

namespace veltrane {

bool LoadPendingQueue(std::vector<PendingWipe>& queue, const PendingPlace& place = {});
// Writes the queue and sets the RunOnce entry; an empty queue removes both.
bool SavePendingQueue(const std::vector<PendingWipe>& queue, const PendingPlace& place = {});

// Queues `paths` (wiped with `method`) for the next sign-in. False when the queue could not
// be written; paths whose identity cannot be read go to `refused`.
bool QueueForNextSignIn(const std::vector<std::string>& paths, std::uint32_t method,
                        WipeFailures& refused, const PendingPlace& place = {});

// Whether a failure is of a file another program held open: what a later try may finish.
bool HeldByAnotherProgram(const WipeFailure& failure);

// The run at sign-in: every queued file that is still the file it was is wiped by the job,
// one job a method; a name that means another file by then is not touched and is
// reported; a file still in use is queued once more, then reported. One report at the end
// (settings.report, else the dialog) says what was left.
void RunPendingWipes(HWND owner, const JobSettings& settings = {}, const PendingPlace& place = {});

}  // namespace veltrane
