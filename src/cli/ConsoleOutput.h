#pragma once
// Standard output and error of a console program: wide text (WriteConsoleW) while a
// stream is a console, so every name shows as it is whatever the code page; UTF-8 bytes
// when it is redirected to a file or a pipe. Standard error shows the progress line
// only while it is a console.

#include <cstddef>
#include <mutex>
#include <string>

#include "cli/CliOutput.h"

namespace veltrane {

class ConsoleOutput : public CliOutput {
public:
    ConsoleOutput();
    // Clears a progress line still shown.
    ~ConsoleOutput() override;
    ConsoleOutput(const ConsoleOutput&) = delete;
    ConsoleOutput& operator=(const ConsoleOutput&) = delete;

    void Out(const std::string& text) override;
    void Err(const std::string& text) override;
    bool CanShowProgress() const override { return m_errConsole; }
    void Progress(const std::string& line) override;

private:
    void Write(void* stream, bool console, const std::string& text);
    void ClearProgress();

    void* m_out;
    void* m_err;
    bool m_outConsole;
    bool m_errConsole;
    std::size_t m_progressShown = 0;  // width of the progress line on the console, or 0
    std::mutex m_lock;
};

}  // namespace veltrane
