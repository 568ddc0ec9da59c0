#include "shellext/HelpLauncher.h"

#include <htmlhelp.h>

#include "framework/Handles.h"
#include "framework/Module.h"
#include "framework/WideText.h"

namespace veltrane {
namespace {

constexpr DWORD kPathBuffer = MAX_PATH;  // 260, terminator included
constexpr char kControlKey[] = "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";
constexpr char kControlName[] = "hhctrl.ocx";
constexpr WORD kHtmlHelpWOrdinal = 15;

HtmlHelpSource& PlatformSource() {
    static HtmlHelpSource source;
    return source;
}

HtmlHelpBinding*& ModuleBinding() {
    // Leaked on purpose: the binding keeps the control loaded for the life of the module.
    static HtmlHelpBinding* binding = new HtmlHelpBinding(PlatformSource());
    return binding;
}

}  // namespace

std::string HelpFilePathFor(const std::string& moduleName) {
    if (moduleName.empty()) return {};
    std::string path = moduleName;
    // Only the last extension of the file name counts; a dot in a folder name is no extension.
    const std::size_t nameStart = path.find_last_of("\\/:");
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && (nameStart == std::string::npos || dot > nameStart)) {
        path.erase(dot);
    }
    path += ".chm";
    return path;
}

std::string GetHelpFilePath() {
    return HelpFilePathFor(ModuleFileName());
}

void ShowHelp(HWND hwnd) {
    std::wstring path;
    if (!ToWide(GetHelpFilePath(), path) || path.empty()) return;
    LoadHtmlHelp(hwnd, path.c_str(), HH_DISPLAY_TOPIC, 0);
}

HWND LoadHtmlHelp(HWND hwndCaller, LPCWSTR file, UINT command, DWORD_PTR data) {
    return ModuleBinding()->Call(hwndCaller, file, command, data);
}

void ResetHtmlHelpBinding(HtmlHelpSource* source) {
    HtmlHelpBinding*& binding = ModuleBinding();
    delete binding;
    binding = new HtmlHelpBinding(source ? *source : PlatformSource());
}

std::string HtmlHelpSource::RegisteredControlPath() {
    UniqueHKey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kControlKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return {};
    }
    // One byte is held back so that a value stored without its terminator still ends.
    char buffer[kPathBuffer] = {};
    DWORD size = kPathBuffer - 1;
    DWORD type = 0;
    if (::RegQueryValueExA(key.get(), "", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    if (type == REG_EXPAND_SZ) {
        char expanded[kPathBuffer] = {};
        const DWORD n = ::ExpandEnvironmentStringsA(buffer, expanded, kPathBuffer);
        return n > 0 && n <= kPathBuffer ? std::string(expanded) : std::string();
    }
    return type == REG_SZ ? std::string(buffer) : std::string();
}

HMODULE HtmlHelpSource::LoadControl(const char* pathOrName) {
    return ::LoadLibraryA(pathOrName);
}

HtmlHelpProc HtmlHelpSource::FindEntry(HMODULE control) {
    FARPROC entry = ::GetProcAddress(control, "HtmlHelpW");
    if (!entry) entry = ::GetProcAddress(control, MAKEINTRESOURCEA(kHtmlHelpWOrdinal));
    return reinterpret_cast<HtmlHelpProc>(reinterpret_cast<void*>(entry));
}

HWND HtmlHelpBinding::Call(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data) {
    if (m_failed) return nullptr;
    if (!m_control) {
        const std::string registered = m_source.RegisteredControlPath();
        if (!registered.empty()) m_control = m_source.LoadControl(registered.c_str());
        if (!m_control) m_control = m_source.LoadControl(kControlName);
        if (!m_control) {
            m_failed = true;
            return nullptr;
        }
    }
    if (!m_entry) {
        m_entry = m_source.FindEntry(m_control);
        if (!m_entry) {
            m_failed = true;
            return nullptr;
        }
    }
    return m_entry(caller, file, command, data);
}

}  // namespace veltrane
