#include "job/JobDriver.h"

#include <cstdio>
#include <iterator>

#include "job/JobLock.h"

namespace veltrane {

std::string ProcessingText(std::size_t item, std::size_t count) {
    char text[64];
    std::snprintf(text, sizeof text, "Processing file %d of %d", static_cast<int>(item),
                  static_cast<int>(count));
    return text;
}

JobDriver::JobDriver(JobProgressView& view, JobWorkerHost& host, const WalkSettings& settings)
    : m_view(view), m_host(host), m_settings(settings) {}

JobDriver::~JobDriver() {
    // Never free a record that a worker still uses (no exception leaves while one runs,
    // so this is a guard only).
    if (!m_current) return;
    LockedSet(m_current->cancel, 1);
    while (!LockedGet(m_current->done)) m_host.WaitBetweenPolls();
}

void JobDriver::Append(const std::vector<std::string>& paths, std::uint32_t method) {
    if (paths.empty() || m_finished) return;
    std::vector<JobItem> added;
    added.reserve(paths.size());
    for (const std::string& path : paths) added.push_back(JobItem{path, method});
    const std::size_t first = m_items.size();
    m_items.reserve(first + added.size());
    m_items.insert(m_items.end(), std::make_move_iterator(added.begin()),
                   std::make_move_iterator(added.end()));
    if (!m_started) return;

    // Given after Cancel was pressed: not part of what is being cancelled.
    if (m_view.CancelRequest() != 0) {
        if (!m_resumeAt) m_resumeAt = first;
        return;
    }
    m_view.GrowItemCount(static_cast<std::int32_t>(CountShown()));
    if (m_shownItem != 0) m_view.SetStatusText(ProcessingText(m_shownItem, CountShown()));
}

void JobDriver::Run() {
    m_started = true;
    try {
        m_view.SetItemCount(static_cast<std::int32_t>(CountShown()));
        StartNext();
        while (!m_finished) {
            if (!m_current) {
                StartNext();
            } else if (!PollWorker() && !m_finished) {
                m_host.WaitBetweenPolls();
            }
        }
    } catch (...) {
        Finish();
        throw;
    }
}

void JobDriver::PollNested() {
    if (m_finished || !m_current) return;
    try {
        PollWorker();
    } catch (...) {
        Finish();
        throw;
    }
}

void JobDriver::StartNext() {
    if (m_resumeAt && m_next >= *m_resumeAt) {
        // Everything queued before the cancel request has ended: the request is carried
        // out, and the items given after it are counted afresh.
        m_resumeAt.reset();
        m_first = m_next;
        m_view.ClearCancelRequest();
        m_view.SetItemCount(static_cast<std::int32_t>(CountShown()));
    }
    if (m_next >= m_items.size()) {
        Finish();
        return;
    }
    // Nothing starts once Cancel has been pressed, even between two items.
    if (CarryOutCancel()) return;
    // A copy: the pump below may add items, which moves the list.
    const JobItem item = m_items[m_next];
    m_shownItem = m_next + 1 - m_first;
    m_view.SetStatusText(ProcessingText(m_shownItem, CountShown()));
    m_view.SetPathText(item.path);
    m_view.StepItem();
    m_host.PumpPendingMessages();
    // A click handled in that pump: this item is left as it is too.
    if (m_finished || CarryOutCancel()) return;

    auto job = std::make_unique<WipeJob>();
    job->path = item.path;
    job->method = item.method;
    job->fileSystem = m_settings.fileSystem;
    job->debugSink = m_settings.debugSink;
    m_shownProgress = -1;  // the first poll always sets the bar
    m_currentItem = m_next++;
    if (!m_host.StartWorker(*job)) {
        Finish();
        return;
    }
    m_current = std::move(job);
}

bool JobDriver::CarryOutCancel() {
    if (m_view.CancelRequest() == 0) return false;
    SkipCancelledItems();
    return true;
}

void JobDriver::SkipCancelledItems() {
    m_cancelled = true;
    // Everything queued before the request and not yet begun is left as it is.
    const std::size_t end = m_resumeAt ? *m_resumeAt : m_items.size();
    if (end > m_next) m_untouched += end - m_next;
    if (!m_resumeAt) {
        Finish();
        return;
    }
    m_next = *m_resumeAt;
}

bool JobDriver::PollWorker() {
    WipeJob& job = *m_current;
    const unsigned generation = m_generation;
    const bool cancel = m_view.CancelRequest() != 0;
    if (cancel) LockedSet(job.cancel, 1);
    const bool done = LockedGet(job.done);
    const std::int32_t progress = LockedGet(job.progress);
    if (progress != m_shownProgress) {
        m_view.SetFileProgress(progress);
        m_shownProgress = progress;
    }
    if (!done) m_view.ShowRecord(job);
    m_host.PumpPendingMessages();
    // A poll from a loop nested in that pump may have handled this worker's end already,
    // and `job` may be gone.
    if (generation != m_generation || m_finished) return true;
    if (!done) return false;
    EndItem(cancel);
    return true;
}

void JobDriver::EndItem(bool cancelled) {
    const std::int32_t result = LockedGet(m_current->result);
    m_view.ItemEnded(m_currentItem, *m_current);
    // The worker has ended: its record of failures is ours now.
    if (m_settings.failures) {
        m_settings.failures->insert(m_settings.failures->end(), m_current->failures.begin(),
                                    m_current->failures.end());
    }
    m_current.reset();
    ++m_generation;
    if (cancelled) {
        SkipCancelledItems();
        if (m_finished) return;
    } else if (result != 0 && !m_view.ContinueAfterResult(result)) {
        Finish();
        return;
    }
    StartNext();
}

void JobDriver::Finish() noexcept {
    m_finished = true;
    m_shownItem = 0;
    m_resumeAt.reset();
}

void RunJobItems(const std::vector<std::string>& selection, std::uint32_t method,
                 JobProgressView& view, JobWorkerHost& host, const WalkSettings& settings) {
    JobDriver driver(view, host, settings);
    driver.Append(selection, method);
    driver.Run();
}

}  // namespace veltrane
