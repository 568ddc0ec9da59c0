#pragma once
// Every entry from the shell that reaches windows, resources or the framework runs
// inside this scope, so that the module's own activation context (manifest resource 2)
// is the active one rather than that of the host process.

#include <windows.h>

namespace veltrane {

class ModuleStateScope {
public:
    ModuleStateScope() noexcept;
    ~ModuleStateScope();
    ModuleStateScope(const ModuleStateScope&) = delete;
    ModuleStateScope& operator=(const ModuleStateScope&) = delete;

    // True when an activation context was activated by this scope.
    bool Active() const noexcept { return m_active; }

private:
    ULONG_PTR m_cookie = 0;
    bool m_active = false;
};

// The module's activation context, created on first use (never under the loader lock);
// INVALID_HANDLE_VALUE when the module has no usable manifest resource 2.
HANDLE ModuleActivationContext() noexcept;

}  // namespace veltrane
