#pragma once
// The framework's message pumping on the calling thread, for code that must keep its
// windows responsive while it waits for other work (the wipe job's wait loop).

#include <windows.h>

namespace veltrane {

// Gives the windows that `msg` concerns the chance to handle it before it is dispatched:
// from the window the message is for up through its parents, the first of our dialogs
// whose PreTranslateMessage takes it (a modeless dialog's Tab, Enter and Esc). Returns
// TRUE when the message has been handled and must not be dispatched.
BOOL PreTranslateMessage(MSG* msg);

// Retrieves one message of the calling thread (GetMessageA), pre-translates it, then
// translates and dispatches it. Returns FALSE when the message was WM_QUIT: the quit
// request is kept (see RepostQuitMessage) instead of being lost.
BOOL PumpMessage();

// The message that PumpMessage is dispatching on the calling thread right now (the
// innermost one when dispatching nests), or null. A timer procedure tells by it whether
// our own pump dispatched its message or a message loop nested inside a handler did (a
// modal dialog, a menu).
const MSG* MessageBeingDispatched() noexcept;

// Handles the calling thread's pending messages for at most 200 ms, inside the module's
// state scope. The limit is tested between messages; with an empty queue it returns at
// once.
void PumpPendingMessages();

// Puts back a WM_QUIT that PumpMessage took from the queue, so that the loop that owns
// the thread still sees it. Call when the wait that pumped is over; does nothing when no
// quit request was taken.
void RepostQuitMessage();

}  // namespace veltrane
