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

// Where reports go; by default a message box. Tests install their own sink to read the
// text back without a window. Returns the previous sink.
using FrameworkReportSink = void (*)(const char* text);
FrameworkReportSink SetFrameworkReportSink(FrameworkReportSink sink) noexcept;

// Runs `f`; an exception it raises is reported and does not travel further.
// Returns false when something was reported.
template <class F>
bool GuardFrameworkCall(F&& f) noexcept {
    try {
        std::forward<F>(f)();
        return true;
    } catch (const std::exception& e) {
        ReportFrameworkException(e);
    } catch (...) {
        ReportUnknownException();
    }
    return false;
}

}  // namespace veltrane
