// veltrane-shellhost: plays Explorer's part for the context-menu extension.
//
//   veltrane-shellhost [--list | --invoke <offset> | --verb <text> | --popup <ms>]
//                      [--flags N] path...
//
// It finds the extension the way the shell does (the "*" class's context-menu handler
// key, then the class identifier, then CoCreateInstance in-process), hands it a real
// shell data object for the paths (which must lie in one folder), lets it fill a popup
// menu and prints what it got. It can run one of the commands the way Explorer does when
// the user picks it, or show the real popup menu on a window of its own (submenu open) for
// a screenshot. Exit code 0 on success, 1 for a usage error, 2 when a step
// fails.

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/Handles.h"

namespace {

using veltrane::ComPtr;
using Pidl = veltrane::UniqueCoTaskMem<ITEMIDLIST>;

constexpr char kHandlerKey[] = "*\\shellex\\ContextMenuHandlers\\Veltrane";
// Explorer hands out command identifiers from 1 up.
constexpr UINT kFirstCommandId = 1;
constexpr UINT kLastCommandId = 0x7FFF;

enum class Action { List, Invoke, Verb, Popup };

struct Options {
    Action action = Action::List;
    UINT invokeOffset = 0;
    std::string verb;
    UINT popupMs = 0;
    UINT flags = CMF_NORMAL;
    std::vector<std::string> paths;
};

constexpr char kUsage[] =
    "usage: veltrane-shellhost [--list | --invoke <offset> | --verb <text> | --popup <ms>]\n"
    "                          [--flags N] path...\n"
    "  --list           print the menu the extension builds (default)\n"
    "  --invoke OFFSET  run the command at OFFSET from the first command id\n"
    "  --verb TEXT      ask the extension to run the command named TEXT\n"
    "  --popup MS       show the menu on a window with the submenu open; close it after MS\n"
    "                   milliseconds and run the command picked meanwhile, if any\n"
    "  --flags N        uFlags for QueryContextMenu (decimal or 0x hex; default 0)\n";

// Console output is slow under Wine: collect everything and write it once.
class Report {
public:
    void Line(const std::string& text) { m_text += text + "\n"; }
    void Flush() {
        std::fputs(m_text.c_str(), stdout);
        std::fflush(stdout);
        m_text.clear();
    }

private:
    std::string m_text;
};

std::string Hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08lx", value);
    return text;
}

bool ParseNumber(const char* text, UINT& value) {
    char* end = nullptr;
    const unsigned long parsed = std::strtoul(text, &end, 0);
    if (!*text || *end || parsed > 0xFFFFFFFFul) return false;
    value = static_cast<UINT>(parsed);
    return true;
}

bool ParseArguments(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--list") {
            options.action = Action::List;
        } else if (arg == "--invoke" && hasValue) {
            options.action = Action::Invoke;
            if (!ParseNumber(argv[++i], options.invokeOffset)) error = "bad offset";
        } else if (arg == "--verb" && hasValue) {
            options.action = Action::Verb;
            options.verb = argv[++i];
        } else if (arg == "--popup" && hasValue) {
            options.action = Action::Popup;
            if (!ParseNumber(argv[++i], options.popupMs)) error = "bad time";
        } else if (arg == "--flags" && hasValue) {
            if (!ParseNumber(argv[++i], options.flags)) error = "bad flags";
        } else if (arg.rfind("--", 0) == 0) {
            error = "unknown option " + arg;
        } else {
            options.paths.push_back(arg);
        }
        if (!error.empty()) return false;
    }
    if (options.paths.empty()) error = "no path given";
    return error.empty();
}

std::wstring Widen(const std::string& text) {
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], length);
    wide.resize(static_cast<std::size_t>(length - 1));
    return wide;
}

std::string FullPath(const std::string& path) {
    char full[MAX_PATH];
    const DWORD length = ::GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
    return length == 0 || length >= MAX_PATH ? path : std::string(full, length);
}

// The class registered as the context-menu handler for all files.
HRESULT FindHandlerClass(CLSID& clsid, std::string& text) {
    veltrane::UniqueHKey key;
    if (::RegOpenKeyExA(HKEY_CLASSES_ROOT, kHandlerKey, 0, KEY_READ, key.put()) != ERROR_SUCCESS) {
        return REGDB_E_CLASSNOTREG;
    }
    char value[MAX_PATH] = "";
    DWORD size = sizeof(value) - 1;
    DWORD type = 0;
    if (::RegQueryValueExA(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value),
                           &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return REGDB_E_INVALIDVALUE;
    }
    value[size] = '\0';
    text = value;
    std::wstring wide = Widen(text);
    return ::CLSIDFromString(&wide[0], &clsid);
}

// A data object as the shell itself makes it for a selection in one folder: the items'
// parent folder serves it for their child identifiers.
HRESULT CreateDataObject(const std::vector<std::string>& paths, Pidl& folderPidl,
                         ComPtr<IDataObject>& dataObject, std::string& error) {
    std::vector<Pidl> items;
    for (const std::string& path : paths) {
        Pidl item;
        const HRESULT parsed =
            ::SHParseDisplayName(Widen(path).c_str(), nullptr, item.put(), 0, nullptr);
        if (FAILED(parsed)) {
            error = "cannot parse " + path;
            return parsed;
        }
        items.push_back(std::move(item));
    }
    folderPidl.reset(ILClone(items.front().get()));
    if (!folderPidl || !ILRemoveLastID(folderPidl.get())) {
        error = "cannot find the folder of " + paths.front();
        return E_FAIL;
    }
    std::vector<PCUITEMID_CHILD> children;
    for (std::size_t i = 0; i < items.size(); ++i) {
        Pidl parent(ILClone(items[i].get()));
        if (!parent || !ILRemoveLastID(parent.get()) ||
            !ILIsEqual(parent.get(), folderPidl.get())) {
            error = "all paths must lie in one folder: " + paths[i];
            return E_INVALIDARG;
        }
        children.push_back(ILFindLastID(items[i].get()));
    }
    ComPtr<IShellFolder> folder;
    HRESULT result =
        ::SHBindToParent(items.front().get(), IID_IShellFolder, folder.PutVoid(), nullptr);
    if (SUCCEEDED(result)) {
        result = folder->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(),
                                       IID_IDataObject, nullptr, dataObject.PutVoid());
    }
    if (FAILED(result)) error = "the folder gives no data object";
    return result;
}

std::string Escaped(const char* text) {
    std::string out;
    for (; *text; ++text) {
        if (*text == '\t') {
            out += "\\t";
        } else {
            out += *text;
        }
    }
    return out;
}

// One line per item, popups followed by their items, indented.
void DescribeMenu(HMENU menu, int depth, Report& report) {
    const std::string indent(static_cast<std::size_t>(depth) * 2 + 2, ' ');
    const int count = ::GetMenuItemCount(menu);
    for (int position = 0; position < count; ++position) {
        char caption[512] = "";
        MENUITEMINFOA item = {};
        item.cbSize = sizeof(item);
        item.fMask = MIIM_FTYPE | MIIM_ID | MIIM_STRING | MIIM_SUBMENU | MIIM_CHECKMARKS;
        item.dwTypeData = caption;
        item.cch = sizeof(caption);
        if (!::GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, &item)) {
            report.Line(indent + "[" + std::to_string(position) + "] (unreadable)");
            continue;
        }
        std::string line = indent + "[" + std::to_string(position) + "] ";
        if (item.fType & MFT_SEPARATOR) {
            line += "separator id " + std::to_string(item.wID);
        } else {
            line += item.hSubMenu ? "popup" : "id " + std::to_string(item.wID);
            if (!item.hSubMenu && item.wID >= kFirstCommandId) {
                line += " (offset " + std::to_string(item.wID - kFirstCommandId) + ")";
            }
            line += " \"" + Escaped(caption) + "\"";
            if (item.hbmpChecked || item.hbmpUnchecked) line += " bitmap";
        }
        report.Line(line);
        if (item.hSubMenu) DescribeMenu(item.hSubMenu, depth + 1, report);
    }
}

// Runs a command as Explorer does when the user picks it: by its offset, or by a verb.
int Invoke(IContextMenu* menu, HWND owner, LPCSTR verb, const std::string& what, Report& report) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof(info);
    info.hwnd = owner;
    info.lpVerb = verb;
    info.nShow = SW_SHOWNORMAL;
    report.Flush();  // what came so far is visible while the command runs
    const HRESULT result = menu->InvokeCommand(&info);
    report.Line("InvokeCommand " + what + ": " + Hex(static_cast<unsigned long>(result)));
    return FAILED(result) ? 2 : 0;
}

constexpr UINT_PTR kOpenSubmenuTimer = 1;
constexpr UINT_PTR kCloseMenuTimer = 2;
constexpr UINT kOpenSubmenuAfterMs = 150;

// The popup's owner: opens the submenu by keyboard once the menu is up, as a user would,
// and closes the menu when the time is over.
LRESULT CALLBACK PopupOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER) {
        ::KillTimer(window, wParam);
        if (wParam == kOpenSubmenuTimer) {
            ::PostMessageA(window, WM_KEYDOWN, VK_DOWN, 0);
            ::PostMessageA(window, WM_KEYDOWN, VK_RIGHT, 0);
        } else if (wParam == kCloseMenuTimer) {
            ::EndMenu();
        }
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

// Shows the menu the extension filled at a fixed place over a window of the host's own.
int ShowPopup(IContextMenu* contextMenu, HMENU menu, UINT ms, Report& report) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = PopupOwnerProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.lpszClassName = "VeltraneShellHost";
    ::RegisterClassA(&windowClass);
    HWND owner = ::CreateWindowExA(0, windowClass.lpszClassName, "Veltrane shell host",
                                   WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 560, 400, nullptr,
                                   nullptr, windowClass.hInstance, nullptr);
    if (!owner) {
        report.Line("cannot create the host window");
        return 2;
    }
    ::UpdateWindow(owner);
    ::SetForegroundWindow(owner);
    ::SetTimer(owner, kOpenSubmenuTimer, kOpenSubmenuAfterMs, nullptr);
    ::SetTimer(owner, kCloseMenuTimer, ms, nullptr);
    const UINT chosen = static_cast<UINT>(::TrackPopupMenu(
        menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RETURNCMD, 80, 80, 0, owner, nullptr));
    int status = 0;
    if (chosen >= kFirstCommandId) {
        const UINT offset = chosen - kFirstCommandId;
        status = Invoke(contextMenu, owner, MAKEINTRESOURCEA(offset),
                        "offset " + std::to_string(offset), report);
    } else {
        report.Line("popup closed, nothing chosen");
    }
    ::DestroyWindow(owner);
    return status;
}

int Run(const Options& options, Report& report) {
    CLSID clsid;
    std::string clsidText;
    HRESULT result = FindHandlerClass(clsid, clsidText);
    if (FAILED(result)) {
        report.Line("no registered handler under HKCR\\" + std::string(kHandlerKey) + ": " +
                    Hex(static_cast<unsigned long>(result)));
        return 2;
    }
    report.Line("handler " + clsidText);

    ComPtr<IShellExtInit> init;
    result =
        ::CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit, init.PutVoid());
    if (FAILED(result)) {
        report.Line("CoCreateInstance failed: " + Hex(static_cast<unsigned long>(result)));
        return 2;
    }
    ComPtr<IContextMenu> contextMenu;
    result = init->QueryInterface(IID_IContextMenu, contextMenu.PutVoid());
    if (FAILED(result)) {
        report.Line("no IContextMenu: " + Hex(static_cast<unsigned long>(result)));
        return 2;
    }

    std::vector<std::string> paths;
    // A shell namespace name ("::{CLSID}", the Recycle Bin) is taken as it is.
    for (const std::string& path : options.paths) {
        paths.push_back(path.rfind("::", 0) == 0 ? path : FullPath(path));
    }
    Pidl folder;
    ComPtr<IDataObject> dataObject;
    std::string error;
    result = CreateDataObject(paths, folder, dataObject, error);
    if (FAILED(result)) {
        report.Line(error + ": " + Hex(static_cast<unsigned long>(result)));
        return 2;
    }

    result = init->Initialize(folder.get(), dataObject.Get(), nullptr);
    report.Line("Initialize " + Hex(static_cast<unsigned long>(result)));
    if (FAILED(result)) return 2;

    veltrane::UniqueMenu menu(::CreatePopupMenu());
    result = contextMenu->QueryContextMenu(menu.get(), 0, kFirstCommandId, kLastCommandId,
                                           options.flags);
    report.Line("QueryContextMenu flags " + Hex(options.flags) + ": " +
                Hex(static_cast<unsigned long>(result)) + ", " +
                std::to_string(HRESULT_CODE(result)) + " command ids");
    if (FAILED(result)) return 2;
    DescribeMenu(menu.get(), 0, report);

    switch (options.action) {
        case Action::Invoke:
            return Invoke(contextMenu.Get(), nullptr, MAKEINTRESOURCEA(options.invokeOffset),
                          "offset " + std::to_string(options.invokeOffset), report);
        case Action::Verb:
            return Invoke(contextMenu.Get(), nullptr, options.verb.c_str(),
                          "verb \"" + options.verb + "\"", report);
        case Action::Popup:
            return ShowPopup(contextMenu.Get(), menu.get(), options.popupMs, report);
        case Action::List:
            break;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    std::string error;
    if (!ParseArguments(argc, argv, options, error)) {
        std::fprintf(stderr, "veltrane-shellhost: %s\n%s", error.c_str(), kUsage);
        return 1;
    }
    // The shell's threads are single-threaded apartments with OLE started.
    if (FAILED(::OleInitialize(nullptr))) {
        std::fputs("veltrane-shellhost: OleInitialize failed\n", stderr);
        return 2;
    }
    Report report;
    const int status = Run(options, report);
    report.Flush();
    ::OleUninitialize();
    return status;
}
