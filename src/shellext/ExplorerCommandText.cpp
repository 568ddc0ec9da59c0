#include "shellext/ExplorerCommandText.h"

#include <objbase.h>

#include <cstring>

#include "framework/Module.h"
#include "framework/WideText.h"
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
    try {
        std::wstring wide;
        if (!ToWide(text, wide)) return E_INVALIDARG;
        return CopyWide(wide.c_str(), wide.size(), out);
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}

std::wstring MenuIconLocation() {
    const std::wstring module = ModuleFileNameW();
    if (module.empty()) return module;
    // A negative index names the icon by its resource identifier.
    return module + L",-" + std::to_wstring(IDI_MENU_ICON);
}

}  // namespace veltrane
