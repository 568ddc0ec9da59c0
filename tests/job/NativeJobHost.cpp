#include "NativeJobHost.h"

#include <algorithm>
#include <chrono>

#include "job/JobLock.h"
#include "job/WipePath.h"

namespace veltrane {

void JobLog::Add(std::string entry) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_entries.push_back(std::move(entry));
}

std::vector<std::string> JobLog::Entries() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_entries;
}

std::size_t JobLog::Count(const std::string& entry) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<std::size_t>(std::count(m_entries.begin(), m_entries.end(), entry));
}

void RecordingView::SetItemCount(std::int32_t count) {
    m_log.Add("count " + std::to_string(count));
}
void RecordingView::StepItem() {
    m_log.Add("step");
}
void RecordingView::SetStatusText(std::string text) {
    m_log.Add("status " + text);
}
void RecordingView::SetPathText(std::string text) {
    m_log.Add("path " + text);
}
void RecordingView::SetFileProgress(std::int32_t percent) noexcept {
    m_log.Add("progress " + std::to_string(percent));
}
std::int32_t RecordingView::CancelRequest() noexcept {
    m_log.Add("cancel?");
    return LockedGet(cancelRequest);
}
bool RecordingView::ContinueAfterResult(std::int32_t result) {
    resultsShown.push_back(result);
    return continueAfterResult;
}

NativeJobHost::~NativeJobHost() {
    for (auto& thread : m_threads) thread.join();
}

bool NativeJobHost::StartWorker(WipeJob& job) {
    m_log.Add("start");
    if (++m_starts == failStart) return false;
    int generation = 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_workerEnded = false;
        m_current = &job;
        generation = ++m_generation;
    }
    const std::int32_t fake = fakeResult;
    m_threads.emplace_back([this, &job, fake, generation] {
        if (fake != 0) {
            LockedSet(job.result, fake);
            LockedSet(job.done, true);
        } else {
            WipeThreadProc(&job);
        }
        // A worker still returning after the job went on must not mark the next one.
        std::lock_guard<std::mutex> lock(m_mutex);
        if (generation != m_generation) return;
        m_workerEnded = true;
        m_current = nullptr;
        m_ended.notify_all();
    });
    if (finishBeforeFirstPoll) {
        m_threads.back().join();
        m_threads.pop_back();
    }
    return true;
}

void NativeJobHost::PumpPendingMessages() noexcept {
    m_log.Add("pump");
    ++m_pumps;
    if (onPump) onPump(m_pumps);
}

void NativeJobHost::WaitBetweenPolls() noexcept {
    m_log.Add("wait");
    std::unique_lock<std::mutex> lock(m_mutex);
    m_ended.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_workerEnded; });
}

WipeJob* NativeJobHost::Current() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_current;
}

}  // namespace veltrane
