#include "shellext/PackagedMenu.h"

#include <windows.h>

#include <cstdint>

namespace veltrane {

bool PackagedMenuServesThisUser() noexcept {
#ifdef _WIN64
    wchar_t family[256] = {};
    DWORD size = sizeof family;
    if (::RegGetValueW(HKEY_LOCAL_MACHINE, L"Software\\Veltrane", L"PackageFamilyName",
                       RRF_RT_REG_SZ, nullptr, family, &size) != ERROR_SUCCESS ||
        family[0] == L'\0') {
        return false;
    }
    // Windows 8 and later; asked for by name, so that the DLL still loads on Windows 7.
    using Query = LONG(WINAPI*)(PCWSTR, UINT32*, PWSTR*, UINT32*, WCHAR*);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto query = kernel ? reinterpret_cast<Query>(reinterpret_cast<void*>(
                                    ::GetProcAddress(kernel, "GetPackagesByPackageFamily")))
                              : nullptr;
    if (!query) return false;
    UINT32 count = 0;
    UINT32 length = 0;
    // With no room given it says how many there are: any at all means registered.
    const LONG result = query(family, &count, nullptr, &length, nullptr);
    return (result == ERROR_SUCCESS || result == ERROR_INSUFFICIENT_BUFFER) && count > 0;
#else
    return false;
#endif
}

}  // namespace veltrane
