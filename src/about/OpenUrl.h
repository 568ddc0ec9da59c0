#pragma once
// Hands a web address to the shell, which opens it in the user's browser.

#include <string>

namespace veltrane {

// Whether the shell took the address (false: no browser registered, an empty address).
// The About dialog stays usable either way and tells the user nothing.
bool OpenUrl(const std::string& url);

}  // namespace veltrane
