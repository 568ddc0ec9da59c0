// The commands of the real veltrane.dll run end to end: every wipe command on real files and
// folders, verbs, a kept selection, Help through the platform's HTML Help control, and About
// with "Latest Info" answered by a recorder registered for http.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "MenuTestSupport.h"
#include "RealDll.h"
#include "about/InfoUrl.h"
#include "resource.h"

namespace {

using menutest::Exists;

class InvokeTest : public testing::Test {
protected:
    void SetUp() override {
        // Something no command is ever given: it must come out byte for byte the same.
        menutest::MakeFolder(m_dir / "canary");
        menutest::WriteText(m_dir / "canary\\keep.txt", "keep me");
        menutest::MakeFolder(m_dir / "canary\\inner");
        menutest::WriteText(m_dir / "canary\\inner\\also.bin", std::string(5000, '\x5a'));
        m_canary = menutest::Snapshot(m_dir / "canary");
        menutest::MakeFolder(m_dir / "work");
    }
    void TearDown() override { EXPECT_EQ(m_canary, menutest::Snapshot(m_dir / "canary")); }

    std::string Work(const std::string& name) const { return m_dir / ("work\\" + name); }

    // A file and a small tree in the work folder, named after tag.
    std::vector<std::string> MakeItems(const std::string& tag) {
        const std::string file = Work(tag + ".bin");
        const std::string tree = Work(tag + "-tree");
        menutest::WriteText(file, std::string(70000, 'f'));
        menutest::MakeFolder(tree);
        menutest::WriteText(tree + "\\a.txt", "alpha");
        menutest::MakeFolder(tree + "\\sub");
        menutest::WriteText(tree + "\\sub\\b.txt", std::string(3000, 'b'));
        menutest::MakeFolder(tree + "\\sub\\empty");
        return {file, tree};
    }

    // What the shell does before a command is picked: Initialize, then the menu.
    void Prepare(menutest::Extension& ext, IDataObject* data) {
        ASSERT_EQ(S_OK, ext.init->Initialize(nullptr, data, nullptr));
        veltrane::UniqueMenu menu(::CreatePopupMenu());
        ASSERT_EQ(8, ext.menu->QueryContextMenu(menu.get(), 0, 1, 0x7FFF, CMF_NORMAL));
    }

    menutest::TempDir m_dir;
    std::string m_canary;
};

TEST_F(InvokeTest, EveryWipeCommandRemovesTheSelectedFilesAndFolders) {
    for (UINT offset = 0; offset <= 5; ++offset) {
        const std::vector<std::string> items = MakeItems("item" + std::to_string(offset));
        menutest::Extension ext;
        auto data = menutest::ShellDataObject(items);
        ASSERT_TRUE(data);
        Prepare(ext, data.Get());
        EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), offset)) << offset;
        for (const std::string& item : items) EXPECT_FALSE(Exists(item)) << offset << " " << item;
    }
    EXPECT_EQ("", menutest::Snapshot(m_dir / "work")) << "something was left behind";
}

TEST_F(InvokeTest, CommandsNamedByVerbStringsDoNothing) {
    const std::vector<std::string> items = MakeItems("verbs");
    const std::string before = menutest::Snapshot(m_dir / "work");
    menutest::Extension ext;
    auto data = menutest::ShellDataObject(items);
    Prepare(ext, data.Get());
    for (const char* verb : {"Random", "Gutmann", "Help", "About", "Veltrane", ""}) {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.lpVerb = verb;
        EXPECT_EQ(S_OK, ext.menu->InvokeCommand(&info)) << verb;
    }
    EXPECT_EQ(before, menutest::Snapshot(m_dir / "work"));
    EXPECT_EQ(nullptr, menutest::WaitForWindow(nullptr, nullptr, 0)) << "a window was opened";
}

TEST_F(InvokeTest, SelectionKeptAfterANullInitializeIsStillWiped) {
    const std::vector<std::string> items = MakeItems("kept");
    menutest::Extension ext;
    auto shell = menutest::ShellDataObject(items);
    ASSERT_TRUE(shell);
    menutest::CountingDataObject* proxy = menutest::CountingDataObject::Forwarding(shell.Get());
    Prepare(ext, proxy);
    EXPECT_EQ(E_FAIL, ext.init->Initialize(nullptr, nullptr, nullptr));
    EXPECT_EQ(1, proxy->ReleaseCalls());

    EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 4));
    for (const std::string& item : items) EXPECT_FALSE(Exists(item)) << item;
    // A second command on the same object works on the same list, now gone: no harm.
    EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 0));
    ext.menu.Reset();
    ext.init.Reset();  // the object goes, and releases nothing further
    EXPECT_EQ(1, proxy->ReleaseCalls());
    proxy->Release();
}

TEST_F(InvokeTest, HelpOpensTheHelpFileBesideTheDll) {
    const std::string dll = menutest::DllPath();
    const std::string chm = dll.substr(0, dll.size() - 4) + ".chm";
    ASSERT_TRUE(Exists(chm)) << chm;

    menutest::Extension ext;
    auto data = menutest::ShellDataObject(MakeItems("help"));
    Prepare(ext, data.Get());
    for (UINT offset : {6u, 8u}) {
        EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), offset));
        // The viewer's window belongs to this thread.
        HWND viewer = menutest::WaitForWindow("HH Parent", nullptr, 10000);
        ASSERT_NE(nullptr, viewer) << "no help window for offset " << offset;
        ::SendMessageA(viewer, WM_CLOSE, 0, 0);
        EXPECT_FALSE(::IsWindow(viewer));
    }
}

// Points the prefix's http association at the recorder for the life of the object.
class HttpRecorder {
public:
    explicit HttpRecorder(const std::string& log) : m_log(log) {
        m_hadHttp = KeyExists("http");
        m_hadCommand = ReadDefault(kCommandKey, m_oldCommand);
        const std::string command =
            "\"" + menutest::WindowsPath(URL_RECORDER_PATH) + "\" \"%1\" \"" + log + "\"";
        veltrane::UniqueHKey key;
        EXPECT_EQ(ERROR_SUCCESS, ::RegCreateKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, nullptr, 0,
                                                   KEY_WRITE, nullptr, key.put(), nullptr));
        ::RegSetValueExA(key.get(), nullptr, 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(command.c_str()),
                         static_cast<DWORD>(command.size() + 1));
    }
    ~HttpRecorder() {
        if (!m_hadHttp) {
            ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "http");
        } else if (m_hadCommand) {
            veltrane::UniqueHKey key;
            ::RegOpenKeyExA(HKEY_CLASSES_ROOT, kCommandKey, 0, KEY_WRITE, key.put());
            ::RegSetValueExA(key.get(), nullptr, 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(m_oldCommand.c_str()),
                             static_cast<DWORD>(m_oldCommand.size() + 1));
        } else {
            ::RegDeleteKeyA(HKEY_CLASSES_ROOT, kCommandKey);
        }
    }

    // The addresses opened so far, one per line, waiting up to timeoutMs for count of them.
    std::vector<std::string> Opened(std::size_t count, DWORD timeoutMs) const {
        const DWORD start = ::GetTickCount();
        std::vector<std::string> lines;
        do {
            lines.clear();
            const std::string text = menutest::ReadText(m_log);
            std::size_t begin = 0;
            for (std::size_t end; (end = text.find('\n', begin)) != std::string::npos;
                 begin = end + 1) {
                lines.push_back(text.substr(begin, end - begin));
            }
            if (lines.size() >= count) break;
            ::Sleep(50);
        } while (::GetTickCount() - start < timeoutMs);
        return lines;
    }

private:
    static constexpr char kCommandKey[] = "http\\shell\\open\\command";

    static bool KeyExists(const char* path) {
        veltrane::UniqueHKey key;
        return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, path, 0, KEY_READ, key.put()) == ERROR_SUCCESS;
    }
    static bool ReadDefault(const char* path, std::string& value) {
        char buffer[1024] = {};
        LONG size = sizeof buffer - 1;
        if (::RegQueryValueA(HKEY_CLASSES_ROOT, path, buffer, &size) != ERROR_SUCCESS) {
            return false;
        }
        value = buffer;
        return true;
    }

    std::string m_log;
    bool m_hadHttp = false;
    bool m_hadCommand = false;
    std::string m_oldCommand;
};

TEST_F(InvokeTest, AboutShowsItsLinesAndLatestInfoOpensThePageOncePerPress) {
    const HttpRecorder recorder(m_dir / "opened.txt");
    struct Seen {
        bool found = false;
        std::string version, notice;
        bool focusOnOk = false;
        std::vector<std::string> afterFirst, afterSecond;
        bool openAfterPresses = false;
    } seen;

    std::thread watcher([&seen, &recorder] {
        HWND dialog = menutest::WaitForWindow("#32770", "About...", 10000);
        if (!dialog) return;
        seen.found = true;
        seen.version = menutest::ControlText(dialog, IDC_VERSION);
        seen.notice = menutest::ControlText(dialog, IDC_NOTICE);
        seen.focusOnOk = menutest::FocusOfThread(dialog) == ::GetDlgItem(dialog, IDOK);
        const HWND latestInfo = ::GetDlgItem(dialog, IDC_LATEST_INFO);
        ::PostMessageA(latestInfo, BM_CLICK, 0, 0);
        seen.afterFirst = recorder.Opened(1, 20000);
        ::PostMessageA(latestInfo, BM_CLICK, 0, 0);
        seen.afterSecond = recorder.Opened(2, 20000);
        ::Sleep(200);
        seen.openAfterPresses = ::IsWindow(dialog) && ::IsWindowVisible(dialog);
        ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });

    menutest::Extension ext;
    auto data = menutest::ShellDataObject(MakeItems("about"));
    Prepare(ext, data.Get());
    EXPECT_EQ(S_OK, menutest::InvokeOffset(ext.menu.Get(), 7));
    watcher.join();

    ASSERT_TRUE(seen.found);
    EXPECT_EQ("Veltrane v1.0 build 6", seen.version);
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    EXPECT_EQ("Copyright (C) " + std::to_string(now.wYear) + " The Veltrane project", seen.notice);
    EXPECT_TRUE(seen.focusOnOk);
    EXPECT_TRUE(seen.openAfterPresses);

    const std::string url = veltrane::kInfoUrl;
    EXPECT_EQ(std::vector<std::string>{url}, seen.afterFirst);
    EXPECT_EQ((std::vector<std::string>{url, url}), seen.afterSecond);
    // Scheme, a plain host of our own, and exactly the fixed path and query.
    const std::string scheme = "http://";
    const std::string tail = "/patch.php?info=q7";
    ASSERT_GT(url.size(), scheme.size() + tail.size());
    EXPECT_EQ(scheme, url.substr(0, scheme.size()));
    EXPECT_EQ(tail, url.substr(url.size() - tail.size()));
    const std::string host = url.substr(scheme.size(), url.size() - scheme.size() - tail.size());
    EXPECT_EQ(std::string::npos, host.find_first_of("/:@?#%")) << host;
}

}  // namespace
