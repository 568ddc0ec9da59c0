#include "MenuTestSupport.h"

#include <shlobj.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <sstream>

namespace menutest {
namespace {

// The shell's data objects and the dialogs need an apartment on the test thread.
class OleEnvironment : public testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(SUCCEEDED(::OleInitialize(nullptr))); }
    void TearDown() override { ::OleUninitialize(); }
};
const testing::Environment* const g_oleEnvironment =
    testing::AddGlobalTestEnvironment(new OleEnvironment);

std::wstring Wide(const std::string& text) {
    std::wstring wide(text.size() + 1, L'\0');
    const int n =
        ::MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, &wide[0], static_cast<int>(wide.size()));
    wide.resize(n > 0 ? n - 1 : 0);
    return wide;
}

void CollectFiles(const std::string& root, const std::string& relative,
                  std::vector<std::string>& lines) {
    WIN32_FIND_DATAA entry;
    const std::string folder = relative.empty() ? root : root + "\\" + relative;
    veltrane::UniqueFindHandle find(::FindFirstFileA((folder + "\\*").c_str(), &entry));
    if (!find) return;
    do {
        const std::string name = entry.cFileName;
        if (name == "." || name == "..") continue;
        const std::string child = relative.empty() ? name : relative + "\\" + name;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            lines.push_back(child + "\\");
            CollectFiles(root, child, lines);
        } else {
            lines.push_back(child + "=" + ReadText(root + "\\" + child));
        }
    } while (::FindNextFileA(find.get(), &entry));
}

}  // namespace

std::string WindowsPath(const std::string& hostPath) {
    if (hostPath.empty() || hostPath[0] != '/') return hostPath;
    std::string path = "Z:" + hostPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

TempDir::TempDir() {
    static std::atomic<int> serial{0};
    char base[MAX_PATH];
    ::GetTempPathA(MAX_PATH, base);
    m_path = std::string(base) + "veltrane-menu-" + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(serial++);
    RemoveTree(m_path);
    MakeFolder(m_path);
}

TempDir::~TempDir() {
    RemoveTree(m_path);
}

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    ASSERT_TRUE(out.good()) << path;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolder(const std::string& path) {
    ASSERT_TRUE(::CreateDirectoryA(path.c_str(), nullptr)) << path << " " << ::GetLastError();
}

void RemoveTree(const std::string& path) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        ::DeleteFileA(path.c_str());
        return;
    }
    WIN32_FIND_DATAA entry;
    {
        veltrane::UniqueFindHandle find(::FindFirstFileA((path + "\\*").c_str(), &entry));
        if (find) {
            do {
                const std::string name = entry.cFileName;
                if (name != "." && name != "..") RemoveTree(path + "\\" + name);
            } while (::FindNextFileA(find.get(), &entry));
        }
    }
    ::RemoveDirectoryA(path.c_str());
}

std::string Snapshot(const std::string& root) {
    std::vector<std::string> lines;
    CollectFiles(root, "", lines);
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

veltrane::ComPtr<IDataObject> ShellDataObject(const std::vector<std::string>& paths) {
    std::vector<PIDLIST_ABSOLUTE> absolute;
    for (const std::string& path : paths) {
        PIDLIST_ABSOLUTE pidl = nullptr;
        const HRESULT hr = ::SHParseDisplayName(Wide(path).c_str(), nullptr, &pidl, 0, nullptr);
        EXPECT_TRUE(SUCCEEDED(hr)) << path;
        if (pidl) absolute.push_back(pidl);
    }
    veltrane::ComPtr<IDataObject> result;
    veltrane::ComPtr<IShellFolder> parent;
    if (!absolute.empty() &&
        SUCCEEDED(::SHBindToParent(absolute[0], IID_IShellFolder, parent.PutVoid(), nullptr))) {
        std::vector<PCUITEMID_CHILD> children;
        for (PIDLIST_ABSOLUTE pidl : absolute) children.push_back(::ILFindLastID(pidl));
        parent->GetUIObjectOf(nullptr, static_cast<UINT>(children.size()), children.data(),
                              IID_IDataObject, nullptr, result.PutVoid());
    }
    for (PIDLIST_ABSOLUTE pidl : absolute) ::CoTaskMemFree(pidl);
    EXPECT_TRUE(result) << "no shell data object";
    return result;
}

CountingDataObject* CountingDataObject::Forwarding(IDataObject* inner) {
    auto* object = new CountingDataObject;
    object->m_inner = inner;
    inner->AddRef();
    return object;
}

CountingDataObject* CountingDataObject::WithDropList(const std::vector<std::string>& names) {
    auto* object = new CountingDataObject;
    object->m_names = names;
    object->m_hasFiles = true;
    return object;
}

CountingDataObject* CountingDataObject::WithoutFiles() {
    return new CountingDataObject;
}

CountingDataObject::~CountingDataObject() {
    if (m_inner) m_inner->Release();
}

STDMETHODIMP CountingDataObject::QueryInterface(REFIID riid, void** ppv) {
    *ppv = nullptr;
    if (riid != IID_IUnknown && riid != IID_IDataObject) return E_NOINTERFACE;
    *ppv = static_cast<IDataObject*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CountingDataObject::AddRef() {
    return ++m_refs;
}

STDMETHODIMP_(ULONG) CountingDataObject::Release() {
    ++m_releaseCalls;
    const ULONG refs = --m_refs;
    if (refs == 0) delete this;
    return refs;
}

STDMETHODIMP CountingDataObject::GetData(FORMATETC* format, STGMEDIUM* medium) {
    ++m_getDataCalls;
    if (m_inner) return m_inner->GetData(format, medium);
    if (!m_hasFiles || format->cfFormat != CF_HDROP || !(format->tymed & TYMED_HGLOBAL)) {
        return DV_E_FORMATETC;
    }
    std::string names;
    for (const std::string& name : m_names) names += name + '\0';
    names += std::string(2, '\0');  // a list ends with an empty name, even an empty list
    HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, sizeof(DROPFILES) + names.size());
    if (!block) return E_OUTOFMEMORY;
    auto* drop = static_cast<DROPFILES*>(::GlobalLock(block));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = FALSE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), names.data(), names.size());
    ::GlobalUnlock(block);
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = block;
    medium->pUnkForRelease = nullptr;
    return S_OK;
}

STDMETHODIMP CountingDataObject::GetDataHere(FORMATETC* format, STGMEDIUM* medium) {
    return m_inner ? m_inner->GetDataHere(format, medium) : E_NOTIMPL;
}
STDMETHODIMP CountingDataObject::QueryGetData(FORMATETC* format) {
    if (m_inner) return m_inner->QueryGetData(format);
    return m_hasFiles && format->cfFormat == CF_HDROP ? S_OK : DV_E_FORMATETC;
}
STDMETHODIMP CountingDataObject::GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) {
    return m_inner ? m_inner->GetCanonicalFormatEtc(in, out) : E_NOTIMPL;
}
STDMETHODIMP CountingDataObject::SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) {
    return m_inner ? m_inner->SetData(format, medium, release) : E_NOTIMPL;
}
STDMETHODIMP CountingDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) {
    return m_inner ? m_inner->EnumFormatEtc(direction, formats) : E_NOTIMPL;
}
STDMETHODIMP CountingDataObject::DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                                         DWORD* connection) {
    return m_inner ? m_inner->DAdvise(format, flags, sink, connection) : OLE_E_ADVISENOTSUPPORTED;
}
STDMETHODIMP CountingDataObject::DUnadvise(DWORD connection) {
    return m_inner ? m_inner->DUnadvise(connection) : OLE_E_ADVISENOTSUPPORTED;
}
STDMETHODIMP CountingDataObject::EnumDAdvise(IEnumSTATDATA** advise) {
    return m_inner ? m_inner->EnumDAdvise(advise) : OLE_E_ADVISENOTSUPPORTED;
}

HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs) {
    struct Search {
        const char* className;
        const char* caption;
        HWND found;
    } search{className, caption, nullptr};
    const DWORD start = ::GetTickCount();
    while (true) {
        ::EnumWindows(
            [](HWND window, LPARAM data) -> BOOL {
                auto* s = reinterpret_cast<Search*>(data);
                DWORD process = 0;
                ::GetWindowThreadProcessId(window, &process);
                if (process != ::GetCurrentProcessId() || !::IsWindowVisible(window)) return TRUE;
                char text[256] = {};
                if (s->className) {
                    ::GetClassNameA(window, text, sizeof text);
                    if (std::strcmp(text, s->className) != 0) return TRUE;
                }
                if (s->caption) {
                    ::GetWindowTextA(window, text, sizeof text);
                    if (std::strcmp(text, s->caption) != 0) return TRUE;
                }
                s->found = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&search));
        if (search.found || ::GetTickCount() - start > timeoutMs) return search.found;
        // Windows of the calling thread may need their messages to appear.
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageA(&msg);
        }
    }
}

std::string ControlText(HWND dialog, int id) {
    char text[512] = {};
    ::GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

HWND FocusOfThread(HWND window) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(window, nullptr), &info)) return nullptr;
    return info.hwndFocus;
}

}  // namespace menutest
