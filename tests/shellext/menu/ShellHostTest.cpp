// The whole road as on a user's machine, as scripts/main-job.sh takes it: regsvr32 registers
// the DLL in the prefix, the shell host finds it through the registry, hands it a real shell
// data object for a sample tree and runs a command.

#include <gtest/gtest.h>

#include <cstdio>

#include "MenuTestSupport.h"

namespace {

// Runs a command line; returns its exit code and appends its output to output.
int RunCommand(const std::string& command, std::string& output) {
    std::FILE* pipe = ::_popen(("\"" + command + " 2>&1\"").c_str(), "rb");
    char buffer[4096];
    for (std::size_t n; pipe && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        output.append(buffer, n);
    }
    return pipe ? ::_pclose(pipe) : -1;
}

TEST(ShellHost, WipesASampleTreeThroughTheRegisteredExtension) {
    menutest::TempDir dir;
    const auto paths = menutest::MakeTree(
        dir, {"keep.txt", "sample\\", "sample\\report.doc", "sample\\notes.txt", "sample\\photos\\",
              "sample\\photos\\1.jpg", "sample\\photos\\raw\\", "sample\\photos\\raw\\1.raw"});
    const std::string dll = "\"" + menutest::DllPath() + "\"";
    const std::string host = "\"" + menutest::WindowsPath(VELTRANE_SHELLHOST_PATH) + "\" ";
    std::string out;
    ASSERT_EQ(0, RunCommand("regsvr32 /s " + dll, out)) << out;

    EXPECT_EQ(0, RunCommand(host + "--verb Random \"" + paths[3] + "\"", out));
    EXPECT_EQ(0, RunCommand(host + "--invoke 2 \"" + paths[4] + "\" \"" + paths[2] + "\"", out));
    EXPECT_EQ(0, RunCommand("regsvr32 /u /s " + dll, out));

    EXPECT_NE(std::string::npos, out.find("popup \"Veltrane\" bitmap")) << out;
    EXPECT_NE(std::string::npos, out.find("\"Gutmann \\t(35 passes)\"")) << out;
    EXPECT_NE(std::string::npos, out.find("InvokeCommand verb \"Random\": 0x00000000")) << out;
    EXPECT_NE(std::string::npos, out.find("InvokeCommand offset 2: 0x00000000")) << out;
    EXPECT_FALSE(menutest::Exists(paths[4]));  // photos and all in it
    EXPECT_FALSE(menutest::Exists(paths[2]));
    EXPECT_EQ("sample\\notes.txt", menutest::ReadText(paths[3]));  // only named by a verb
    EXPECT_EQ("keep.txt", menutest::ReadText(paths[0]));
}

}  // namespace
