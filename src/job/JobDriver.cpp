#include "job/JobDriver.h"

#include <cstdio>

#include "job/JobLock.h"

namespace veltrane {

std::string ProcessingText(std::size_t item, std::size_t count) {
    char text[64];
    std::snprintf(text, sizeof text, "Processing file %d of %d", static_cast<int>(item),
                  static_cast<int>(count));
    return text;
}

bool WaitForWorker(WipeJob& job, JobProgressView& view, JobWorkerHost& host) noexcept {
    std::int32_t shownProgress = -1;
    bool cancelCopy = false;
    for (;;) {
        cancelCopy = view.CancelRequest() != 0;
        if (cancelCopy) LockedSet(job.cancel, 1);
        const bool done = LockedGet(job.done);
        const std::int32_t progress = LockedGet(job.progress);
        if (progress != shownProgress) {
            view.SetFileProgress(progress);
            shownProgress = progress;
        }
        host.PumpPendingMessages();
        if (done) break;
        host.WaitBetweenPolls();
    }
    return cancelCopy;
}

void RunJobItems(const std::vector<std::string>& selection, std::uint32_t method,
                 JobProgressView& view, JobWorkerHost& host, const WalkSettings& settings) {
    const std::size_t count = selection.size();
    view.SetItemCount(static_cast<std::int32_t>(count));
    for (std::size_t i = 0; i < count; ++i) {
        // A copy: pumping may run code that changes the selection.
        const std::string item = selection.at(i);
        view.SetStatusText(ProcessingText(i + 1, count));
        view.SetPathText(item);
        view.StepItem();
        host.PumpPendingMessages();

        WipeJob job;
        job.path = item;
        job.method = method;
        job.fileSystem = settings.fileSystem;
        job.debugSink = settings.debugSink;
        if (!host.StartWorker(job)) return;
        const bool cancelled = WaitForWorker(job, view, host);
        // The worker has ended: its record of failures is ours now.
        if (settings.failures) {
            settings.failures->insert(settings.failures->end(), job.failures.begin(),
                                      job.failures.end());
        }
        if (cancelled) return;
        const std::int32_t result = LockedGet(job.result);
        if (result != 0 && !view.ContinueAfterResult(result)) return;
    }
}

}  // namespace veltrane
