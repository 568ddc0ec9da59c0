#pragma once
// The application object: one global per module, constructed by static initialisation.
// The module's entry point starts it at process attach (InitInstance, before any COM
// object exists) and stops it at process detach (ExitInstance).

#include <windows.h>

#include <string>

namespace veltrane {

class CWinApp {
public:
    // A null name means the module's base file name (as the platform framework does).
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Returning FALSE fails the module's load.
    virtual BOOL InitInstance();
    virtual int ExitInstance();

    // Caption of the framework's message boxes.
    std::string AppName() const;

private:
    const char* m_appName;
};

// The application object of this module, or null when there is none.
CWinApp* CurrentApp() noexcept;

// Called by the module's entry point. Attach runs InitInstance; when that fails it runs
// ExitInstance at once and returns FALSE (the load fails). Detach runs ExitInstance when
// InitInstance had succeeded. Both run under the loader lock: InitInstance and
// ExitInstance must do nothing that loads modules, waits on other threads or creates
// windows.
BOOL AppProcessAttach(HINSTANCE instance) noexcept;
void AppProcessDetach() noexcept;

}  // namespace veltrane
