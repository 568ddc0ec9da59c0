#include "MenuTestSupport.h"

#include <shellapi.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>

#include "resource.h"
#include "shellext/Guid.h"

namespace menutest {
namespace {

// The shell's data objects and the dialogs need an apartment on the test thread.
class OleEnvironment : public testing::Environment {
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
    void TearDown() override { ::OleUninitialize(); }
};
const testing::Environment* const g_ole = testing::AddGlobalTestEnvironment(new OleEnvironment);

// ASSERT needs a function returning void.
void Create(Extension& ext) {
    static const HMODULE dll = ::LoadLibraryA(DllPath().c_str());
    ASSERT_NE(nullptr, dll) << DllPath();
    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObject>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "DllGetClassObject")));
    veltrane::ComPtr<IClassFactory> factory;
    ASSERT_EQ(S_OK, get(CLSID_ShellExt, IID_IClassFactory, factory.PutVoid()));
    ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, ext.init.PutVoid()));
    ASSERT_EQ(S_OK, ext.init->QueryInterface(IID_IContextMenu, ext.menu.PutVoid()));
}

}  // namespace

TempDir::TempDir() {
    static std::atomic<int> serial{0};
    char base[MAX_PATH];
    ::GetTempPathA(MAX_PATH, base);
    m_path = std::string(base) + "veltrane-menu-" + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(serial++);
    ::CreateDirectoryA(m_path.c_str(), nullptr);
}

TempDir::~TempDir() {
    std::string from = m_path + '\0';  // the list ends with an empty name
    SHFILEOPSTRUCTA operation = {};
    operation.wFunc = FO_DELETE;
    operation.pFrom = from.c_str();
    operation.fFlags = FOF_NO_UI;
    ::SHFileOperationA(&operation);
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

std::string ReadText(const std::string& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> MakeTree(const TempDir& dir, const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        paths.push_back(dir / name);
        if (name.back() == '\\') {
            paths.back().pop_back();
            ::CreateDirectoryA(paths.back().c_str(), nullptr);
        } else {
            WriteText(paths.back(), name);
        }
    }
    return paths;
}

veltrane::ComPtr<IDataObject> ShellDataObject(const std::vector<std::string>& paths) {
    std::vector<veltrane::UniqueCoTaskMem<ITEMIDLIST>> items(paths.size());
    std::vector<PCUITEMID_CHILD> children;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        ::SHParseDisplayName(Widen(paths[i]).c_str(), nullptr, items[i].put(), 0, nullptr);
        children.push_back(::ILFindLastID(items[i].get()));
    }
    veltrane::ComPtr<IShellFolder> parent;
    veltrane::ComPtr<IDataObject> data;
    if (SUCCEEDED(::SHBindToParent(items[0].get(), IID_IShellFolder, parent.PutVoid(), nullptr))) {
        parent->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(),
                              IID_IDataObject, nullptr, data.PutVoid());
    }
    EXPECT_TRUE(data) << "no shell data object for " << paths[0];
    return data;
}

bool WriteTextW(const std::wstring& path, const std::string& text) {
    veltrane::UniqueFile file(
        ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    DWORD written = 0;
    return file &&
           ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                       nullptr) &&
           written == text.size();
}

bool ExistsW(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

veltrane::ComPtr<IShellItemArray> ShellItems(const std::vector<std::wstring>& paths) {
    std::vector<veltrane::UniqueCoTaskMem<ITEMIDLIST>> items(paths.size());
    std::vector<PCIDLIST_ABSOLUTE> lists;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(S_OK, ::SHParseDisplayName(paths[i].c_str(), nullptr, items[i].put(), 0, nullptr))
            << Narrow(paths[i]);
        lists.push_back(items[i].get());
    }
    veltrane::ComPtr<IShellItemArray> array;
    EXPECT_EQ(S_OK, ::SHCreateShellItemArrayFromIDLists(static_cast<UINT>(lists.size()),
                                                        lists.data(), array.Put()));
    return array;
}

std::string DllPath() {
    return WindowsPath(VELTRANE_DLL_PATH);
}

Extension::Extension() {
    Create(*this);
}

HRESULT InvokeOffset(IContextMenu* menu, UINT offset, HWND owner) {
    CMINVOKECOMMANDINFO info = {};
    info.cbSize = sizeof info;
    info.hwnd = owner;
    info.lpVerb = MAKEINTRESOURCEA(offset);
    return menu->InvokeCommand(&info);
}

HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (true) {
        const HWND found = veltrane::test::FindOwnWindow(
            className, caption, [](HWND window) { return ::IsWindowVisible(window) != FALSE; });
        if (found || ::GetTickCount() - start > timeoutMs) return found;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        for (MSG msg; ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) ::DispatchMessageA(&msg);
    }
}

void Settle() {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < 2000) {
        bool any = false;
        for (MSG msg; ::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE);) {
            any = true;
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
        if (!any &&
            ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT) == WAIT_TIMEOUT) {
            return;
        }
    }
}

void CloseWindowSettled(HWND window) {
    Settle();
    ::SendMessageA(window, WM_CLOSE, 0, 0);
    Settle();
}

std::wstring ReadAndCloseReport() {
    for (int i = 0; i < 3000; ++i, ::Sleep(10)) {
        const HWND dialog = veltrane::test::FindOwnWindow("#32770", "Veltrane", [](HWND window) {
            return ::IsWindowVisible(window) && ::GetDlgItem(window, IDC_REPORT_LIST) != nullptr;
        });
        if (!dialog) continue;
        const std::wstring text =
            veltrane::test::ListViewText(::GetDlgItem(dialog, IDC_REPORT_LIST));
        ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
        return text;
    }
    return std::wstring();
}

std::string ControlText(HWND dialog, int id) {
    char text[512] = {};
    ::GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

HWND FocusOfThread(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    ::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

}  // namespace menutest
