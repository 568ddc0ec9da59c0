#pragma once
// Shared helpers of the menu tests: temporary trees, real shell data objects, a counting data
// object, extension objects from the built DLL, and windows shown by another thread.

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "framework/Handles.h"

namespace menutest {

// "/a/b" as Windows sees it ("Z:\a\b").
std::string WindowsPath(const std::string& hostPath);

// A fresh folder under the temporary folder, removed with its contents at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
bool Exists(const std::string& path);
// Creates folders and files: names ending in '\' are folders, the others get their name as
// contents. Returns the full paths.
std::vector<std::string> MakeTree(const TempDir& dir, const std::vector<std::string>& names);

// A real shell data object (what Explorer hands over) for paths of one folder, in order.
veltrane::ComPtr<IDataObject> ShellDataObject(const std::vector<std::string>& paths);

// UTF-8 <-> UTF-16, exactly.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);
// Creates a file by its wide name with `text` as contents; true when it was made.
bool WriteTextW(const std::wstring& path, const std::string& text);
bool ExistsW(const std::wstring& path);
// A real shell item array (what the Windows 11 menu hands over) for paths, in order.
veltrane::ComPtr<IShellItemArray> ShellItems(const std::vector<std::wstring>& paths);

// Counts the references taken and released on it. Forwards to an inner data object, or
// serves a hand-made drop list, or (neither) has no file list at all.
class CountingDataObject final : public IDataObject {
public:
    explicit CountingDataObject(IDataObject* inner) : m_inner(inner) {}
    explicit CountingDataObject(std::vector<std::string> names)
        : m_names(std::move(names)), m_hasFiles(true) {}
    CountingDataObject() = default;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return ++releases, --refs; }
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    STDMETHODIMP QueryGetData(FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC*, FORMATETC*) override { return E_NOTIMPL; }
    STDMETHODIMP SetData(FORMATETC*, STGMEDIUM*, BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP EnumFormatEtc(DWORD, IEnumFORMATETC**) override { return E_NOTIMPL; }
    STDMETHODIMP DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
    STDMETHODIMP DUnadvise(DWORD) override { return E_NOTIMPL; }
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }

    // Lives on the test's stack: the counts are what the tests look at.
    ULONG refs = 1;
    int releases = 0;

private:
    IDataObject* m_inner = nullptr;
    std::vector<std::string> m_names;
    bool m_hasFiles = false;
};

// A fresh extension object from the built veltrane.dll's class factory, as the shell gets it.
struct Extension {
    Extension();
    veltrane::ComPtr<IShellExtInit> init;
    veltrane::ComPtr<IContextMenu> menu;
};
std::string DllPath();

// InvokeCommand with a command offset, as the shell calls it for a picked menu item.
HRESULT InvokeOffset(IContextMenu* menu, UINT offset, HWND owner = nullptr);

// A visible top-level window of this process with this class and caption (either may be
// null), waited for up to timeoutMs while the calling thread's messages are pumped.
HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs);
std::string ControlText(HWND dialog, int id);
// Handles this thread's messages until none has come for a moment (2 s at most). A window
// closed before its first messages were handled can make Wine's X11 driver unmap a window
// it has already destroyed, which ends the process.
void Settle();
// Settles, then closes `window` the way its close box would.
void CloseWindowSettled(HWND window);
// The window with the keyboard focus on the thread that owns window.
HWND FocusOfThread(HWND window);

}  // namespace menutest
