#pragma once
// What the Windows tests share: paths as Wine shows them, text in both widths, windows
// of this process, and a data object that serves a drop list as Explorer's does.

#include <windows.h>
#include <objidl.h>

#include <functional>
#include <string>
#include <vector>

namespace veltrane::test {

// A path as the build wrote it (a Unix path when the build ran outside Wine) in the form
// Windows programs take: Wine shows the Unix root as drive Z:.
std::string WindowsPath(std::string path);

// UTF-8 and UTF-16, for text the tests make and read.
std::wstring Widen(const std::string& utf8);
std::string Narrow(const std::wstring& wide);

// A file's whole contents ("<unreadable>" when it cannot be opened), and a folder removed
// with everything in it, read-only files included. Both reach paths of any length.
std::string ReadWholeFile(const std::wstring& path);
void RemoveTree(const std::wstring& folder);

// A top-level window of this process (tests of other programs share the desktop) with this
// class and title (either may be null: any) that `accept` takes, if given. Reads titles
// without sending messages: the window's thread may be waiting for ours.
HWND FindOwnWindow(const char* className, const char* title,
                   const std::function<bool(HWND)>& accept = nullptr);

// Every row of a report-style list view of this process, its cells separated by tabs and
// the rows ended by CR LF, as Copy puts them. The first column is widened first, so that
// no path in it is shortened. ListViewCell reads one cell as it is shown now.
std::wstring ListViewText(HWND list);
std::wstring ListViewCell(HWND list, int row, int column);

// The trash of the test's own that CTest points XDG_DATA_HOME at (Wine's Recycle Bin is
// the user's freedesktop.org trash), as a Unix path; empty where it is not set, and a test
// that would wipe a bin then skips: it must never reach the user's own.
std::string TestTrashFolder();

// Deletes `path` to the Recycle Bin as Explorer's Delete key does (undo allowed, no
// question); the shell's result, 0 on success.
int DeleteToRecycleBin(const std::wstring& path);

// A drive letter of the Wine prefix mapped, for the test's life, to a tmpfs of `mib` MiB
// mounted for it: a free-space wipe there fills that and nothing else. Ready() only once
// the drive shows that size (never the disk the link would fall back to); where the host
// cannot mount one (not root, no prefix) Why() says so and the test skips.
class ScratchDrive {
public:
    ScratchDrive(wchar_t letter, unsigned mib);
    ~ScratchDrive();
    ScratchDrive(const ScratchDrive&) = delete;
    ScratchDrive& operator=(const ScratchDrive&) = delete;

    bool Ready() const { return m_ready; }
    const std::string& Why() const { return m_why; }
    std::wstring Root() const { return std::wstring(1, m_letter) + L":\\"; }

private:
    wchar_t m_letter;
    std::string m_mount;  // the Unix mount point
    std::string m_link;   // the prefix's drive link
    bool m_ready = false;
    std::string m_why;
};

// A data object living on the test's stack that counts the references taken and released
// on it. It serves a drop list of names (ANSI or wide, as Explorer serves them), forwards
// to an inner data object, or has no file list at all.
class FakeDataObject final : public IDataObject {
public:
    FakeDataObject() = default;
    explicit FakeDataObject(IDataObject* inner) : m_inner(inner) {}
    explicit FakeDataObject(std::vector<std::string> names)
        : m_names(std::move(names)), m_hasFiles(true) {}
    explicit FakeDataObject(std::vector<std::wstring> names)
        : m_wideNames(std::move(names)), m_hasFiles(true), m_wide(true) {}

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

    // The counts are what the tests look at.
    ULONG refs = 1;
    int releases = 0;

private:
    IDataObject* m_inner = nullptr;
    std::vector<std::string> m_names;
    std::vector<std::wstring> m_wideNames;
    bool m_hasFiles = false;
    bool m_wide = false;
};

}  // namespace veltrane::test
