#pragma once
// The one way a call from the shell enters the module: inside the module-state scope, and
// with nothing thrown back across the COM boundary.

#include <exception>
#include <new>
#include <utility>

#include "framework/ExceptionReport.h"
#include "framework/ModuleStateScope.h"

namespace veltrane {

// Runs `body` inside the module-state scope and returns its result. A framework exception
// is reported the way the framework reports it, and the call answers `onError`
// (E_OUTOFMEMORY for an allocation failure).
template <class Body>
HRESULT ShellEntry(HRESULT onError, Body&& body) noexcept {
    try {
        ModuleStateScope scope;
        return std::forward<Body>(body)();
    } catch (const std::bad_alloc& e) {
        ReportFrameworkException(e);
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        ReportFrameworkException(e);
    } catch (...) {
        ReportUnknownException();
    }
    return onError;
}

}  // namespace veltrane
