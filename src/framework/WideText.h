#pragma once
// Text crosses into the wide Windows functions here. Inside, text is UTF-8; a path must
// convert exactly or not at all, while text only shown may carry replacement characters.

#include <string>

namespace veltrane {

// Exact conversions; false (output unchanged) when the text has no exact form.
bool ToWide(const std::string& utf8, std::wstring& wide);
bool ToUtf8(const std::wstring& wide, std::string& utf8);

// For showing only: what cannot be converted becomes U+FFFD.
std::wstring WideForDisplay(const std::string& utf8);
std::string WideToShown(const std::wstring& wide);

}  // namespace veltrane
