#pragma once
// A free-space wipe command on the shell's thread: the progress dialog of a file job, one
// worker, and the report at its end.

#include <windows.h>

#include <string>

#include "job/RunWipeJob.h"

namespace veltrane {

// Overwrites the free space of the volume whose root is `volume` with `method` (one
// WipeMethod bit), showing the progress dialog owned by `owner`: the status line says what
// the wipe does, the path line the drive and what the pass under way has written, the
// file bar that pass, the items bar the passes. Cancel stops the worker within a second
// and the fill files go. The report (settings.freeSpaceReport, else a message box) comes
// after the dialog has gone. While a file job runs on this thread it says so and starts
// nothing. Uses settings.walk.fileSystem and the dialog and wait settings. Returns S_OK
// in every case; no exception leaves it.
HRESULT RunFreeSpaceJob(HWND owner, UINT method, const std::string& volume,
                        const JobSettings& settings = {}) noexcept;

}  // namespace veltrane
