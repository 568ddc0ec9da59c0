#pragma once
// The Help command: opens <module name>.chm through the HTML Help control, which is bound at
// run time (the module does not import it) on the first Help command.

#include <windows.h>

#include <string>

namespace veltrane {

using HtmlHelpProc = HWND(WINAPI*)(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);

// The help file path for a module's full file name (UTF-8): the last extension replaced by
// ".chm". Empty when the name is missing.
std::string HelpFilePathFor(const std::string& moduleName);

// The help file beside this module (UTF-8), or empty.
std::string GetHelpFilePath();

// Opens the help file at its default topic, owned by hwnd. Reports nothing.
void ShowHelp(HWND hwnd);

// HtmlHelpW through the module's binding; 0 when the control is not available.
HWND LoadHtmlHelp(HWND hwndCaller, LPCWSTR file, UINT command, DWORD_PTR data);

// The platform steps of binding the control. Replaceable so that what is tried, and how
// often, can be observed.
class HtmlHelpSource {
public:
    virtual ~HtmlHelpSource() = default;
    // Where the control's class is registered as installed; empty if unknown.
    virtual std::string RegisteredControlPath();
    virtual HMODULE LoadControl(const char* pathOrName);
    // HtmlHelpW (by name, else by its ordinal 15): the wide entry reaches a help file in
    // any folder.
    virtual HtmlHelpProc FindEntry(HMODULE control);
};

// One binding of the control: made on the first call and kept. After a failed load or a
// missing entry point it is latched and never tries again.
class HtmlHelpBinding {
public:
    explicit HtmlHelpBinding(HtmlHelpSource& source) : m_source(source) {}
    HtmlHelpBinding(const HtmlHelpBinding&) = delete;
    HtmlHelpBinding& operator=(const HtmlHelpBinding&) = delete;

    HWND Call(HWND caller, LPCWSTR file, UINT command, DWORD_PTR data);
    bool Failed() const { return m_failed; }

private:
    HtmlHelpSource& m_source;
    // Never freed: help windows live on after the call that opened them.
    HMODULE m_control = nullptr;
    HtmlHelpProc m_entry = nullptr;
    bool m_failed = false;
};

// Starts the module's binding afresh on source (null: the platform). The caller keeps source
// alive while it is in use.
void ResetHtmlHelpBinding(HtmlHelpSource* source);

}  // namespace veltrane
