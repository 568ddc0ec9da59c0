// The whole road as Explorer takes it, driven through the shell host: regsvr32 registers the
// DLL in the prefix, the host finds it through the registry, hands it a real shell data
// object for a sample tree and runs a command.

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "MenuTestSupport.h"
#include "RealDll.h"

namespace {

struct Outcome {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

Outcome RunProgram(const std::string& commandLine) {
    Outcome outcome;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return outcome;
    veltrane::UniqueHandle reader(readEnd);
    veltrane::UniqueHandle writer(writeEnd);
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION process = {};
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &process)) {
        return outcome;
    }
    veltrane::UniqueHandle processHandle(process.hProcess);
    veltrane::UniqueHandle threadHandle(process.hThread);
    writer.reset();  // so that reading ends when the child is gone
    char buffer[4096];
    DWORD got = 0;
    while (::ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        outcome.output.append(buffer, got);
    }
    ::WaitForSingleObject(process.hProcess, 120000);
    ::GetExitCodeProcess(process.hProcess, &outcome.exitCode);
    return outcome;
}

bool Registered() {
    veltrane::UniqueHKey key;
    return ::RegOpenKeyExA(HKEY_CLASSES_ROOT, "*\\shellex\\ContextMenuHandlers\\Veltrane", 0,
                           KEY_READ, key.put()) == ERROR_SUCCESS;
}

std::string Host() {
    return "\"" + menutest::WindowsPath(VELTRANE_SHELLHOST_PATH) + "\"";
}

// Registers the DLL with regsvr32 for the test and leaves the registry as it found it.
class Registration {
public:
    Registration() : m_wasRegistered(Registered()) {
        m_result = RunProgram("regsvr32.exe /s \"" + menutest::DllPath() + "\"");
    }
    ~Registration() {
        if (!m_wasRegistered) RunProgram("regsvr32.exe /u /s \"" + menutest::DllPath() + "\"");
    }
    const Outcome& Result() const { return m_result; }

private:
    bool m_wasRegistered;
    Outcome m_result;
};

TEST(ShellHost, WipesASampleTreeThroughTheRegisteredExtension) {
    menutest::TempDir dir;
    menutest::MakeFolder(dir / "canary");
    menutest::WriteText(dir / "canary\\keep.txt", "keep");
    const std::string canary = menutest::Snapshot(dir / "canary");

    menutest::MakeFolder(dir / "sample");
    menutest::WriteText(dir / "sample\\report.doc", std::string(40000, 'r'));
    menutest::MakeFolder(dir / "sample\\photos");
    menutest::WriteText(dir / "sample\\photos\\1.jpg", std::string(9000, 'p'));
    menutest::MakeFolder(dir / "sample\\photos\\raw");
    menutest::WriteText(dir / "sample\\photos\\raw\\1.raw", std::string(20000, 'w'));
    menutest::WriteText(dir / "sample\\notes.txt", "notes");

    const Registration registration;
    ASSERT_EQ(0u, registration.Result().exitCode) << registration.Result().output;
    ASSERT_TRUE(Registered());

    // The menu as the shell sees it.
    const Outcome list = RunProgram(Host() + " --list \"" + (dir / "sample\\notes.txt") + "\"");
    EXPECT_EQ(0u, list.exitCode) << list.output;
    EXPECT_NE(std::string::npos, list.output.find("popup \"Veltrane\" bitmap")) << list.output;
    EXPECT_NE(std::string::npos, list.output.find("\"Gutmann \\t(35 passes)\"")) << list.output;
    EXPECT_NE(std::string::npos, list.output.find("8 command ids")) << list.output;

    // A verb string runs nothing.
    const Outcome verb =
        RunProgram(Host() + " --verb Random \"" + (dir / "sample\\notes.txt") + "\"");
    EXPECT_EQ(0u, verb.exitCode) << verb.output;
    EXPECT_TRUE(menutest::Exists(dir / "sample\\notes.txt"));

    // "DoD Quick" on a folder and a file beside it.
    const Outcome wipe = RunProgram(Host() + " --invoke 2 \"" + (dir / "sample\\photos") + "\" \"" +
                                    (dir / "sample\\report.doc") + "\"");
    EXPECT_EQ(0u, wipe.exitCode) << wipe.output;
    EXPECT_NE(std::string::npos, wipe.output.find("InvokeCommand offset 2: 0x00000000"))
        << wipe.output;
    EXPECT_FALSE(menutest::Exists(dir / "sample\\photos"));
    EXPECT_FALSE(menutest::Exists(dir / "sample\\report.doc"));
    EXPECT_EQ("notes.txt=notes\n", menutest::Snapshot(dir / "sample"));
    EXPECT_EQ(canary, menutest::Snapshot(dir / "canary"));
}

}  // namespace
