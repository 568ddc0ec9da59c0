#pragma once
// Workers on standard threads, for a job driven without a message queue (the command
// line): the wait between polls ends when the worker ends, when Wake is called (a cancel
// request from a signal handler's thread), or after a poll interval.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "job/JobDriver.h"

namespace veltrane {

class PortableWorkerHost final : public JobWorkerHost {
public:
    explicit PortableWorkerHost(std::chrono::milliseconds pollInterval);
    // Joins the last worker (the driver never leaves one running).
    ~PortableWorkerHost() override;
    PortableWorkerHost(const PortableWorkerHost&) = delete;
    PortableWorkerHost& operator=(const PortableWorkerHost&) = delete;

    bool StartWorker(WipeJob& job) override;
    void PumpPendingMessages() noexcept override {}
    void WaitBetweenPolls() noexcept override;

    // Ends the current wait at once. Safe from any thread.
    void Wake() noexcept;

private:
    std::chrono::milliseconds m_interval;
    std::thread m_worker;
    std::mutex m_lock;
    std::condition_variable m_signal;
    bool m_ended = false;  // the current worker has ended
    bool m_woken = false;
};

}  // namespace veltrane
