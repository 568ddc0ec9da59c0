#include "job/PortableWorkerHost.h"

#include <system_error>

#include "job/WipePath.h"

namespace veltrane {

PortableWorkerHost::PortableWorkerHost(std::chrono::milliseconds pollInterval)
    : m_interval(pollInterval) {}

PortableWorkerHost::~PortableWorkerHost() {
    if (m_worker.joinable()) m_worker.join();
}

bool PortableWorkerHost::StartWorker(WipeJob& job) {
    // The previous worker has set `done`; it only has its end to signal still.
    if (m_worker.joinable()) m_worker.join();
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_ended = false;
    }
    try {
        // The walk keeps its folders on the heap: the platform's default stack will do.
        m_worker = std::thread([this, &job] {
            WipeThreadProc(&job);
            std::lock_guard<std::mutex> guard(m_lock);
            m_ended = true;
            m_signal.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void PortableWorkerHost::WaitBetweenPolls() noexcept {
    std::unique_lock<std::mutex> lock(m_lock);
    m_signal.wait_for(lock, m_interval, [this] { return m_ended || m_woken; });
    m_woken = false;
}

void PortableWorkerHost::Wake() noexcept {
    std::lock_guard<std::mutex> guard(m_lock);
    m_woken = true;
    m_signal.notify_all();
}

}  // namespace veltrane
