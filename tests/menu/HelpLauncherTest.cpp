// Binding the HTML Help control (what is tried, how often, the latch), the help file's path,
// and the Help commands of the menu, observed through a stand-in for the control.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shellext/CShellExt.h"
#include "shellext/HelpLauncher.h"

namespace {

struct HelpCall {
    HWND caller;
    std::string file;
    UINT command;
    DWORD_PTR data;
};
std::vector<HelpCall> g_helpCalls;

HWND WINAPI RecordingHtmlHelp(HWND caller, LPCSTR file, UINT command, DWORD_PTR data) {
    g_helpCalls.push_back({caller, file ? file : "(null)", command, data});
    return reinterpret_cast<HWND>(0x1234);
}

// Stands in for the registry and the loader; counts every attempt.
class FakeSource : public veltrane::HtmlHelpSource {
public:
    std::string registered;             // what the class key says, empty: no key
    std::vector<std::string> loadable;  // names LoadControl succeeds for
    bool hasEntry = true;

    int registryReads = 0;
    std::vector<std::string> loads;
    int lookups = 0;

    std::string RegisteredControlPath() override {
        ++registryReads;
        return registered;
    }
    HMODULE LoadControl(const char* name) override {
        loads.push_back(name);
        for (const std::string& ok : loadable) {
            if (ok == name) return ::GetModuleHandleA(nullptr);
        }
        return nullptr;
    }
    veltrane::HtmlHelpProc FindEntry(HMODULE) override {
        ++lookups;
        return hasEntry ? &RecordingHtmlHelp : nullptr;
    }
};

class HelpBindingTest : public testing::Test {
protected:
    void SetUp() override { g_helpCalls.clear(); }
    FakeSource m_source;
};

TEST_F(HelpBindingTest, RegisteredControlIsLoadedFirstAndOnlyOnce) {
    m_source.registered = "C:\\windows\\system32\\hhctrl.ocx";
    m_source.loadable = {m_source.registered};
    veltrane::HtmlHelpBinding binding(m_source);

    EXPECT_NE(nullptr, binding.Call(nullptr, "a.chm", 0, 0));
    EXPECT_NE(nullptr, binding.Call(nullptr, "b.chm", 0, 7));
    EXPECT_EQ(std::vector<std::string>{m_source.registered}, m_source.loads);
    EXPECT_EQ(1, m_source.registryReads);
    EXPECT_EQ(1, m_source.lookups);
    ASSERT_EQ(2u, g_helpCalls.size());
    EXPECT_EQ("b.chm", g_helpCalls[1].file);
    EXPECT_EQ(7u, g_helpCalls[1].data);
}

TEST_F(HelpBindingTest, FallsBackToTheLibraryNameWhenTheRegistryDoesNotHelp) {
    m_source.loadable = {"hhctrl.ocx"};
    {
        veltrane::HtmlHelpBinding binding(m_source);  // no class key at all
        EXPECT_NE(nullptr, binding.Call(nullptr, "a.chm", 0, 0));
        EXPECT_EQ(std::vector<std::string>{"hhctrl.ocx"}, m_source.loads);
    }
    m_source.loads.clear();
    m_source.registered = "C:\\gone\\hhctrl.ocx";  // key present, file missing
    veltrane::HtmlHelpBinding binding(m_source);
    EXPECT_NE(nullptr, binding.Call(nullptr, "a.chm", 0, 0));
    EXPECT_EQ((std::vector<std::string>{"C:\\gone\\hhctrl.ocx", "hhctrl.ocx"}), m_source.loads);
}

TEST_F(HelpBindingTest, FailedLoadSetsTheLatchAndIsNeverRetried) {
    veltrane::HtmlHelpBinding binding(m_source);
    EXPECT_EQ(nullptr, binding.Call(nullptr, "a.chm", 0, 0));
    EXPECT_TRUE(binding.Failed());
    EXPECT_EQ(1, m_source.registryReads);
    EXPECT_EQ(1u, m_source.loads.size());

    EXPECT_EQ(nullptr, binding.Call(nullptr, "a.chm", 0, 0));
    EXPECT_EQ(1, m_source.registryReads);
    EXPECT_EQ(1u, m_source.loads.size());
    EXPECT_TRUE(g_helpCalls.empty());
}

TEST_F(HelpBindingTest, MissingEntryPointSetsTheLatchToo) {
    m_source.loadable = {"hhctrl.ocx"};
    m_source.hasEntry = false;
    veltrane::HtmlHelpBinding binding(m_source);
    EXPECT_EQ(nullptr, binding.Call(nullptr, "a.chm", 0, 0));
    EXPECT_EQ(nullptr, binding.Call(nullptr, "a.chm", 0, 0));
    EXPECT_TRUE(binding.Failed());
    EXPECT_EQ(1, m_source.lookups);
    EXPECT_EQ(1u, m_source.loads.size());
}

TEST(HelpFilePath, ReplacesTheLastExtensionOfTheModuleName) {
    struct Case {
        std::string module;
        std::string help;
    };
    const Case cases[] = {
        {"C:\\Tools\\wipe.dll", "C:\\Tools\\wipe.chm"},
        {"C:\\Tools\\a.b.dll", "C:\\Tools\\a.b.chm"},
        {"C:\\v1.2\\wipe", "C:\\v1.2\\wipe.chm"},  // a dot in a folder is no extension
        {"C:/Tools/wipe.DLL", "C:/Tools/wipe.chm"},
        {"C:\\" + std::string(251, 'x') + ".dll", "C:\\" + std::string(251, 'x') + ".chm"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.help,
                  veltrane::HelpFilePathFor(c.module.c_str(), static_cast<DWORD>(c.module.size())));
    }
}

TEST(HelpFilePath, NameThatMayBeCutOrWouldNotFitGivesEmptyPath) {
    const std::string full(260, 'x');
    EXPECT_EQ("", veltrane::HelpFilePathFor(full.c_str(), 260));
    EXPECT_EQ("", veltrane::HelpFilePathFor("", 0));
    // 257 characters without extension: ".chm" would make it 261.
    const std::string bare = "C:\\" + std::string(254, 'x');
    EXPECT_EQ("", veltrane::HelpFilePathFor(bare.c_str(), static_cast<DWORD>(bare.size())));
}

TEST(HelpFilePath, LiesBesideTheModule) {
    char module[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameA(nullptr, module, MAX_PATH);
    ASSERT_GT(n, 4u);
    std::string expected(module, n - 4);  // the test program's ".exe"
    EXPECT_EQ(expected + ".chm", veltrane::GetHelpFilePath());
}

// --- the Help commands of the menu -----------------------------------------------------

class HelpCommandTest : public HelpBindingTest {
protected:
    void SetUp() override {
        HelpBindingTest::SetUp();
        veltrane::ResetHtmlHelpBinding(&m_source);
        m_ext = new CShellExt;
        m_ext->AddRef();
    }
    void TearDown() override {
        m_ext->Release();
        veltrane::ResetHtmlHelpBinding(nullptr);
    }
    HRESULT Invoke(UINT offset, HWND hwnd) {
        CMINVOKECOMMANDINFO info = {};
        info.cbSize = sizeof info;
        info.hwnd = hwnd;
        info.lpVerb = MAKEINTRESOURCEA(offset);
        return m_ext->InvokeCommand(&info);
    }
    CShellExt* m_ext = nullptr;
};

TEST_F(HelpCommandTest, HelpAndEveryOffsetAboveAboutOpenTheHelpFileAtItsDefaultTopic) {
    m_source.loadable = {"hhctrl.ocx"};
    const HWND owner = reinterpret_cast<HWND>(0x42);
    for (UINT offset : {6u, 8u, 9u, 0xFFFFu}) {
        EXPECT_EQ(S_OK, Invoke(offset, owner)) << offset;
    }
    ASSERT_EQ(4u, g_helpCalls.size());
    for (const HelpCall& call : g_helpCalls) {
        EXPECT_EQ(owner, call.caller);
        EXPECT_EQ(veltrane::GetHelpFilePath(), call.file);
        EXPECT_EQ(0u, call.command);  // HH_DISPLAY_TOPIC
        EXPECT_EQ(0u, call.data);
    }
    EXPECT_EQ(1u, m_source.loads.size());
}

TEST_F(HelpCommandTest, HelpWithoutTheControlSetsTheLatchAndIsNotRetried) {
    EXPECT_EQ(S_OK, Invoke(6, nullptr));
    const std::size_t attempts = m_source.loads.size();
    EXPECT_EQ(1u, attempts);
    EXPECT_EQ(S_OK, Invoke(6, nullptr));
    EXPECT_EQ(S_OK, Invoke(8, nullptr));
    EXPECT_EQ(attempts, m_source.loads.size());
    EXPECT_EQ(1, m_source.registryReads);
    EXPECT_TRUE(g_helpCalls.empty());
}

}  // namespace
