#pragma once
// The framework's standard report for its own exceptions: a message box saying
// "Out of memory." or "An invalid argument was encountered.".

#include <exception>
#include <utility>

namespace veltrane {

extern const char kOutOfMemoryText[];      // "Out of memory."
extern const char kInvalidArgumentText[];  // "An invalid argument was encountered."

// The text reported for `e`: out of memory for allocation failures (std::bad_alloc,
// std::length_error), the invalid-argument text for everything else
// (std::out_of_range, std::invalid_argument, ...).
const char* FrameworkExceptionText(const std::exception& e) noexcept;

// Shows the standard message box for `e`.
void ReportFrameworkException(const std::exception& e) noexcept;
// For something that is not a std::exception.
void ReportUnknownException() noexcept;
// The standard report of one of the texts above.
void ReportFrameworkText(const char* text) noexcept;

// Where reports go; by default a message box. Tests install their own sink to read the
// text back without a window. Returns the previous sink.
using FrameworkReportSink = void (*)(const char* text);
FrameworkReportSink SetFrameworkReportSink(FrameworkReportSink sink) noexcept;

// How an edge reports an exception it stops: with the standard report, or with a line for
// the debugger only. A query the shell makes while the user merely moves the mouse over a
// menu (a caption, a help text, a state) must never put a box up.
enum class EdgeReport { Show, Log };

// The debugger's line for an exception stopped at an edge that does not show it.
void LogFrameworkException(const char* text) noexcept;

// What an edge stopped: nothing, an allocation failure, anything else.
enum class EdgeFault { None, OutOfMemory, Other };

// The one place where an exception is stopped at an edge (a COM method, a window or
// dialog procedure, a timer): runs `f`, reports what it raises as `report` says, and lets
// nothing travel further.
template <class F>
EdgeFault CatchAtEdge(F&& f, EdgeReport report) noexcept {
    const char* text = kInvalidArgumentText;
    EdgeFault fault = EdgeFault::Other;
    try {
        std::forward<F>(f)();
        return EdgeFault::None;
    } catch (const std::exception& e) {
        text = FrameworkExceptionText(e);
        if (text == kOutOfMemoryText) fault = EdgeFault::OutOfMemory;
    } catch (...) {
    }
    if (report == EdgeReport::Show) {
        ReportFrameworkText(text);
    } else {
        LogFrameworkException(text);
    }
    return fault;
}

// Runs `f`; an exception it raises is reported and does not travel further.
// Returns false when something was reported.
template <class F>
bool GuardFrameworkCall(F&& f) noexcept {
    return CatchAtEdge(std::forward<F>(f), EdgeReport::Show) == EdgeFault::None;
}

}  // namespace veltrane
