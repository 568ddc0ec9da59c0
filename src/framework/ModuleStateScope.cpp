#include "framework/ModuleStateScope.h"

#include <string>

#include "framework/Handles.h"
#include "framework/Module.h"

namespace veltrane {

namespace {

UniqueActCtx CreateModuleContext() noexcept {
    std::wstring file;
    try {
        file = ModuleFileNameW();
    } catch (...) {
        return UniqueActCtx();
    }
    ACTCTXW request = {};
    request.cbSize = sizeof(request);
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID;
    request.lpSource = file.empty() ? nullptr : file.c_str();
    request.lpResourceName = MAKEINTRESOURCEW(2);  // the module's manifest
    request.hModule = ResourceInstance();
    return UniqueActCtx(::CreateActCtxW(&request));
}

}  // namespace

HANDLE ModuleActivationContext() noexcept {
    // Made on first use rather than at process attach: creating an activation context
    // reads and parses the manifest, which is no work for the loader lock. The function's
    // static guard makes the creation happen once even with several shell threads.
    static const UniqueActCtx context = CreateModuleContext();
    return context.get();
}

ModuleStateScope::ModuleStateScope() noexcept {
    const HANDLE context = ModuleActivationContext();
    if (context != INVALID_HANDLE_VALUE && ::ActivateActCtx(context, &m_cookie)) m_active = true;
}

ModuleStateScope::~ModuleStateScope() {
    if (m_active) ::DeactivateActCtx(0, m_cookie);
}

}  // namespace veltrane
