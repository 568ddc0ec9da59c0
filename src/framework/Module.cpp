#include "framework/Module.h"

#include <vector>

#include "framework/WideText.h"

namespace veltrane {

namespace {

HINSTANCE LookUpModule() noexcept {
    // The module that holds this function: right both inside veltrane.dll and in a program
    // that links the core library statically. The module is not pinned or counted.
    HMODULE module = nullptr;
    if (!::GetModuleHandleExA(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCSTR>(&LookUpModule), &module)) {
        return nullptr;
    }
    return module;
}

}  // namespace

HINSTANCE ModuleInstance() noexcept {
    static const HINSTANCE instance = LookUpModule();
    return instance;
}

HINSTANCE ResourceInstance() noexcept {
    return ModuleInstance();
}

std::wstring ModuleFileNameW() {
    // Grow the buffer until the name fits: a result equal to the buffer size means it was
    // cut, and a cut path must never be used.
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

std::wstring ModuleSiblingW(const wchar_t* name) {
    const std::wstring module = ModuleFileNameW();
    const std::size_t folderEnd = module.find_last_of(L"\\/");
    if (folderEnd == std::wstring::npos) return std::wstring();
    return module.substr(0, folderEnd + 1) + name;
}

std::string ModuleFileName() {
    std::string path;
    return ToUtf8(ModuleFileNameW(), path) ? path : std::string();
}

}  // namespace veltrane
