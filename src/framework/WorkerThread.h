#pragma once
// The framework's worker thread object: starts a thread procedure with one argument and
// deletes itself when the thread ends.

#include <windows.h>

#include "framework/Handles.h"

namespace veltrane {

using ThreadProc = unsigned (*)(void* param);

class WorkerThread {
public:
    // Starts `proc(param)` on a new thread with the given priority and stack size (0:
    // the default). With CREATE_SUSPENDED in `createFlags` the thread waits for Resume;
    // without it the thread runs at once and the returned pointer may already be gone:
    // use it only as a success flag. When `signalOnEnd` is given, the thread sets that
    // event after `proc` has returned (it holds its own duplicate of the handle, so the
    // caller may close its handle at any time). Returns null when the thread cannot be
    // created; nothing then runs.
    static WorkerThread* Begin(ThreadProc proc, void* param, int priority = THREAD_PRIORITY_NORMAL,
                               unsigned stackSize = 0, DWORD createFlags = 0,
                               HANDLE signalOnEnd = nullptr);

    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    HANDLE Handle() const noexcept { return m_thread.get(); }
    DWORD ThreadId() const noexcept { return m_threadId; }

    // Resumes a thread begun suspended (ResumeThread on its handle); returns the previous
    // suspend count. The object may be gone as soon as the thread runs. When resuming
    // fails ((DWORD)-1) the thread, which never ran, is ended and the object freed, so
    // that no suspended thread is left holding its argument.
    DWORD Resume() noexcept;

private:
    WorkerThread(ThreadProc proc, void* param) noexcept : m_proc(proc), m_param(param) {}
    ~WorkerThread() = default;
    static DWORD WINAPI Entry(void* self);

    ThreadProc m_proc;
    void* m_param;
    UniqueHandle m_thread;
    UniqueHandle m_signalOnEnd;
    DWORD m_threadId = 0;
};

}  // namespace veltrane
