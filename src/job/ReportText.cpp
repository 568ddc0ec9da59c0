#include "job/ReportText.h"

#include <windows.h>

#include "framework/WideText.h"
#include "wipe/Paths.h"

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

namespace {

// The system's errors a user meets most, in words that say what to do about them.
struct ErrorWords {
    std::uint32_t code;
    const wchar_t* words;
};

constexpr ErrorWords kErrorWords[] = {
    {ERROR_SHARING_VIOLATION, L"another program has it open; close that program and try again"},
    {ERROR_LOCK_VIOLATION, L"another program has locked part of it"},
    {ERROR_ACCESS_DENIED, L"it is read-only, or you may not change it"},
    {ERROR_DIR_NOT_EMPTY, L"something in it stayed (see the lines above)"},
    {ERROR_FILE_NOT_FOUND, L"it is no longer there"},
    {ERROR_PATH_NOT_FOUND, L"it is no longer there"},
    {ERROR_DISK_FULL, L"the drive is full"},
    {ERROR_WRITE_PROTECT, L"the drive is write-protected"},
    {ERROR_WRITE_FAULT, L"the drive reported an error while it was written"},
    {ERROR_FILE_INVALID, L"another file was put in its place while it was wiped"},
};

const wchar_t* WordsFor(std::uint32_t code) {
    for (const ErrorWords& row : kErrorWords) {
        if (row.code == code) return row.words;
    }
    return nullptr;
}

std::wstring Passes(std::int32_t count) {
    return std::to_wstring(count) + (count == 1 ? L" complete pass" : L" complete passes");
}

std::wstring OutcomeOf(const WipeFailure& failure) {
    switch (failure.problem) {
        case WipeProblem::WipedUnderOwnName:
            return L"wiped, under its own name";
        case WipeProblem::FileNotWiped:
        case WipeProblem::Cancelled:
            if (!failure.leftAs.empty()) {
                // Its random name, in its own folder (the item's).
                return L"left partly wiped as " + WideForDisplay(LastComponent(failure.leftAs)) +
                       L", after " + Passes(failure.passesDone);
            }
            if (failure.passesDone > 0) {
                return L"left partly wiped, after " + Passes(failure.passesDone);
            }
            return failure.problem == WipeProblem::Cancelled ? L"left partly overwritten"
                                                             : L"left as it was";
        case WipeProblem::FolderNotOpened:
        case WipeProblem::FolderNotRemoved:
        case WipeProblem::FolderNotListed:
        case WipeProblem::FolderStreamsNotWiped:
        case WipeProblem::LinkNotRemoved:
            return L"kept";
        default:
            return L"not touched";
    }
}

std::wstring WhyOf(const WipeFailure& failure) {
    // A file or folder the system refused: its reason is the system's, in our words.
    if (const wchar_t* words = WordsFor(failure.error)) {
        if (failure.problem == WipeProblem::FileNotWiped ||
            failure.problem == WipeProblem::FolderNotRemoved ||
            failure.problem == WipeProblem::FolderNotOpened ||
            failure.problem == WipeProblem::LinkNotRemoved ||
            failure.problem == WipeProblem::NotFound) {
            return words;
        }
    }
    std::wstring why = WideForDisplay(ProblemText(failure.problem));
    const std::wstring message = SystemMessage(failure.error);
    if (!message.empty()) {
        why += L": " + message;
    } else if (failure.error != 0) {
        why += L" (error " + std::to_wstring(failure.error) + L")";
    }
    return why;
}

}  // namespace

std::vector<ReportRow> ReportRows(const WipeFailures& failures) {
    std::vector<ReportRow> rows;
    rows.reserve(failures.size());
    for (const WipeFailure& failure : failures) {
        rows.push_back(
            ReportRow{WideForDisplay(failure.path.empty() ? "(a name the shell could not deliver)"
                                                          : failure.path),
                      OutcomeOf(failure), WhyOf(failure)});
    }
    return rows;
}

std::wstring ReportLines(const std::vector<ReportRow>& rows) {
    std::wstring lines;
    for (const ReportRow& row : rows) {
        lines += row.item + L"\t" + row.outcome + L"\t" + row.why + L"\r\n";
    }
    return lines;
}

}  // namespace veltrane
