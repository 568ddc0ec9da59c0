// Selections as Explorer hands them over (a wide drop list) to the built DLL: names of every
// script, long paths, names the ordinary path rules would change, roots; and the DLL
// installed under a folder whose name has no ANSI form. Files beside each selection and a
// canary tree outside all of them must keep every byte.

#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "MenuTestSupport.h"
#include "resource.h"
#include "shellext/Guid.h"

namespace {

using veltrane::test::Widen;

// The extended-length form, so the test itself reaches every name it makes.
std::wstring Ext(const std::wstring& path) {
    return path.compare(0, 4, L"\\\\?\\") == 0 ? path : L"\\\\?\\" + path;
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(Ext(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

void MakeFolders(const std::wstring& path) {
    for (std::size_t at = path.find(L'\\', 3); at != std::wstring::npos;
         at = path.find(L'\\', at + 1)) {
        ::CreateDirectoryW(Ext(path.substr(0, at)).c_str(), nullptr);
    }
    ::CreateDirectoryW(Ext(path).c_str(), nullptr);
}

void WriteBytes(const std::wstring& path, const std::string& bytes) {
    MakeFolders(path.substr(0, path.rfind(L'\\')));
    veltrane::UniqueFile file(::CreateFileW(Ext(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                            CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << ::GetLastError();
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), bytes.data(), DWORD(bytes.size()), &written, nullptr));
}

std::string ReadBytes(const std::wstring& path) {
    return veltrane::test::ReadWholeFile(path);
}

using veltrane::test::RemoveTree;

HWND FindOwnDialog(bool report) {
    return veltrane::test::FindOwnWindow("#32770", "Veltrane", [report](HWND window) {
        return ::IsWindowVisible(window) &&
               (::GetDlgItem(window, IDC_REPORT_LIST) != nullptr) == report;
    });
}

// Runs a menu command of `menu` on `paths`, as the shell does after a right-click.
void RunCommand(IShellExtInit* init, IContextMenu* menu, const std::vector<std::wstring>& paths,
                UINT offset) {
    veltrane::test::FakeDataObject drop(paths);
    ASSERT_EQ(S_OK, init->Initialize(nullptr, &drop, nullptr));
    veltrane::UniqueMenu popup(::CreatePopupMenu());
    ASSERT_EQ(8, menu->QueryContextMenu(popup.get(), 0, 1, 0x7FFF, CMF_NORMAL));
    EXPECT_EQ(S_OK, menutest::InvokeOffset(menu, offset));
    // The list lives on this stack: the extension lets go of it before it goes.
    init->Initialize(nullptr, nullptr, nullptr);
}

class PathsTest : public testing::Test {
protected:
    PathsTest() {
        static std::atomic<int> serial{0};
        wchar_t temp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, temp);
        m_root = std::wstring(temp) + L"veltrane-paths-" +
                 std::to_wstring(::GetCurrentProcessId()) + L"-" + std::to_wstring(serial++);
        MakeFolders(m_root);
        // Outside every selection: names that a wrong conversion could reach.
        for (const char* name : {"canary\\a.txt", "canary\\lodz.bin", "canary\\\xC4\x81.txt",
                                 "canary\\deep\\\xE6\x96\x87.txt"}) {
            const std::wstring path = Path(name);
            WriteBytes(path, "canary " + std::string(name));
            m_canary[path] = ReadBytes(path);
        }
    }
    ~PathsTest() override {
        for (const auto& [path, bytes] : m_canary) EXPECT_EQ(bytes, ReadBytes(path));
        RemoveTree(m_root);
    }

    std::wstring Path(const std::string& utf8) const { return m_root + L"\\" + Widen(utf8); }

    void Wipe(const std::vector<std::wstring>& paths, UINT offset = 0) {
        menutest::Extension ext;
        RunCommand(ext.init.Get(), ext.menu.Get(), paths, offset);
    }

    std::wstring m_root;
    std::map<std::wstring, std::string> m_canary;
};

TEST_F(PathsTest, NamesOfEveryScriptAreWipedAndTheirNeighboursKeepEveryByte) {
    const char* selected[] = {"sel\\\xC4\x81.txt",                  // ā: best fit "a.txt"
                              "sel\\\xC5\x82od\xC5\xBA.bin",        // łodź: best fit "lodz.bin"
                              "sel\\\xD0\x96\xD1\x83\xD0\xBA.bin",  // Жук
                              "sel\\\xE6\x96\x87\xE4\xBB\xB6.txt",  // 文件
                              "sel\\\xCE\xB1\xCE\xB2 \xF0\x9F\x94\x92.doc",  // αβ 🔒
                              "sel\\plain.txt"};
    const char* neighbours[] = {"sel\\a.txt", "sel\\lodz.bin", "sel\\neighbour.txt"};
    std::vector<std::wstring> items;
    for (const char* name : selected) {
        WriteBytes(Path(name), std::string(5000, 'S'));
        items.push_back(Path(name));
    }
    for (const char* name : neighbours) WriteBytes(Path(name), "neighbour");
    // A folder with a Cyrillic name and contents.
    WriteBytes(Path("sel\\\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0\\\xC5\x82.txt"), "inside");
    items.push_back(Path("sel\\\xD0\xBF\xD0\xB0\xD0\xBF\xD0\xBA\xD0\xB0"));

    Wipe(items);

    for (const auto& item : items) EXPECT_FALSE(Exists(item));
    for (const char* name : neighbours) EXPECT_EQ("neighbour", ReadBytes(Path(name))) << name;
}

TEST_F(PathsTest, LongPathsAreReachedWholeAndDeepTreesRemovedEntirely) {
    const std::string d150(150, 'd');
    const std::wstring longFile = Path("long\\" + d150 + "\\" + d150 + "\\file of a long path.txt");
    ASSERT_GT(longFile.size(), 357u - 60u);
    ASSERT_GT(longFile.size(), 300u);
    WriteBytes(longFile, std::string(10000, 'L'));
    const std::string n240(240, 'n');
    WriteBytes(Path("tree\\shallow.txt"), "shallow");
    WriteBytes(Path("tree\\" + n240 + "\\inner\\deep.txt"), "deep");
    WriteBytes(Path("tree\\" + n240 + "\\" + std::string(30, 'x') + ".bin"), "deep too");
    WriteBytes(Path("long\\" + d150 + "\\neighbour.txt"), "neighbour");

    Wipe({longFile, Path("tree")});

    EXPECT_FALSE(Exists(longFile));
    EXPECT_FALSE(Exists(Path("tree")));
    EXPECT_EQ("neighbour", ReadBytes(Path("long\\" + d150 + "\\neighbour.txt")));
}

TEST_F(PathsTest, NamesTheOrdinaryRulesWouldChangeAreWipedAsFiles) {
    std::vector<std::wstring> items;
    for (const char* name : {"odd\\notes.", "odd\\nul.txt", "odd\\con", "odd\\trail "}) {
        WriteBytes(Path(name), "odd file");
        ASSERT_TRUE(Exists(Path(name))) << name;
        items.push_back(Path(name));
    }
    WriteBytes(Path("odd\\notes"), "neighbour of notes.");

    Wipe(items);

    for (const auto& item : items) EXPECT_FALSE(Exists(item));
    EXPECT_EQ("neighbour of notes.", ReadBytes(Path("odd\\notes")));
}

TEST_F(PathsTest, DriveAndShareRootsAreRefusedAsAWhole) {
    // A drive of the test's own: what a wrong answer would destroy is only its folder.
    WriteBytes(Path("drive\\victim.txt"), "on the drive");
    WriteBytes(Path("drive\\folder\\inside.txt"), "inside");
    // Wine keeps its drives as links in the prefix's dosdevices folder.
    using UnixName = char*(CDECL*)(const wchar_t*);
    const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
    const char* prefix = std::getenv("WINEPREFIX");
    if (!unixName || !prefix) GTEST_SKIP() << "needs Wine's drive links";
    char* target = unixName(Path("drive").c_str());
    ASSERT_NE(nullptr, target);
    const std::string unixTarget = target;
    const std::string link = std::string(prefix) + "/dosdevices/q:";
    ::HeapFree(::GetProcessHeap(), 0, target);
    const auto run = [](const std::wstring& program, std::wstring line) {
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!::CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                              nullptr, &startup, &process)) {
            ADD_FAILURE() << "cannot start a Unix program: " << ::GetLastError();
            return;
        }
        ::WaitForSingleObject(process.hProcess, 30000);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    };
    run(L"Z:\\bin\\ln", Widen("/bin/ln -sfn " + unixTarget + " " + link));
    struct Unlink {
        std::function<void(const std::wstring&, std::wstring)> run;
        std::wstring line;
        ~Unlink() { run(L"Z:\\bin\\rm", line); }
    } unlink{run, Widen("/bin/rm -f " + link)};
    // Wine may report the Linux program ended before it has run: wait for the link.
    for (int i = 0; i < 1000 && !Exists(L"Q:\\victim.txt"); ++i) ::Sleep(10);
    if (!Exists(L"Q:\\victim.txt")) GTEST_SKIP() << "no drive letter for " << unixTarget;

    // Each refusal is reported at the end of the job: read the report and close it.
    std::wstring report;
    std::thread watcher([&report] { report = menutest::ReadAndCloseReport(); });
    Wipe({L"Q:\\", L"Q:", L"\\\\veltrane-no-host\\share", L"\\\\veltrane-no-host\\share\\"});
    watcher.join();
    std::size_t refusals = 0;
    for (std::size_t at = report.find(L"a whole drive or share is never wiped");
         at != std::wstring::npos; at = report.find(L"a whole drive or share", at + 1)) {
        ++refusals;
    }
    EXPECT_EQ(4u, refusals) << std::string(report.begin(), report.end());

    EXPECT_EQ("on the drive", ReadBytes(Path("drive\\victim.txt")));
    EXPECT_EQ("inside", ReadBytes(Path("drive\\folder\\inside.txt")));
}

TEST_F(PathsTest, InstalledUnderANonAnsiFolderItRegistersFindsHelpAndPlaysItsAnimation) {
    // The DLL, its help file and its animation, copied as setup would copy them.
    const std::wstring folder =
        Path("\xD0\x92\xD0\xB5\xD0\xBB\xD1\x8C\xD1\x82\xD1\x80\xD0\xB0\xD0\xBD");
    MakeFolders(folder);
    const std::wstring built = Widen(menutest::DllPath());
    const std::wstring builtFolder = built.substr(0, built.rfind(L'\\') + 1);
    const std::wstring dll = folder + L"\\veltrane.dll";
    ASSERT_TRUE(::CopyFileW(built.c_str(), dll.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((built.substr(0, built.size() - 4) + L".chm").c_str(),
                            (folder + L"\\veltrane.chm").c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW((builtFolder + L"pencil.avi").c_str(),
                            (folder + L"\\pencil.avi").c_str(), FALSE));
    const HMODULE module = ::LoadLibraryW(dll.c_str());
    ASSERT_NE(nullptr, module);
    const auto entry = [module](const char* name) {
        return reinterpret_cast<void*>(::GetProcAddress(module, name));
    };

    // Registration writes the module's own path, whole.
    using Register = HRESULT(WINAPI*)();
    ASSERT_EQ(S_OK, reinterpret_cast<Register>(entry("DllRegisterServer"))());
    wchar_t server[1024] = {};
    DWORD size = sizeof server;
    wchar_t classId[64] = {};
    ::StringFromGUID2(CLSID_ShellExt, classId, 64);
    const std::wstring key = L"CLSID\\" + std::wstring(classId) + L"\\InProcServer32";
    EXPECT_EQ(ERROR_SUCCESS, ::RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, RRF_RT_REG_SZ,
                                            nullptr, server, &size));
    EXPECT_EQ(dll, server);
    EXPECT_EQ(S_OK, reinterpret_cast<Register>(entry("DllUnregisterServer"))());

    using GetClassObject = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);
    struct CopyExtension {
        veltrane::ComPtr<IShellExtInit> init;
        veltrane::ComPtr<IContextMenu> menu;
    };
    const auto create = [&](CopyExtension& ext) {
        veltrane::ComPtr<IClassFactory> factory;
        ASSERT_EQ(S_OK, reinterpret_cast<GetClassObject>(entry("DllGetClassObject"))(
                            CLSID_ShellExt, IID_IClassFactory, factory.PutVoid()));
        ASSERT_EQ(S_OK, factory->CreateInstance(nullptr, IID_IShellExtInit, ext.init.PutVoid()));
        ASSERT_EQ(S_OK, ext.init->QueryInterface(IID_IContextMenu, ext.menu.PutVoid()));
    };

    // Help finds veltrane.chm beside the module: the viewer opens only on a file it read.
    {
        CopyExtension ext;
        create(ext);
        WriteBytes(Path("help.txt"), "for the selection");
        RunCommand(ext.init.Get(), ext.menu.Get(), {Path("help.txt")}, 6);
        const HWND viewer = menutest::WaitForWindow("HH Parent", nullptr, 10000);
        ASSERT_NE(nullptr, viewer);
        menutest::CloseWindowSettled(viewer);
    }

    // The progress dialog plays pencil.avi (the control takes the clip's 64 x 48 size) and
    // shows a long path shortened in the middle, its own name kept.
    const std::wstring big = Path(std::string(200, 'p') + "\\\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.bin");
    WriteBytes(big, std::string(8 << 20, 'B'));
    RECT clip{};
    std::wstring pathLine;
    std::atomic<bool> ended{false};
    std::thread watcher([&] {
        int i = 0;
        for (; i < 2000; ++i, ::Sleep(10)) {
            const HWND dialog = FindOwnDialog(false);
            if (!dialog) continue;
            ::GetClientRect(::GetDlgItem(dialog, IDC_ANIMATE), &clip);
            wchar_t text[1024] = {};
            ::GetDlgItemTextW(dialog, IDC_PATH, text, 1024);
            pathLine = text;
            ::PostMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
            break;
        }
        // A cancel that stopped the file after its rename is reported: close the report.
        for (; i < 2000 && !ended; ++i, ::Sleep(10)) {
            if (const HWND report = FindOwnDialog(true)) {
                ::PostMessageW(::GetDlgItem(report, IDOK), BM_CLICK, 0, 0);
                return;
            }
        }
    });
    {
        CopyExtension ext;
        create(ext);
        RunCommand(ext.init.Get(), ext.menu.Get(), {big}, 5);  // Gutmann: long enough to see
    }
    ended = true;
    watcher.join();
    EXPECT_EQ(64, clip.right);
    EXPECT_EQ(48, clip.bottom);
    ASSERT_FALSE(pathLine.empty());
    EXPECT_NE(std::wstring::npos, pathLine.find(L"..."));
    EXPECT_LT(pathLine.size(), big.size());
    const std::wstring name = Widen("\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.bin");
    EXPECT_EQ(name, pathLine.substr(pathLine.size() - name.size()));
    ::FreeLibrary(module);
}

TEST_F(PathsTest, WhatCouldNotBeWipedIsReportedOnceAndCopiedAsShown) {
    const std::string kInUse =
        "mixed\\\xC5\x82\xC3\xB3"
        "d\xC5\xBA.txt";  // łódź.txt
    WriteBytes(Path("mixed\\a.txt"), "alpha");
    WriteBytes(Path(kInUse), "in use");
    WriteBytes(Path("mixed\\readonly.txt"), "read-only");
    WriteBytes(Path("mixed\\z.txt"), "zulu");
    veltrane::UniqueFile held(::CreateFileW(Ext(Path(kInUse)).c_str(), GENERIC_READ, 0, nullptr,
                                            OPEN_EXISTING, 0, nullptr));
    ASSERT_TRUE(held);
    // Wine as root writes a read-only file but cannot delete it.
    ASSERT_TRUE(
        ::SetFileAttributesW(Ext(Path("mixed\\readonly.txt")).c_str(), FILE_ATTRIBUTE_READONLY));

    int reports = 0;
    std::wstring list, clipboard;
    std::thread watcher([&] {
        for (int i = 0; i < 3000; ++i, ::Sleep(10)) {
            const HWND dialog = FindOwnDialog(true);
            if (!dialog) continue;
            ++reports;
            list = veltrane::test::ListViewText(::GetDlgItem(dialog, IDC_REPORT_LIST));
            ::SendMessageW(::GetDlgItem(dialog, IDC_REPORT_COPY), BM_CLICK, 0, 0);
            if (::OpenClipboard(nullptr)) {
                if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
                    clipboard = static_cast<const wchar_t*>(::GlobalLock(data));
                    ::GlobalUnlock(data);
                }
                ::CloseClipboard();
            }
            ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            return;
        }
    });
    Wipe({Path("mixed\\a.txt"), Path(kInUse), Path("mixed\\readonly.txt"), Path("mixed\\z.txt")});
    watcher.join();
    held.reset();

    EXPECT_EQ(1, reports);
    EXPECT_FALSE(Exists(Path("mixed\\a.txt")));
    EXPECT_FALSE(Exists(Path("mixed\\z.txt")));
    EXPECT_EQ("in use", ReadBytes(Path(kInUse)));
    std::size_t lines = 0;
    for (std::size_t at = list.find(L"\r\n"); at != std::wstring::npos;
         at = list.find(L"\r\n", at + 2)) {
        ++lines;
    }
    EXPECT_EQ(2u, lines);
    EXPECT_NE(std::wstring::npos, list.find(Path(kInUse) + L"\tleft as it was\tanother program"));
    EXPECT_NE(std::wstring::npos,
              list.find(Path("mixed\\readonly.txt") + L"\tleft partly wiped as "));
    EXPECT_EQ(list, clipboard);

    // A job that wipes everything shows nothing more.
    WriteBytes(Path("clean\\b.txt"), "bravo");
    reports = 0;
    std::thread quiet([&] {
        for (int i = 0; i < 50; ++i, ::Sleep(10)) {
            const HWND dialog = FindOwnDialog(true);
            if (dialog) {
                ++reports;
                ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            }
        }
    });
    Wipe({Path("clean\\b.txt")});
    quiet.join();
    EXPECT_EQ(0, reports);
    EXPECT_FALSE(Exists(Path("clean\\b.txt")));
}

}  // namespace
