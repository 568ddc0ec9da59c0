#include "cli/ConsoleOutput.h"

#include <windows.h>

#include "wipe/Unicode.h"

namespace veltrane {
namespace {

bool IsConsole(HANDLE stream) {
    DWORD mode = 0;
    return stream != nullptr && stream != INVALID_HANDLE_VALUE && ::GetConsoleMode(stream, &mode);
}

std::wstring Wide(const std::string& text) {
    std::u16string units;
    if (!Utf8ToUtf16(text, units)) {
        // Only valid text is written; should anything else come, show it byte by byte.
        return std::wstring(text.begin(), text.end());
    }
    return std::wstring(units.begin(), units.end());
}

}  // namespace

ConsoleOutput::ConsoleOutput()
    : m_out(::GetStdHandle(STD_OUTPUT_HANDLE)),
      m_err(::GetStdHandle(STD_ERROR_HANDLE)),
      m_outConsole(IsConsole(static_cast<HANDLE>(m_out))),
      m_errConsole(IsConsole(static_cast<HANDLE>(m_err))) {}

ConsoleOutput::~ConsoleOutput() {
    std::lock_guard<std::mutex> guard(m_lock);
    ClearProgress();
}

void ConsoleOutput::Write(void* stream, bool console, const std::string& text) {
    const HANDLE handle = static_cast<HANDLE>(stream);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE || text.empty()) return;
    if (console) {
        std::wstring wide = Wide(text);
        const wchar_t* at = wide.c_str();
        DWORD left = static_cast<DWORD>(wide.size());
        while (left > 0) {
            DWORD written = 0;
            if (!::WriteConsoleW(handle, at, left, &written, nullptr) || written == 0) return;
            at += written;
            left -= written;
        }
        return;
    }
    const char* at = text.data();
    DWORD left = static_cast<DWORD>(text.size());
    while (left > 0) {
        DWORD written = 0;
        if (!::WriteFile(handle, at, left, &written, nullptr) || written == 0) return;
        at += written;
        left -= written;
    }
}

void ConsoleOutput::ClearProgress() {
    if (m_progressShown == 0) return;
    std::wstring blank = L"\r" + std::wstring(m_progressShown, L' ') + L"\r";
    DWORD written = 0;
    ::WriteConsoleW(static_cast<HANDLE>(m_err), blank.c_str(), static_cast<DWORD>(blank.size()),
                    &written, nullptr);
    m_progressShown = 0;
}

void ConsoleOutput::Out(const std::string& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    // Both streams may be the same console: the progress line goes first.
    if (m_outConsole) ClearProgress();
    Write(m_out, m_outConsole, text);
}

void ConsoleOutput::Err(const std::string& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    ClearProgress();
    Write(m_err, m_errConsole, text);
}

void ConsoleOutput::Progress(const std::string& line) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_errConsole) return;
    if (line.empty()) {
        ClearProgress();
        return;
    }
    // One line of the console, never wrapped: a long path keeps its end, the file's name.
    std::size_t width = 80;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (::GetConsoleScreenBufferInfo(static_cast<HANDLE>(m_err), &info) && info.dwSize.X > 1) {
        width = static_cast<std::size_t>(info.dwSize.X);
    }
    std::wstring wide = Wide(line);
    const std::size_t room = width - 1;
    if (wide.size() > room) {
        const std::size_t head = wide.find(L"% ");
        const std::size_t keepHead = head == std::wstring::npos ? 0 : head + 2;
        if (room > keepHead + 3) {
            wide = wide.substr(0, keepHead) + L"..." +
                   wide.substr(wide.size() - (room - keepHead - 3));
        } else {
            wide.resize(room);
        }
    }
    std::wstring text = L"\r" + wide;
    if (wide.size() < m_progressShown) text += std::wstring(m_progressShown - wide.size(), L' ');
    DWORD written = 0;
    ::WriteConsoleW(static_cast<HANDLE>(m_err), text.c_str(), static_cast<DWORD>(text.size()),
                    &written, nullptr);
    m_progressShown = wide.size() > m_progressShown ? wide.size() : m_progressShown;
}

}  // namespace veltrane
