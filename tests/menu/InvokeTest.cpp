// The commands of the built veltrane.dll end to end: every wipe command on real files and
// folders, verb strings, a kept selection, Help through the platform's HTML Help control,
// and About with "Latest Info" answered by a recorder registered for http.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>

#include "MenuTestSupport.h"
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

}  // namespace
