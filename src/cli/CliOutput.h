#pragma once
// Where the program's text goes. The Windows console implementation writes wide text to a
// console and UTF-8 to files and pipes; tests capture it.

#include <string>

namespace veltrane {

class CliOutput {
public:
    virtual ~CliOutput() = default;
    // Standard output and standard error, UTF-8 text with '\n' line ends.
    virtual void Out(const std::string& text) = 0;
    virtual void Err(const std::string& text) = 0;
    // Whether standard error is a console that can show a progress line.
    virtual bool CanShowProgress() const = 0;
    // Replaces the progress line on standard error; an empty line clears it.
    virtual void Progress(const std::string& line) = 0;
};

}  // namespace veltrane
