#pragma once
// Hands a web address to the shell, which opens it in the user's browser.

#include <string>

namespace veltrane {

// Failures (no browser registered, empty address) are not reported: always returns true.
bool OpenUrl(std::string url);

}  // namespace veltrane
