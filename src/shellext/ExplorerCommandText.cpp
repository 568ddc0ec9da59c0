#include "shellext/ExplorerCommandText.h"

#include <objbase.h>

#include <cstring>
#include <vector>

#include "framework/Module.h"
#include "resource.h"

namespace veltrane {

namespace {

HRESULT CopyWide(const wchar_t* text, std::size_t length, LPWSTR* out) noexcept {
    auto* copy = static_cast<LPWSTR>(::CoTaskMemAlloc((length + 1) * sizeof(wchar_t)));
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy, text, length * sizeof(wchar_t));
    copy[length] = L'\0';
    *out = copy;
    return S_OK;
}

}  // namespace

HRESULT CoTaskText(const std::wstring& text, LPWSTR* out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    return CopyWide(text.c_str(), text.size(), out);
}

HRESULT CoTaskText(const char* text, LPWSTR* out) noexcept {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!text) return E_INVALIDARG;
    const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
    if (length <= 0) return E_INVALIDARG;
    auto* copy =
        static_cast<LPWSTR>(::CoTaskMemAlloc(static_cast<std::size_t>(length) * sizeof(wchar_t)));
    if (!copy) return E_OUTOFMEMORY;
    ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, copy, length);
    *out = copy;
    return S_OK;
}

std::wstring ModuleFileNameWide() {
    // A result that fills the buffer may have been cut: grow until the name fits.
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetModuleFileNameW(ModuleInstance(), buffer.data(), size);
        if (length == 0) return std::wstring();
        if (length < size) return std::wstring(buffer.data(), length);
        if (size >= 32768) return std::wstring();
        buffer.resize(static_cast<std::size_t>(size) * 2);
    }
}

std::wstring MenuIconLocation() {
    const std::wstring module = ModuleFileNameWide();
    if (module.empty()) return module;
    // A negative index names the icon by its resource identifier.
    return module + L",-" + std::to_wstring(IDI_MENU_ICON);
}

}  // namespace veltrane
