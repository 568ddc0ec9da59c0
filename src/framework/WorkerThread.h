#pragma once
// The framework's worker thread object: starts a thread procedure with one argument and
// deletes itself when the thread ends.
//
// While the thread exists it counts as module activity (DllCanUnloadNow refuses) and holds
// a reference on the module that contains this code. It ends by giving that reference
// back and ending the thread in one call, so it never returns into code of a module that
// may have been unloaded meanwhile.

#include <windows.h>

#include "framework/Handles.h"
#include "framework/ModuleActivity.h"

namespace veltrane {

using ThreadProc = unsigned (*)(void* param);

class WorkerThread {
public:
    // Starts `proc(param)` on a new thread with the given priority and stack size (0:
    // the default; with STACK_SIZE_PARAM_IS_A_RESERVATION in `createFlags` the size reserved,
    // else the size committed). With CREATE_SUSPENDED in `createFlags` the thread waits for Resume;
    // without it the thread runs at once and the returned pointer may already be gone:
    // use it only as a success flag. When `signalOnEnd` is given, the thread sets that
    // event after `proc` has returned (it holds its own duplicate of the handle, so the
    // caller may close its handle at any time). Returns null when the thread cannot be
    // created or no module reference can be taken; nothing then runs.
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
    // Gives the module reference back when the thread never ran.
    ~WorkerThread();
    static DWORD WINAPI Entry(void* self);
    // Runs the procedure, signals the end and frees the object; hands back the module
    // reference, which the thread then releases as its very last action.
    static unsigned RunAndEnd(WorkerThread* thread, HMODULE& module) noexcept;

    ThreadProc m_proc;
    void* m_param;
    UniqueHandle m_thread;
    UniqueHandle m_signalOnEnd;
    DWORD m_threadId = 0;
    HMODULE m_module = nullptr;  // counted reference on the module holding this code
    ModuleActivity m_activity;
};

}  // namespace veltrane
