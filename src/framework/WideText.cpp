#include "framework/WideText.h"

#include <windows.h>

namespace veltrane {

bool ToWide(const std::string& utf8, std::wstring& wide) {
    if (utf8.empty()) {
        wide.clear();
        return true;
    }
    const int size = static_cast<int>(utf8.size());
    const int n =
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
    if (n <= 0) return false;
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, &out[0], n) != n) {
        return false;
    }
    wide.swap(out);
    return true;
}

bool ToUtf8(const std::wstring& wide, std::string& utf8) {
    if (wide.empty()) {
        utf8.clear();
        return true;
    }
    const int size = static_cast<int>(wide.size());
    const int n = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, nullptr,
                                        0, nullptr, nullptr);
    if (n <= 0) return false;
    std::string out(static_cast<std::size_t>(n), '\0');
    if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide.data(), size, &out[0], n, nullptr,
                              nullptr) != n) {
        return false;
    }
    utf8.swap(out);
    return true;
}

std::wstring WideForDisplay(const std::string& utf8) {
    std::wstring wide;
    if (ToWide(utf8, wide)) return wide;
    const int size = static_cast<int>(utf8.size());
    const int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    if (n <= 0) return std::wstring();
    wide.assign(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], n);
    return wide;
}

std::string WideToShown(const std::wstring& wide) {
    std::string utf8;
    if (ToUtf8(wide, utf8)) return utf8;
    const int size = static_cast<int>(wide.size());
    const int n =
        ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return std::string();
    utf8.assign(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, &utf8[0], n, nullptr, nullptr);
    return utf8;
}

}  // namespace veltrane
