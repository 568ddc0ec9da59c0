#pragma once
// Shared helpers of the menu tests: temporary trees, real shell data objects, a counting data
// object, extension objects from the built DLL, and windows shown by another thread.

#include <windows.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "framework/Handles.h"
#include "support/WinTestSupport.h"

namespace menutest {

using veltrane::test::Narrow;
using veltrane::test::Widen;
using veltrane::test::WindowsPath;
using CountingDataObject = veltrane::test::FakeDataObject;

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
// Creates a file by its wide name with `text` as contents; true when it was made.
bool WriteTextW(const std::wstring& path, const std::string& text);
bool ExistsW(const std::wstring& path);
// A real shell item array (what the Windows 11 menu hands over) for paths, in order.
veltrane::ComPtr<IShellItemArray> ShellItems(const std::vector<std::wstring>& paths);

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
// For a thread beside a job: waits up to 30 s for the job's report, takes its list of what
// was left and closes it with OK. Empty when no report came.
std::wstring ReadAndCloseReport();
// Handles this thread's messages until none has come for a moment (2 s at most). A window
// closed before its first messages were handled can make Wine's X11 driver unmap a window
// it has already destroyed, which ends the process.
void Settle();
// Settles, then closes `window` the way its close box would.
void CloseWindowSettled(HWND window);
// The window with the keyboard focus on the thread that owns window.
HWND FocusOfThread(HWND window);

}  // namespace menutest
