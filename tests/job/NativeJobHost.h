#pragma once
// A job host and progress view for tests without windows: workers on std::thread, a
// condition variable in place of the message queue, and a log of what the job did.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "job/JobDriver.h"

namespace veltrane {

// What the job shows, in order ("count 3", "status ...", "path ...", "step",
// "progress 40", "cancel?"), shared with the host's entries ("start", "pump", "wait").
class JobLog {
public:
    void Add(std::string entry);
    std::vector<std::string> Entries() const;
    std::size_t Count(const std::string& entry) const;

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_entries;
};

class RecordingView : public JobProgressView {
public:
    explicit RecordingView(JobLog& log) : m_log(log) {}

    void SetItemCount(std::int32_t count) override;
    void StepItem() override;
    void SetStatusText(std::string text) override;
    void SetPathText(std::string text) override;
    void SetFileProgress(std::int32_t percent) noexcept override;
    std::int32_t CancelRequest() noexcept override;
    bool ContinueAfterResult(std::int32_t result) override;

    // The dialog's m_bCancel, as OnCancel would set it.
    std::int32_t cancelRequest = 0;
    // Answer to a non-zero result (the OK/Cancel box).
    bool continueAfterResult = true;
    std::vector<std::int32_t> resultsShown;

private:
    JobLog& m_log;
};

class NativeJobHost : public JobWorkerHost {
public:
    explicit NativeJobHost(JobLog& log) : m_log(log) {}
    ~NativeJobHost() override;

    bool StartWorker(WipeJob& job) override;
    void PumpPendingMessages() noexcept override;
    void WaitBetweenPolls() noexcept override;

    // The record of the running worker (for tests that steer it).
    WipeJob* Current();

    // Called on every pump with its number (from 1), as a dialog's handlers would run.
    std::function<void(int pump)> onPump;
    // The start of worker number `failStart` (from 1) fails; 0: none fails.
    int failStart = 0;
    // Runs each worker to its end before StartWorker returns.
    bool finishBeforeFirstPoll = false;
    // Instead of the walk, the worker sets this result (when not 0) and done.
    std::int32_t fakeResult = 0;

private:
    JobLog& m_log;
    std::mutex m_mutex;
    std::condition_variable m_ended;
    bool m_workerEnded = false;
    WipeJob* m_current = nullptr;
    std::vector<std::thread> m_threads;
    int m_generation = 0;
    int m_starts = 0;
    int m_pumps = 0;
};

}  // namespace veltrane
