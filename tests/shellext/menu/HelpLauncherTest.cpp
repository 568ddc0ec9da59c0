// Binding the HTML Help control (what is tried, how often, the latch), the help file's path,
// and the menu's Help commands, observed through a stand-in for the registry and loader.

#include <gtest/gtest.h>

#include <algorithm>

#include "MenuTestSupport.h"
#include "shellext/CShellExt.h"
#include "framework/WideText.h"
#include "shellext/HelpLauncher.h"

namespace {

std::vector<std::string> g_calls;  // "file command data" per HtmlHelpA call

HWND WINAPI RecordingHtmlHelp(HWND, LPCWSTR file, UINT command, DWORD_PTR data) {
    std::string name;
    EXPECT_TRUE(veltrane::ToUtf8(file, name));
    g_calls.push_back(name + " " + std::to_string(command) + " " + std::to_string(data));
    return reinterpret_cast<HWND>(1);
}

struct FakeSource : veltrane::HtmlHelpSource {
    std::string registered;             // the class key's path; empty: no key
    std::vector<std::string> loadable;  // what LoadControl succeeds for
    bool hasEntry = true;
    int registryReads = 0, lookups = 0;
    std::vector<std::string> loads;

    std::string RegisteredControlPath() override { return ++registryReads, registered; }
    HMODULE LoadControl(const char* name) override {
        loads.push_back(name);
        const bool ok = std::find(loadable.begin(), loadable.end(), name) != loadable.end();
        return ok ? ::GetModuleHandleA(nullptr) : nullptr;
    }
    veltrane::HtmlHelpProc FindEntry(HMODULE) override {
        return ++lookups, hasEntry ? &RecordingHtmlHelp : nullptr;
    }
};

TEST(HtmlHelpBinding, RegisteredPathFirstThenTheNameAndBoundOnlyOnce) {
    FakeSource source;
    source.registered = "C:\\gone\\hhctrl.ocx";
    source.loadable = {"hhctrl.ocx"};
    veltrane::HtmlHelpBinding binding(source);
    g_calls.clear();
    EXPECT_NE(nullptr, binding.Call(nullptr, L"a.chm", 0, 0));
    EXPECT_NE(nullptr, binding.Call(nullptr, L"b.chm", 3, 7));
    EXPECT_EQ((std::vector<std::string>{"C:\\gone\\hhctrl.ocx", "hhctrl.ocx"}), source.loads);
    EXPECT_EQ(1, source.registryReads);
    EXPECT_EQ(1, source.lookups);
    EXPECT_EQ((std::vector<std::string>{"a.chm 0 0", "b.chm 3 7"}), g_calls);
}

TEST(HtmlHelpBinding, NoLibraryOrNoEntryPointSetsTheLatchAndNothingIsTriedAgain) {
    for (bool libraryThere : {false, true}) {
        FakeSource source;
        source.loadable = {"hhctrl.ocx"};
        if (!libraryThere) source.loadable.clear();
        source.hasEntry = false;
        veltrane::HtmlHelpBinding binding(source);
        EXPECT_EQ(nullptr, binding.Call(nullptr, L"a.chm", 0, 0));
        EXPECT_EQ(nullptr, binding.Call(nullptr, L"a.chm", 0, 0));
        EXPECT_TRUE(binding.Failed());
        EXPECT_EQ(1, source.registryReads);
        EXPECT_EQ(1u, source.loads.size());
        EXPECT_EQ(libraryThere ? 1 : 0, source.lookups);
    }
}

TEST(HelpFilePath, LastExtensionOfTheModuleNameBecomesChm) {
    const std::string deep = "C:\\" + std::string(300, 'x');  // past the old 260 limit
    const std::pair<std::string, std::string> cases[] = {
        {"C:\\Tools\\wipe.dll", "C:\\Tools\\wipe.chm"},
        {"C:\\Tools\\a.b.dll", "C:\\Tools\\a.b.chm"},
        {"C:\\v1.2\\wipe", "C:\\v1.2\\wipe.chm"},  // a dot in a folder is no extension
        {deep + ".dll", deep + ".chm"},
        {"C:\\Program Files\\\xD0\x92\xD0\xB5\\veltrane.dll",
         "C:\\Program Files\\\xD0\x92\xD0\xB5\\veltrane.chm"},
        {"", ""}};
    for (const auto& [module, help] : cases) EXPECT_EQ(help, veltrane::HelpFilePathFor(module));
    wchar_t self[MAX_PATH] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::string selfUtf8;
    ASSERT_TRUE(veltrane::ToUtf8(std::wstring(self, n - 4), selfUtf8));
    EXPECT_EQ(selfUtf8 + ".chm", veltrane::GetHelpFilePath());
}

class HelpCommandTest : public testing::Test {
protected:
    HelpCommandTest() : m_ext(new CShellExt) {
        m_ext->AddRef();
        veltrane::ResetHtmlHelpBinding(&m_source);
        g_calls.clear();
    }
    ~HelpCommandTest() override {
        m_ext->Release();
        veltrane::ResetHtmlHelpBinding(nullptr);
    }
    FakeSource m_source;
    CShellExt* m_ext;
};

TEST_F(HelpCommandTest, HelpAndEveryOffsetAboveAboutOpenTheHelpFileAtItsDefaultTopic) {
    m_source.loadable = {"hhctrl.ocx"};
    for (UINT offset : {6u, 8u, 0xFFFFu}) EXPECT_EQ(S_OK, menutest::InvokeOffset(m_ext, offset));
    const std::string call = veltrane::GetHelpFilePath() + " 0 0";  // HH_DISPLAY_TOPIC is 0
    EXPECT_EQ(std::vector<std::string>(3, call), g_calls);
}

TEST_F(HelpCommandTest, HelpWithoutTheControlSetsTheLatchAndIsNotRetried) {
    for (UINT offset : {6u, 6u, 9u}) EXPECT_EQ(S_OK, menutest::InvokeOffset(m_ext, offset));
    EXPECT_EQ(1u, m_source.loads.size());
    EXPECT_EQ(1, m_source.registryReads);
    EXPECT_TRUE(g_calls.empty());
}

}  // namespace
