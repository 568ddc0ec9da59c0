#pragma once
// Shared helpers of the menu tests: temporary trees, real shell data objects, counting and
// hand-made data objects, and finding windows another thread shows.

#include <windows.h>
#include <objidl.h>

#include <functional>
#include <string>
#include <vector>

#include "framework/Handles.h"

namespace menutest {

// "/a/b" as the Windows side sees it ("Z:\a\b"); Windows paths pass unchanged.
std::string WindowsPath(const std::string& hostPath);

// A fresh folder under the temporary folder, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return m_path; }
    std::string operator/(const std::string& name) const { return m_path + "\\" + name; }

private:
    std::string m_path;
};

void WriteText(const std::string& path, const std::string& text);
std::string ReadText(const std::string& path);
bool Exists(const std::string& path);
void MakeFolder(const std::string& path);
void RemoveTree(const std::string& path);
// Every file below root with its contents, as "relative path=contents" lines, sorted.
std::string Snapshot(const std::string& root);

// A real shell data object (what Explorer hands over) for paths that all lie in one folder,
// in the given order.
veltrane::ComPtr<IDataObject> ShellDataObject(const std::vector<std::string>& paths);

// A data object that counts the references taken and released on it. It forwards to an
// inner data object, or serves a hand-made drop list of names, or refuses every format.
class CountingDataObject final : public IDataObject {
public:
    // Forwards everything to inner.
    static CountingDataObject* Forwarding(IDataObject* inner);
    // Serves CF_HDROP with these names (ANSI).
    static CountingDataObject* WithDropList(const std::vector<std::string>& names);
    // Has no file list at all.
    static CountingDataObject* WithoutFiles();

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP GetData(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    STDMETHODIMP QueryGetData(FORMATETC* format) override;
    STDMETHODIMP GetCanonicalFormatEtc(FORMATETC* in, FORMATETC* out) override;
    STDMETHODIMP SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    STDMETHODIMP EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
    STDMETHODIMP DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                         DWORD* connection) override;
    STDMETHODIMP DUnadvise(DWORD connection) override;
    STDMETHODIMP EnumDAdvise(IEnumSTATDATA** advise) override;

    ULONG References() const { return m_refs; }
    int ReleaseCalls() const { return m_releaseCalls; }
    int GetDataCalls() const { return m_getDataCalls; }

private:
    CountingDataObject() = default;
    ~CountingDataObject();

    ULONG m_refs = 1;
    int m_releaseCalls = 0;
    int m_getDataCalls = 0;
    IDataObject* m_inner = nullptr;
    std::vector<std::string> m_names;
    bool m_hasFiles = false;
};

// Waits up to timeoutMs for a top-level window of this process with the given class and
// caption (either may be null) and returns it, or null. Pumps the calling thread's
// messages meanwhile.
HWND WaitForWindow(const char* className, const char* caption, DWORD timeoutMs);

// Text of a dialog control.
std::string ControlText(HWND dialog, int id);

// The window with the keyboard focus on the thread that owns window.
HWND FocusOfThread(HWND window);

}  // namespace menutest
