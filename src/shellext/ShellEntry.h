#pragma once
// The one way a call from the shell enters the module: inside the module-state scope, and
// with nothing thrown back across the COM boundary.

#include <utility>

#include "framework/ExceptionReport.h"
#include "framework/ModuleStateScope.h"

namespace veltrane {

// Runs `body` inside the module-state scope and returns its result; an exception answers
// `onError` (E_OUTOFMEMORY for an allocation failure). Only the methods that act on a
// click (InvokeCommand, Invoke) pass EdgeReport::Show; every query logs, since the shell
// asks those while the user only moves the mouse over the menu.
template <class Body>
HRESULT ShellEntry(HRESULT onError, Body&& body, EdgeReport report = EdgeReport::Log) noexcept {
    HRESULT result = onError;
    switch (CatchAtEdge(
        [&] {
            ModuleStateScope scope;
            result = std::forward<Body>(body)();
        },
        report)) {
        case EdgeFault::None:
            return result;
        case EdgeFault::OutOfMemory:
            return E_OUTOFMEMORY;
        case EdgeFault::Other:
            break;
    }
    return onError;
}

}  // namespace veltrane
