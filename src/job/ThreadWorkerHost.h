#pragma once
// Workers on the framework's threads for a job on the shell's thread.

#include <windows.h>

#include "framework/Handles.h"
#include "framework/MessagePump.h"
#include "framework/WorkerThread.h"
#include "job/JobDriver.h"
#include "job/RunWipeJob.h"
#include "job/WipePath.h"

namespace veltrane {

// One worker thread per item through the framework's thread object. The worker sets an
// event as it ends, which the wait between polls watches together with the input queue,
// so neither a worker's end nor a key press waits for a timeout.
class ThreadWorkerHost final : public JobWorkerHost {
public:
    explicit ThreadWorkerHost(bool waitBetweenPolls) noexcept : m_wait(waitBetweenPolls) {}

    bool StartWorker(WipeJob& job) override {
        // Without an event the wait falls back to its timeout.
        m_workerEnded.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        // The walk's depth costs heap, not stack: a fixed reservation serves any tree.
        WorkerThread* thread = WorkerThread::Begin(
            &WipeThreadProc, &job, THREAD_PRIORITY_NORMAL, kWorkerStackSize,
            CREATE_SUSPENDED | STACK_SIZE_PARAM_IS_A_RESERVATION, m_workerEnded.get());
        if (!thread) return false;
        return thread->Resume() != static_cast<DWORD>(-1);
    }

    void PumpPendingMessages() noexcept override {
        // The pump dispatches to windows; nothing they raise may end the wait while the
        // worker still uses the job's storage.
        try {
            veltrane::PumpPendingMessages();
        } catch (...) {
        }
    }

    void WaitBetweenPolls() noexcept override {
        if (!m_wait) return;
        HANDLE ended = m_workerEnded.get();
        ::MsgWaitForMultipleObjectsEx(ended ? 1 : 0, ended ? &ended : nullptr, kPollIntervalMs,
                                      QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }

private:
    bool m_wait;
    UniqueHandle m_workerEnded;
};

}  // namespace veltrane
