#include "support/WinTestSupport.h"

#include <shellapi.h>
#include <shlobj.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <cwctype>

namespace veltrane::test {

std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
    for (char& c : path) {
        if (c == '/') c = '\\';
    }
    return path;
}

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty()) return std::wstring();
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), &wide[0], length);
    return wide;
}

std::string Narrow(const std::wstring& wide) {
    if (wide.empty()) return std::string();
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), nullptr, 0,
                                             nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide.data(), int(wide.size()), &utf8[0], length, nullptr,
                          nullptr);
    return utf8;
}

namespace {

// The extended-length form of a full path, so that long paths and odd names are reached.
std::wstring Extended(const std::wstring& path) {
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path;
    if (path.size() > 2 && path[1] == L':') return L"\\\\?\\" + path;
    return path;
}

}  // namespace

std::string ReadWholeFile(const std::wstring& path) {
    const HANDLE file =
        ::CreateFileW(Extended(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return "<unreadable>";
    std::string contents;
    char buffer[65536];
    DWORD got = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        contents.append(buffer, got);
    }
    ::CloseHandle(file);
    return contents;
}

void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW data;
    const HANDLE find = ::FindFirstFileW(Extended(folder + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            const std::wstring name = data.cFileName;
            if (name == L"." || name == L"..") continue;
            const std::wstring path = folder + L"\\" + name;
            if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
                !(data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
                RemoveTree(path);
            } else if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                ::RemoveDirectoryW(Extended(path).c_str());  // a link, never its target
            } else {
                ::SetFileAttributesW(Extended(path).c_str(), FILE_ATTRIBUTE_NORMAL);
                ::DeleteFileW(Extended(path).c_str());
            }
        } while (::FindNextFileW(find, &data));
        ::FindClose(find);
    }
    ::RemoveDirectoryW(Extended(folder).c_str());
}

namespace {

struct WindowSearch {
    const char* className;
    const char* title;
    const std::function<bool(HWND)>* accept;
    HWND found;
};

BOOL CALLBACK MatchOwnWindow(HWND hwnd, LPARAM param) {
    auto* search = reinterpret_cast<WindowSearch*>(param);
    DWORD process = 0;
    ::GetWindowThreadProcessId(hwnd, &process);
    if (process != ::GetCurrentProcessId()) return TRUE;
    if (search->className) {
        char name[64] = {};
        ::GetClassNameA(hwnd, name, sizeof name);
        if (std::strcmp(name, search->className) != 0) return TRUE;
    }
    if (search->title) {
        wchar_t text[256] = {};
        ::InternalGetWindowText(hwnd, text, 256);
        if (std::wstring(text) != Widen(search->title)) return TRUE;
    }
    if (*search->accept && !(*search->accept)(hwnd)) return TRUE;
    search->found = hwnd;
    return FALSE;
}

}  // namespace

std::wstring ListViewCell(HWND list, int row, int column) {
    std::wstring text(32768, L'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = &text[0];
    item.cchTextMax = static_cast<int>(text.size());
    const LRESULT length = ::SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
                                          reinterpret_cast<LPARAM>(&item));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

std::wstring ListViewText(HWND list) {
    ::SendMessageW(list, LVM_SETCOLUMNWIDTH, 0, MAKELPARAM(32767, 0));
    const int rows = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    const int columns = static_cast<int>(::SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
    std::wstring text;
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            if (column > 0) text += L'\t';
            text += ListViewCell(list, row, column);
        }
        text += L"\r\n";
    }
    return text;
}

HWND FindOwnWindow(const char* className, const char* title,
                   const std::function<bool(HWND)>& accept) {
    WindowSearch search{className, title, &accept, nullptr};
    ::EnumWindows(&MatchOwnWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

STDMETHODIMP FakeDataObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IDataObject)) {
        return E_NOINTERFACE;
    }
    *ppv = this;
    AddRef();
    return S_OK;
}

STDMETHODIMP FakeDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    if (m_inner) return m_inner->GetData(format, medium);
    if (!m_hasFiles || format->cfFormat != CF_HDROP) return DV_E_FORMATETC;
    // DROPFILES, then the names one after another, each ended by a NUL, and one NUL more.
    std::string bytes;
    if (m_wide) {
        std::wstring list;
        for (const auto& name : m_wideNames) list += name + L'\0';
        list += L'\0';
        bytes.assign(reinterpret_cast<const char*>(list.data()), list.size() * sizeof(wchar_t));
    } else {
        for (const auto& name : m_names) bytes += name + '\0';
        bytes += '\0';
    }
    // Two spare NULs of the widest kind: a list ends with an empty name, even an empty one.
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT,
                                  sizeof(DROPFILES) + bytes.size() + 2 * sizeof(wchar_t));
    if (!block) return E_OUTOFMEMORY;
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = m_wide ? TRUE : FALSE;
    std::memcpy(drop + 1, bytes.data(), bytes.size());
    ::GlobalUnlock(block);
    *medium = STGMEDIUM{};
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    return S_OK;
}

namespace {

// Runs a shell command line of the host (Wine starts Unix programs by their path) and
// waits for it. Wine may report the program ended before it has run: callers check its
// effect.
bool RunHostShell(const std::string& script) {
    std::wstring line = L"/bin/sh -c \"" + Widen(script) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(L"Z:\\bin\\sh", &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process)) {
        return false;
    }
    ::WaitForSingleObject(process.hProcess, 30000);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    return true;
}

}  // namespace

std::string TestTrashFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (!data || !std::strstr(data, "veltrane-test-xdg")) return std::string();
    return std::string(data) + "/Trash";
}

int DeleteToRecycleBin(const std::wstring& path) {
    std::wstring from = path;
    from.push_back(L'\0');  // a list of names, ended by an empty one
    SHFILEOPSTRUCTW op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_SILENT | FOF_NOERRORUI;
    return ::SHFileOperationW(&op);
}

ScratchDrive::ScratchDrive(wchar_t letter, unsigned mib) : m_letter(letter) {
    const char* prefix = std::getenv("WINEPREFIX");
    if (!prefix) {
        m_why = "needs WINEPREFIX to map a drive";
        return;
    }
    const std::string tag = std::to_string(::GetCurrentProcessId());
    m_mount = "/tmp/veltrane-drive-" + tag;
    m_link = std::string(prefix) + "/dosdevices/" + static_cast<char>(std::towlower(letter)) + ":";
    const std::string size = std::to_string(mib) + "m";
    if (!RunHostShell("mkdir -p " + m_mount + " && mount -t tmpfs -o size=" + size +
                      " veltrane-test " + m_mount + " && ln -sfn " + m_mount + " '" + m_link +
                      "'")) {
        m_why = "cannot start the host's shell";
        return;
    }
    const std::wstring root = Root();
    for (int i = 0; i < 500 && !m_ready; ++i, ::Sleep(10)) {
        ULARGE_INTEGER total{};
        m_ready = ::GetDiskFreeSpaceExW(root.c_str(), nullptr, &total, nullptr) &&
                  total.QuadPart == static_cast<ULONGLONG>(mib) << 20;
    }
    if (!m_ready) m_why = "cannot mount a tmpfs as drive " + Narrow(root) + " (needs root)";
}

ScratchDrive::~ScratchDrive() {
    if (m_link.empty()) return;
    RunHostShell("rm -f '" + m_link + "'; umount " + m_mount + " 2>/dev/null; rmdir " + m_mount +
                 " 2>/dev/null; true");
    for (int i = 0; i < 500 && ::GetFileAttributesW(Root().c_str()) != INVALID_FILE_ATTRIBUTES;
         ++i) {
        ::Sleep(10);
    }
}

}  // namespace veltrane::test
