#include "framework/MessagePump.h"

#include "framework/Dialog.h"
#include "framework/ModuleStateScope.h"

namespace veltrane {

namespace {

constexpr DWORD kPumpLimitMs = 200;

// A WM_QUIT taken by PumpMessage, waiting to be put back (per thread: each thread has
// its own queue).
thread_local bool t_quitTaken = false;
thread_local WPARAM t_quitCode = 0;
thread_local const MSG* t_dispatching = nullptr;

}  // namespace

BOOL PreTranslateMessage(MSG* msg) {
    for (HWND hwnd = msg->hwnd; hwnd;) {
        if (CDialog* dialog = CDialog::FromHandle(hwnd)) {
            if (dialog->PreTranslateMessage(msg)) return TRUE;
        }
        // Children pass the message on to their parent; a top-level window ends the walk.
        if (!(::GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD)) break;
        hwnd = ::GetParent(hwnd);
    }
    return FALSE;
}

BOOL PumpMessage() {
    MSG msg{};
    const BOOL got = ::GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
        // The owner of the thread asked to quit; the wait that pumps us must not swallow it.
        t_quitTaken = true;
        t_quitCode = msg.wParam;
        return FALSE;
    }
    if (got == -1) return FALSE;
    if (!PreTranslateMessage(&msg)) {
        ::TranslateMessage(&msg);
        const MSG* const outer = t_dispatching;
        t_dispatching = &msg;
        ::DispatchMessageA(&msg);
        t_dispatching = outer;
    }
    return TRUE;
}

const MSG* MessageBeingDispatched() noexcept {
    return t_dispatching;
}

void PumpPendingMessages() {
    ModuleStateScope scope;
    const DWORD start = ::GetTickCount();
    MSG msg{};
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE)) {
        // Unsigned difference: the tick counter's wrap does no harm.
        if (::GetTickCount() - start >= kPumpLimitMs) break;
        if (!PumpMessage()) break;
    }
}

void RepostQuitMessage() {
    if (!t_quitTaken) return;
    t_quitTaken = false;
    ::PostQuitMessage(static_cast<int>(t_quitCode));
}

}  // namespace veltrane
