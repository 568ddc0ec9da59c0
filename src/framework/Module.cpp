#include "framework/Module.h"

#include <vector>

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

std::string ModuleFileName() {
    // Grow the buffer until the name fits: a result equal to the buffer size means it was
    // cut, and a cut path must never be used.
    std::vector<char> buffer(MAX_PATH);
    for (;;) {
        const DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD length = ::GetModuleFileNameA(ModuleInstance(), buffer.data(), size);
        if (length == 0) return std::string();
        if (length < size) return std::string(buffer.data(), length);
        if (size >= 32768) return std::string();
        buffer.resize(static_cast<std::size_t>(size) * 2);
    }
}

}  // namespace veltrane
