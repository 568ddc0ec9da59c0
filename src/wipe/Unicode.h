#pragma once
// Exact conversions between UTF-8 (the engine's paths) and UTF-16 (Windows' wide
// functions). Nothing is approximated: an invalid or overlong sequence, a surrogate coded
// in UTF-8, or an unpaired surrogate in UTF-16 makes the conversion fail, so a name is
// either reached exactly or not at all.

#include <cstddef>
#include <string>

namespace veltrane {

bool Utf8ToUtf16(const std::string& in, std::u16string& out);
bool Utf16ToUtf8(const std::u16string& in, std::string& out);

// Length in UTF-16 code units of valid UTF-8 text (what Windows counts in a name).
std::size_t Utf16Length(const std::string& utf8);

}  // namespace veltrane
