#include "job/ReportText.h"

#include <windows.h>

#include "framework/WideText.h"

namespace veltrane {

std::wstring ReportSummary(std::size_t count, bool cancelled, std::size_t untouched) {
    // Only notes: what was reached went, and the lines say how.
    const std::wstring what = count == 0 ? std::wstring()
                              : count == 1
                                  ? L"1 item could not be wiped. "
                                  : std::to_wstring(count) + L" items could not be wiped. ";
    const std::wstring lines = count == 0 ? L"Notes on how it went:" : L"What was left, and why:";
    if (cancelled) {
        // "Everything else" would claim the items the cancel left untouched.
        const std::wstring unstarted =
            untouched == 0   ? std::wstring()
            : untouched == 1 ? L"1 selected item was not started and is untouched. "
                             : std::to_wstring(untouched) +
                                   L" selected items were not started and are untouched. ";
        return L"The wipe was cancelled: what it had not reached yet was left as it was. " +
               unstarted + what + lines;
    }
    return what + (count == 0 ? L"Everything was wiped. " : L"Everything else was wiped. ") + lines;
}

std::wstring SystemMessage(std::uint32_t code) {
    if (code == 0) return std::wstring();
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = n > 0 && text ? std::wstring(text, n) : std::wstring();
    if (text) ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    return message;
}

std::wstring ReportLines(const WipeFailures& failures) {
    std::wstring lines;
    for (const WipeFailure& failure : failures) {
        lines += WideForDisplay(failure.path.empty() ? "(a name the shell could not deliver)"
                                                     : failure.path);
        lines += L" - ";
        lines += WideForDisplay(ProblemText(failure.problem));
        const std::wstring message = SystemMessage(failure.error);
        if (!message.empty()) {
            lines += L": " + message;
        } else if (failure.error != 0) {
            lines += L" (error " + std::to_wstring(failure.error) + L")";
        }
        const std::wstring passes =
            std::to_wstring(failure.passesDone) +
            (failure.passesDone == 1 ? L" complete pass" : L" complete passes");
        if (!failure.leftAs.empty()) {
            lines += L". It was left as " + WideForDisplay(failure.leftAs) + L" after " + passes;
        } else if (failure.passesDone > 0) {
            lines += L". It keeps its name, after " + passes;
        }
        lines += L"\r\n";
    }
    return lines;
}

}  // namespace veltrane
