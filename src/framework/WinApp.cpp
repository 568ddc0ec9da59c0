#include "framework/WinApp.h"

#include "framework/Module.h"

namespace veltrane {

namespace {

CWinApp* g_app = nullptr;
// True between a successful InitInstance and the ExitInstance that ends it.
bool g_running = false;

}  // namespace

CWinApp::CWinApp(const char* appName) : m_appName(appName) {
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) g_app = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

std::string CWinApp::AppName() const {
    if (m_appName) return m_appName;
    const std::string path = ModuleFileName();
    const std::size_t slash = path.find_last_of("\\/");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot != 0) name.erase(dot);
    return name;
}

CWinApp* CurrentApp() noexcept {
    return g_app;
}

BOOL AppProcessAttach(HINSTANCE) noexcept {
    CWinApp* app = g_app;
    if (!app || g_running) return TRUE;
    try {
        if (app->InitInstance()) {
            g_running = true;
            return TRUE;
        }
    } catch (...) {
        // Fall through: a failed start fails the load.
    }
    try {
        app->ExitInstance();
    } catch (...) {
    }
    return FALSE;
}

void AppProcessDetach() noexcept {
    if (!g_running) return;
    g_running = false;
    if (CWinApp* app = g_app) {
        try {
            app->ExitInstance();
        } catch (...) {
            // Nothing can be reported while the module goes away.
        }
    }
}

}  // namespace veltrane
