// The commands of the built veltrane.dll end to end: every wipe command on real files and
// folders, verb strings, a kept selection, Help through the platform's HTML Help control,
// About with "Latest Info" answered by a recorder registered for http, and commands given
// while a job runs.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>

#include "MenuTestSupport.h"
#include "framework/Handles.h"
#include "support/WinTestSupport.h"
#include "about/InfoUrl.h"
#include "resource.h"

namespace {

using menutest::Exists;

class InvokeTest : public testing::Test {
protected:
    InvokeTest() { m_canary = menutest::MakeTree(m_dir, {"canary\\", "canary\\keep.txt"}); }
    // Nothing outside the selection may change.
    ~InvokeTest() override { EXPECT_EQ("canary\\keep.txt", menutest::ReadText(m_canary[1])); }

    // A file and a small tree, named after tag, given to a fresh extension as the shell does.
    std::vector<std::string> Select(menutest::Extension& ext, const std::string& tag) {
        const auto all =
            menutest::MakeTree(m_dir, {tag + ".bin", tag + "\\", tag + "\\a.txt", tag + "\\sub\\",
                                       tag + "\\sub\\b.txt", tag + "\\sub\\empty\\"});
        const std::vector<std::string> items = {all[0], all[1]};
        EXPECT_EQ(S_OK,
                  ext.init->Initialize(nullptr, menutest::ShellDataObject(items).Get(), nullptr));
        veltrane::UniqueMenu menu(::CreatePopupMenu());
        EXPECT_EQ(8, ext.menu->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL));
        return items;
    }

    menutest::TempDir m_dir;
    std::vector<std::string> m_canary;
};

TEST_F(InvokeTest, EveryWipeCommandRemovesTheSelectedFilesAndFolders) {
    for (UINT offset = 0; offset <= 5; ++offset) {
        menutest::Extension ext;
        const auto items = Select(ext, "item" + std::to_string(offset));
        EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), offset));
        for (const std::string& item : items) EXPECT_FALSE(Exists(item)) << item;
    }
}

// HKCU\Software\Veltrane\ConfirmWipe: absent (ask) or 0 (don't); the test prefix holds 0.
void SetAsk(bool ask) {
    if (ask) {
        ::RegDeleteKeyValueA(HKEY_CURRENT_USER, "Software\\Veltrane", "ConfirmWipe");
        return;
    }
    const DWORD zero = 0;
    ::RegSetKeyValueA(HKEY_CURRENT_USER, "Software\\Veltrane", "ConfirmWipe", REG_DWORD, &zero,
                      sizeof zero);
}

bool Asks() {
    DWORD value = 1;
    DWORD size = sizeof value;
    return ::RegGetValueA(HKEY_CURRENT_USER, "Software\\Veltrane", "ConfirmWipe", RRF_RT_DWORD,
                          nullptr, &value, &size) != ERROR_SUCCESS ||
           value != 0;
}

// The question before a wipe, on the thread that pumps it: nullptr when none came.
HWND WaitForQuestion(DWORD timeoutMs) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < timeoutMs) {
        const HWND found = veltrane::test::FindOwnWindow("#32770", "Veltrane", [](HWND window) {
            return ::IsWindowVisible(window) && ::GetDlgItem(window, IDC_CONFIRM_DONT_ASK);
        });
        if (found) return found;
        ::Sleep(20);
    }
    return nullptr;
}

TEST_F(InvokeTest, AWipeAsksFirstAndADeclinedQuestionTouchesNothing) {
    SetAsk(true);
    // Cancel, Esc and the close box each decline; the texts and the default come first.
    const std::function<void(HWND)> declines[] = {
        [](HWND q) { ::PostMessageA(::GetDlgItem(q, IDCANCEL), BM_CLICK, 0, 0); },
        [](HWND q) { ::PostMessageA(q, WM_COMMAND, IDCANCEL, 0); },  // what Esc sends
        [](HWND q) { ::PostMessageA(q, WM_SYSCOMMAND, SC_CLOSE, 0); },
    };
    for (const auto& decline : declines) {
        menutest::Extension ext;
        const auto items = Select(ext, "asked");
        std::string text;
        LRESULT defaultId = 0;
        bool cancelFocused = false;
        std::thread watcher([&] {
            const HWND question = WaitForQuestion(30000);
            if (!question) return;
            text = menutest::ControlText(question, IDC_CONFIRM_TEXT);
            defaultId = ::SendMessageA(question, DM_GETDEFID, 0, 0);
            cancelFocused = menutest::FocusOfThread(question) == ::GetDlgItem(question, IDCANCEL);
            decline(question);
        });
        EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 3));
        watcher.join();
        EXPECT_EQ(text.rfind("Permanently wipe 2 items with DoD Standard (7 passes)?", 0), 0u)
            << text;
        EXPECT_NE(text.find(items[0]), std::string::npos);
        EXPECT_NE(text.find("Folders are wiped with everything in them. This cannot be undone."),
                  std::string::npos);
        EXPECT_EQ(LOWORD(defaultId), IDCANCEL);
        EXPECT_TRUE(cancelFocused);
        EXPECT_EQ(menutest::ReadText(items[0]), "asked.bin");
        EXPECT_TRUE(Exists(items[1] + "\\sub\\b.txt"));
        menutest::Settle();
        ::DeleteFileA(items[0].c_str());
        ::DeleteFileA((items[1] + "\\a.txt").c_str());
        ::DeleteFileA((items[1] + "\\sub\\b.txt").c_str());
        ::RemoveDirectoryA((items[1] + "\\sub\\empty").c_str());
        ::RemoveDirectoryA((items[1] + "\\sub").c_str());
        ::RemoveDirectoryA(items[1].c_str());
    }

    // Wipe, with "Don't ask me again": the job runs, and the next command asks nothing.
    {
        menutest::Extension ext;
        const auto items = Select(ext, "wiped");
        std::thread watcher([] {
            const HWND question = WaitForQuestion(30000);
            if (!question) return;
            ::SendMessageA(::GetDlgItem(question, IDC_CONFIRM_DONT_ASK), BM_CLICK, 0, 0);
            ::PostMessageA(::GetDlgItem(question, IDOK), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 0));
        watcher.join();
        EXPECT_FALSE(Exists(items[0]));
        EXPECT_FALSE(Exists(items[1]));
        EXPECT_FALSE(Asks());
    }
    {
        menutest::Extension ext;
        const auto items = Select(ext, "unasked");
        EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 0));
        EXPECT_FALSE(Exists(items[0]));
    }

    // A caller that allows no user interface: no question, the command runs.
    SetAsk(true);
    {
        menutest::Extension ext;
        const auto items = Select(ext, "noui");
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.fMask = CMIC_MASK_FLAG_NO_UI;
        info.lpVerb = MAKEINTRESOURCEA(0);
        EXPECT_EQ(S_OK, ext.menu->InvokeCommand(&info));
        EXPECT_FALSE(Exists(items[0]));
    }
    SetAsk(false);
}

// The message box a free-space job ends with, read and closed; empty when none came.
std::wstring ReadAndCloseMessage() {
    for (int i = 0; i < 3000; ++i, ::Sleep(10)) {
        // Titled with the application's name, which here is the test's own.
        const HWND box = veltrane::test::FindOwnWindow("#32770", nullptr, [](HWND window) {
            return ::IsWindowVisible(window) && ::GetDlgItem(window, 0xFFFF) != nullptr &&
                   !::GetDlgItem(window, IDC_CONFIRM_DONT_ASK);
        });
        if (!box) continue;
        wchar_t text[2048] = {};
        ::GetDlgItemTextW(box, 0xFFFF, text, 2048);
        ::PostMessageW(box, WM_COMMAND, IDOK, 0);
        return text;
    }
    return std::wstring();
}

// The drive's command on a drive of the test's own (a small tmpfs): asked about once, then
// filled, overwritten and given back, its file untouched, and the end said in a box.
TEST_F(InvokeTest, ADrivesFreeSpaceCommandAsksThenFillsAndEmptiesTheDrive) {
    veltrane::test::ScratchDrive drive(L'W', 8);
    if (!drive.Ready()) GTEST_SKIP() << drive.Why();
    const std::string kept = "W:\\kept.txt";
    menutest::WriteText(kept, "kept");
    const auto select = [](menutest::Extension& ext) {
        ASSERT_EQ(S_OK, ext.init->Initialize(nullptr, menutest::ShellDataObject({"W:\\"}).Get(),
                                             nullptr));
        veltrane::UniqueMenu menu(::CreatePopupMenu());
        ASSERT_EQ(8, ext.menu->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL));
    };

    SetAsk(true);
    {
        menutest::Extension ext;
        select(ext);
        std::string question;
        std::thread watcher([&] {
            const HWND box = WaitForQuestion(30000);
            if (!box) return;
            question = menutest::ControlText(box, IDC_CONFIRM_TEXT);
            ::PostMessageA(::GetDlgItem(box, IDCANCEL), BM_CLICK, 0, 0);
        });
        EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 1));
        watcher.join();
        EXPECT_EQ(
            0u, question.rfind("Overwrite the free space of W:\\ with Random Data (2 passes)?", 0))
            << question;
        EXPECT_NE(std::string::npos, question.find("programs may see a full disk"));
    }
    SetAsk(false);

    menutest::Extension ext;
    select(ext);
    std::wstring report;
    std::thread watcher([&report] { report = ReadAndCloseMessage(); });
    EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 1));
    watcher.join();
    EXPECT_EQ(0u, report.rfind(L"The free space of W:\\ was overwritten:", 0))
        << veltrane::test::Narrow(report);
    EXPECT_NE(std::wstring::npos, report.find(L"2 passes (Random Data (2 passes))"));
    EXPECT_EQ("kept", menutest::ReadText(kept));
    WIN32_FIND_DATAA data;
    veltrane::UniqueFindHandle find(::FindFirstFileA("W:\\*", &data));
    std::vector<std::string> names;
    if (find) {
        do {
            if (std::strcmp(data.cFileName, ".") && std::strcmp(data.cFileName, ".."))
                names.push_back(data.cFileName);
        } while (::FindNextFileA(find.get(), &data));
    }
    EXPECT_EQ((std::vector<std::string>{"kept.txt"}), names);
}

// The Recycle Bin's own data object, as the shell gives it for the bin's icon.
veltrane::ComPtr<IDataObject> RecycleBinObject() {
    veltrane::ComPtr<IDataObject> object;
    veltrane::ComPtr<IShellFolder> desktop;
    veltrane::UniqueCoTaskMem<ITEMIDLIST> bin;
    if (FAILED(::SHGetDesktopFolder(desktop.Put())) ||
        FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, bin.put()))) {
        return object;
    }
    PCUITEMID_CHILD child = bin.get();
    desktop->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, object.PutVoid());
    return object;
}

// Items the Recycle Bin's folder lists; -1 when it cannot be listed.
int RecycleBinCount() {
    veltrane::ComPtr<IShellFolder> desktop, bin;
    veltrane::UniqueCoTaskMem<ITEMIDLIST> location;
    if (FAILED(::SHGetDesktopFolder(desktop.Put())) ||
        FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, location.put())) ||
        FAILED(desktop->BindToObject(location.get(), nullptr, IID_IShellFolder, bin.PutVoid()))) {
        return -1;
    }
    veltrane::ComPtr<IEnumIDList> items;
    if (FAILED(bin->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS, items.Put()))) {
        return -1;
    }
    int count = 0;
    for (veltrane::UniqueCoTaskMem<ITEMID_CHILD> child;
         items && items->Next(1, child.put(), nullptr) == S_OK;) {
        ++count;
    }
    return count;
}

// A file deleted to the Recycle Bin the ordinary way (Wine's bin: the trash under
// XDG_DATA_HOME, which the test's environment points into the build) is found by the bin's
// command and wiped with its record; the file beside it stays.
TEST_F(InvokeTest, TheRecycleBinsCommandWipesWhatWasDeletedToItAndNothingElse) {
    const std::string trash = veltrane::test::TestTrashFolder();
    if (trash.empty()) GTEST_SKIP() << "needs a trash of the test's own (XDG_DATA_HOME)";
    SetAsk(false);
    const auto files = menutest::MakeTree(m_dir, {"binned.txt", "kept.txt"});
    ASSERT_EQ(0, veltrane::test::DeleteToRecycleBin(veltrane::test::Widen(files[0])));
    ASSERT_GE(RecycleBinCount(), 1);  // an earlier run that stopped may have left more

    menutest::Extension ext;
    const veltrane::ComPtr<IDataObject> bin = RecycleBinObject();
    ASSERT_TRUE(bin);
    ASSERT_EQ(S_OK, ext.init->Initialize(nullptr, bin.Get(), nullptr));
    veltrane::UniqueMenu menu(::CreatePopupMenu());
    ASSERT_EQ(8, ext.menu->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL));
    const HMENU veltrane = ::GetSubMenu(menu.get(), 0);
    char caption[64] = {};
    ::GetMenuStringA(veltrane, 0, caption, sizeof caption, MF_BYPOSITION);
    EXPECT_STREQ("Wipe Recycle Bin", caption);
    EXPECT_EQ(6, ::GetMenuItemCount(::GetSubMenu(veltrane, 0)));
    char verb[64] = {};
    ext.menu->GetCommandString(0, GCS_VERBA, nullptr, verb, sizeof verb);
    EXPECT_STREQ("RecycleBinRandom", verb);

    EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 0));
    EXPECT_EQ(0, RecycleBinCount());
    for (const char* part : {"/files/*", "/info/*"}) {
        WIN32_FIND_DATAA found;
        veltrane::UniqueFindHandle find(
            ::FindFirstFileA(veltrane::test::WindowsPath(trash + part).c_str(), &found));
        if (!find) continue;
        do {
            EXPECT_TRUE(!std::strcmp(found.cFileName, ".") || !std::strcmp(found.cFileName, ".."))
                << part << ": " << found.cFileName;
        } while (::FindNextFileA(find.get(), &found));
    }
    EXPECT_FALSE(Exists(files[0]));
    EXPECT_EQ("kept.txt", menutest::ReadText(files[1]));
}

TEST_F(InvokeTest, VerbStringsRunNothing) {
    menutest::Extension ext;
    const auto items = Select(ext, "verbs");
    for (const char* verb : {"Random", "Gutmann", "Help", "About", ""}) {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = verb;
        EXPECT_EQ(S_OK, ext.menu->InvokeCommand(&info)) << verb;
    }
    EXPECT_EQ("verbs\\a.txt", menutest::ReadText(items[1] + "\\a.txt"));
    EXPECT_EQ(nullptr, menutest::WaitForWindow(nullptr, nullptr, 0)) << "a window opened";
}

TEST_F(InvokeTest, SelectionKeptAfterANullInitializeIsStillWiped) {
    menutest::Extension ext;
    const auto items = Select(ext, "kept");
    const auto shell = menutest::ShellDataObject(items);
    menutest::CountingDataObject proxy(shell.Get());
    ASSERT_EQ(S_OK, ext.init->Initialize(nullptr, &proxy, nullptr));
    EXPECT_EQ(2u, proxy.refs);
    EXPECT_EQ(E_FAIL, ext.init->Initialize(nullptr, nullptr, nullptr));
    EXPECT_EQ(1, proxy.releases);
    EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 4));
    for (const std::string& item : items) EXPECT_FALSE(Exists(item)) << item;
    ext.menu.Reset();
    ext.init.Reset();  // the object goes and releases nothing further
    EXPECT_EQ(1, proxy.releases);
    EXPECT_EQ(1u, proxy.refs);
}

TEST_F(InvokeTest, HelpOpensTheHelpFileBesideTheDll) {
    const std::string dll = menutest::DllPath();
    ASSERT_TRUE(Exists(dll.substr(0, dll.size() - 4) + ".chm"));
    menutest::Extension ext;
    Select(ext, "help");
    for (UINT offset : {6u, 8u}) {
        EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), offset));
        const HWND viewer = menutest::WaitForWindow("HH Parent", nullptr, 10000);
        ASSERT_NE(nullptr, viewer) << "no help window for offset " << offset;
        menutest::CloseWindowSettled(viewer);
    }
}

// Points the prefix's http association at the recorder, and back when done.
class HttpRecorder {
public:
    explicit HttpRecorder(const std::string& log) : m_log(log) {
        LONG size = sizeof m_old;
        m_hadCommand = ::RegQueryValueA(HKEY_CLASSES_ROOT, kKey, m_old, &size) == ERROR_SUCCESS;
        Set("\"" + menutest::WindowsPath(URL_RECORDER_PATH) + "\" \"%1\" \"" + log + "\"");
    }
    ~HttpRecorder() {
        if (m_hadCommand)
            Set(m_old);
        else
            ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "http");
    }
    // The addresses opened so far, waiting up to 5 minutes for count of them (a 32-bit
    // program may start slowly under emulation).
    std::string Opened(std::size_t count) const {
        std::string text;
        for (int i = 0; i < 6000 && std::count(text.begin(), text.end(), '\n') < long(count); ++i) {
            ::Sleep(50);
            text = menutest::ReadText(m_log);
        }
        return text;
    }

private:
    static constexpr char kKey[] = "http\\shell\\open\\command";
    void Set(const std::string& command) {
        ::RegSetValueA(HKEY_CLASSES_ROOT, kKey, REG_SZ, command.c_str(), DWORD(command.size()));
    }
    std::string m_log;
    bool m_hadCommand;
    char m_old[1024] = {};
};

TEST_F(InvokeTest, AboutShowsItsLinesAndLatestInfoOpensThePageOncePerPress) {
    const HttpRecorder recorder(m_dir / "opened.txt");
    std::string version, notice, afterOne, afterTwo;
    bool focusOnOk = false, stillOpen = false;
    std::thread watcher([&] {
        const HWND dialog = menutest::WaitForWindow("#32770", "About...", 10000);
        version = menutest::ControlText(dialog, IDC_VERSION);
        notice = menutest::ControlText(dialog, IDC_NOTICE);
        focusOnOk = menutest::FocusOfThread(dialog) == ::GetDlgItem(dialog, IDOK);
        ::PostMessageA(::GetDlgItem(dialog, IDC_LATEST_INFO), BM_CLICK, 0, 0);
        afterOne = recorder.Opened(1);
        ::PostMessageA(::GetDlgItem(dialog, IDC_LATEST_INFO), BM_CLICK, 0, 0);
        afterTwo = recorder.Opened(2);
        stillOpen = ::IsWindowVisible(dialog);
        ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    menutest::Extension ext;
    Select(ext, "about");
    EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 7));
    watcher.join();

    SYSTEMTIME now;
    ::GetSystemTime(&now);
    EXPECT_EQ("Veltrane v1.0 build 6", version);
    EXPECT_EQ("Copyright (C) " + std::to_string(now.wYear) + " The Veltrane project", notice);
    EXPECT_TRUE(focusOnOk);
    EXPECT_TRUE(stillOpen);
    const std::string url = veltrane::kInfoUrl;
    EXPECT_EQ(url + "\n", afterOne);
    EXPECT_EQ(url + "\n" + url + "\n", afterTwo);
    // Exactly: "http://", a plain host of our own, "/patch.php?info=q7".
    const std::size_t tail = url.size() - std::strlen("/patch.php?info=q7");
    EXPECT_EQ(0u, url.find("http://"));
    EXPECT_EQ(tail, url.find("/patch.php?info=q7"));
    EXPECT_EQ(tail, url.find_first_of("/:@?#%", 7)) << "host " << url.substr(7, tail - 7);
}

// A window of the test's thread whose WM_APP runs a function there. While a job runs,
// that is inside the job's pump, where the shell runs a command picked from its menu.
class CommandWindow {
public:
    explicit CommandWindow(std::function<void()> onCommand) : m_onCommand(std::move(onCommand)) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = &CommandWindow::Proc;
        windowClass.lpszClassName = "VeltraneInvokeTestOwner";
        ::RegisterClassA(&windowClass);
        m_window = ::CreateWindowA("VeltraneInvokeTestOwner", "Owner", WS_OVERLAPPEDWINDOW, 0, 0,
                                   320, 200, nullptr, nullptr, nullptr, nullptr);
        ::SetWindowLongPtrA(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~CommandWindow() { ::DestroyWindow(m_window); }
    CommandWindow(const CommandWindow&) = delete;
    CommandWindow& operator=(const CommandWindow&) = delete;

    HWND Get() const { return m_window; }
    void Post() const { ::PostMessageA(m_window, WM_APP, 0, 0); }

private:
    static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<CommandWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_APP && self) self->m_onCommand();
        return ::DefWindowProcA(window, message, wParam, lParam);
    }
    std::function<void()> m_onCommand;
    HWND m_window = nullptr;
};

HRESULT DllCanUnloadNow() {
    using CanUnloadNow = HRESULT(WINAPI*)();
    const HMODULE dll = ::GetModuleHandleA(menutest::DllPath().c_str());
    const auto canUnloadNow = reinterpret_cast<CanUnloadNow>(
        reinterpret_cast<void*>(::GetProcAddress(dll, "DllCanUnloadNow")));
    return canUnloadNow ? canUnloadNow() : E_FAIL;
}

// The running job's dialog once its file bar has moved; null when none shows up.
HWND RunningJobDialog() {
    const HWND dialog = menutest::WaitForWindow("#32770", "Veltrane", 20000);
    for (int i = 0; i < 4000 && dialog; ++i, ::Sleep(5)) {
        if (::SendDlgItemMessageA(dialog, IDC_FILE_BAR, PBM_GETPOS, 0, 0) > 0) return dialog;
    }
    return nullptr;
}

// Waits until the status line reads `status` (or the dialog has gone).
bool StatusSeen(HWND dialog, const std::string& status) {
    for (int i = 0; i < 12000 && ::IsWindow(dialog); ++i, ::Sleep(5)) {
        if (menutest::ControlText(dialog, IDC_STATUS) == status) return true;
    }
    return false;
}

// Files that each take a while with Gutmann's method: the dialog comes only once a job
// has lasted half a second, and the test acts while the job runs.
std::vector<std::string> BigFiles(const menutest::TempDir& dir,
                                  const std::vector<std::string>& names) {
    std::vector<std::string> paths;
    for (const std::string& name : names) {
        paths.push_back(dir / name);
        menutest::WriteText(paths.back(), std::string(64 << 20, name[0]));
    }
    return paths;
}

TEST_F(InvokeTest, ACommandGivenDuringAJobJoinsItAndTheModuleStaysUntilTheJobHasEnded) {
    const auto big = BigFiles(m_dir, {"a.bin", "b.bin"});
    const auto joined = menutest::MakeTree(m_dir, {"joined.txt", "joined\\", "joined\\a.txt"});
    bool returnedAtOnce = false;
    CommandWindow window([&] {
        menutest::Extension second;
        const auto data = menutest::ShellDataObject({joined[0], joined[1]});
        ASSERT_EQ(S_OK, second.init->Initialize(nullptr, data.Get(), nullptr));
        EXPECT_EQ(S_OK, menutest::InvokeOffset(second.menu.Get(), 0, window.Get()));
        returnedAtOnce = Exists(joined[0]) && Exists(joined[2]);
    });
    HRESULT duringJob = S_OK;
    bool grown = false;
    std::thread watcher([&] {
        const HWND dialog = RunningJobDialog();
        if (!dialog) return;
        duringJob = DllCanUnloadNow();
        const bool onFirst = menutest::ControlText(dialog, IDC_STATUS) == "Processing file 1 of 2";
        window.Post();
        grown = StatusSeen(dialog, onFirst ? "Processing file 1 of 4" : "Processing file 2 of 4");
    });
    {
        menutest::Extension first;
        const auto data = menutest::ShellDataObject(big);
        ASSERT_EQ(S_OK, first.init->Initialize(nullptr, data.Get(), nullptr));
        EXPECT_EQ(S_OK, menutest::InvokeOffset(first.menu.Get(), 5, window.Get()));
    }
    watcher.join();

    EXPECT_EQ(S_FALSE, duringJob);
    EXPECT_TRUE(returnedAtOnce) << "the second command ran its items before returning";
    EXPECT_TRUE(grown) << "the dialog did not count the joined items";
    for (const std::string& item : big) EXPECT_FALSE(Exists(item)) << item;
    for (const std::string& item : joined) EXPECT_FALSE(Exists(item)) << item;
    // Every object released; the last worker may still be on its way out of the module.
    HRESULT after = DllCanUnloadNow();
    for (int i = 0; i < 1000 && after != S_OK; ++i, ::Sleep(10)) after = DllCanUnloadNow();
    EXPECT_EQ(S_OK, after);
}

TEST_F(InvokeTest, HelpAndAboutDuringAJobOpenAndCloseWhileTheJobGoesOn) {
    const auto files = BigFiles(m_dir, {"a.bin", "b.bin", "c.bin"});
    CommandWindow window([&] {
        menutest::Extension other;
        EXPECT_EQ(S_OK, menutest::InvokeOffset(other.menu.Get(), 7, window.Get()));  // About
        EXPECT_EQ(S_OK, menutest::InvokeOffset(other.menu.Get(), 6, window.Get()));  // Help
    });
    bool aboutOpened = false, movedOnUnderAbout = false, helpOpened = false;
    std::thread watcher([&] {
        const HWND dialog = RunningJobDialog();
        if (!dialog) return;
        window.Post();
        const HWND about = menutest::WaitForWindow("#32770", "About...", 20000);
        aboutOpened = about != nullptr;
        if (!about) return;
        // About runs its own message loop inside the job's pump; the job goes on meanwhile
        // to its next item.
        const std::string atOpen = menutest::ControlText(dialog, IDC_STATUS);
        if (atOpen == "Processing file 1 of 3") {
            movedOnUnderAbout = StatusSeen(dialog, "Processing file 2 of 3") && ::IsWindow(about);
        } else if (atOpen == "Processing file 2 of 3") {
            movedOnUnderAbout = StatusSeen(dialog, "Processing file 3 of 3") && ::IsWindow(about);
        }
        ::PostMessageA(::GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
        const HWND viewer = menutest::WaitForWindow("HH Parent", nullptr, 20000);
        helpOpened = viewer != nullptr;
        if (viewer) ::PostMessageA(viewer, WM_CLOSE, 0, 0);
    });
    {
        menutest::Extension job;
        const auto data = menutest::ShellDataObject(files);
        ASSERT_EQ(S_OK, job.init->Initialize(nullptr, data.Get(), nullptr));
        EXPECT_EQ(S_OK, menutest::InvokeOffset(job.menu.Get(), 5, window.Get()));
    }
    watcher.join();

    EXPECT_TRUE(aboutOpened);
    EXPECT_TRUE(movedOnUnderAbout);
    EXPECT_TRUE(helpOpened);
    for (const std::string& file : files) EXPECT_FALSE(Exists(file)) << file;
    EXPECT_EQ(nullptr, menutest::WaitForWindow("#32770", "Veltrane", 0)) << "the dialog stayed";
}

}  // namespace
