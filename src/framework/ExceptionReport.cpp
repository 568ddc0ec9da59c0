#include "framework/ExceptionReport.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>

#include "framework/WinApp.h"

namespace veltrane {

const char kOutOfMemoryText[] = "Out of memory.";
const char kInvalidArgumentText[] = "An invalid argument was encountered.";

namespace {

void ShowMessageBox(const char* text) {
    std::string caption = "Veltrane";
    try {
        if (const CWinApp* app = CurrentApp()) caption = app->AppName();
    } catch (...) {
        // Keep the fixed caption; the report itself matters more.
    }
    ::MessageBoxA(::GetActiveWindow(), text, caption.c_str(), MB_OK | MB_ICONEXCLAMATION);
}

std::atomic<FrameworkReportSink> g_sink{&ShowMessageBox};

void Report(const char* text) noexcept {
    try {
        g_sink.load()(text);
    } catch (...) {
        // A report must never become a new failure.
    }
}

}  // namespace

const char* FrameworkExceptionText(const std::exception& e) noexcept {
    // A size beyond what can be allocated is an allocation failure too.
    if (dynamic_cast<const std::bad_alloc*>(&e) || dynamic_cast<const std::length_error*>(&e)) {
        return kOutOfMemoryText;
    }
    return kInvalidArgumentText;
}

void ReportFrameworkException(const std::exception& e) noexcept {
    Report(FrameworkExceptionText(e));
}

void ReportUnknownException() noexcept {
    Report(kInvalidArgumentText);
}

void ReportFrameworkText(const char* text) noexcept {
    Report(text);
}

void LogFrameworkException(const char* text) noexcept {
    char line[128];
    std::snprintf(line, sizeof line, "Veltrane: %s\n", text);
    ::OutputDebugStringA(line);
}

FrameworkReportSink SetFrameworkReportSink(FrameworkReportSink sink) noexcept {
    return g_sink.exchange(sink ? sink : &ShowMessageBox);
}

}  // namespace veltrane
