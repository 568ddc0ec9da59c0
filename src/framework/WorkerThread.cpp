#include "framework/WorkerThread.h"

#include <new>

namespace veltrane {

WorkerThread* WorkerThread::Begin(ThreadProc proc, void* param, int priority, unsigned stackSize,
                                  DWORD createFlags, HANDLE signalOnEnd) {
    WorkerThread* thread = new (std::nothrow) WorkerThread(proc, param);
    if (!thread) return nullptr;
    if (signalOnEnd) {
        HANDLE own = nullptr;
        if (!::DuplicateHandle(::GetCurrentProcess(), signalOnEnd, ::GetCurrentProcess(), &own, 0,
                               FALSE, DUPLICATE_SAME_ACCESS)) {
            delete thread;
            return nullptr;
        }
        thread->m_signalOnEnd.reset(own);
    }
    // Always created suspended: the object must be complete before the thread can end it.
    thread->m_thread.reset(::CreateThread(nullptr, stackSize, &WorkerThread::Entry, thread,
                                          CREATE_SUSPENDED, &thread->m_threadId));
    if (!thread->m_thread) {
        delete thread;
        return nullptr;
    }
    ::SetThreadPriority(thread->m_thread.get(), priority);
    if (!(createFlags & CREATE_SUSPENDED) && thread->Resume() == static_cast<DWORD>(-1)) {
        return nullptr;
    }
    return thread;
}

DWORD WorkerThread::Resume() noexcept {
    HANDLE handle = m_thread.get();
    const DWORD previous = ::ResumeThread(handle);
    if (previous == static_cast<DWORD>(-1)) {
        // It never ran a line of its procedure; end it rather than leave it suspended
        // for ever with a pointer into its caller's storage.
        ::TerminateThread(handle, 1);
        ::WaitForSingleObject(handle, INFINITE);
        delete this;
    }
    return previous;
}

DWORD WINAPI WorkerThread::Entry(void* self) {
    auto* thread = static_cast<WorkerThread*>(self);
    unsigned code = 0;
    try {
        code = thread->m_proc(thread->m_param);
    } catch (...) {
        // Nothing may leave a thread procedure; the procedure reports its own failures.
        code = static_cast<unsigned>(-1);
    }
    if (thread->m_signalOnEnd) ::SetEvent(thread->m_signalOnEnd.get());
    delete thread;
    return code;
}

}  // namespace veltrane
