#include "framework/WorkerThread.h"

#include <new>

namespace veltrane {

WorkerThread* WorkerThread::Begin(ThreadProc proc, void* param, int priority, unsigned stackSize,
                                  DWORD createFlags, HANDLE signalOnEnd) {
    WorkerThread* thread = new (std::nothrow) WorkerThread(proc, param);
    if (!thread) return nullptr;
    // Counted: the module stays loaded until the thread has left its code, whatever
    // DllCanUnloadNow answers meanwhile.
    if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                              reinterpret_cast<LPCSTR>(&WorkerThread::Entry), &thread->m_module)) {
        thread->m_module = nullptr;
        delete thread;
        return nullptr;
    }
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
    thread->m_thread.reset(::CreateThread(
        nullptr, stackSize, &WorkerThread::Entry, thread,
        CREATE_SUSPENDED | (createFlags & STACK_SIZE_PARAM_IS_A_RESERVATION), &thread->m_threadId));
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

WorkerThread::~WorkerThread() {
    // Only when the thread never ran: a thread that ran took the reference with it.
    if (m_module) ::FreeLibrary(m_module);
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

unsigned WorkerThread::RunAndEnd(WorkerThread* thread, HMODULE& module) noexcept {
    unsigned code = 0;
    try {
        code = thread->m_proc(thread->m_param);
    } catch (...) {
        // Nothing may leave a thread procedure; the procedure reports its own failures.
        code = static_cast<unsigned>(-1);
    }
    if (thread->m_signalOnEnd) ::SetEvent(thread->m_signalOnEnd.get());
    module = thread->m_module;
    thread->m_module = nullptr;
    delete thread;  // from here the thread no longer counts as module activity
    return code;
}

DWORD WINAPI WorkerThread::Entry(void* self) {
    // No object with a destructor lives in this frame: the last call never returns.
    HMODULE module = nullptr;
    const unsigned code = RunAndEnd(static_cast<WorkerThread*>(self), module);
    if (module) ::FreeLibraryAndExitThread(module, code);
    return code;
}

}  // namespace veltrane
