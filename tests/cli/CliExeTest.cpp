// veltrane.exe as a user or a script meets it: started with CreateProcessW on real files
// under Wine, its standard output and error captured in files (so UTF-8), its exit status
// read. The engine's own behaviour is tested elsewhere; these prove the program's wiring.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "support/WinTestSupport.h"
#include "MiniJson.h"
#include "framework/Handles.h"
#include "wipe/Unicode.h"

namespace veltrane {
namespace {

std::string Utf8(const std::wstring& wide) {
    std::string out;
    EXPECT_TRUE(Utf16ToUtf8(std::u16string(wide.begin(), wide.end()), out));
    return out;
}

std::wstring ExePath() {
    const std::string unix = VELTRANE_EXE;
    std::wstring path = L"Z:";
    for (char c : unix) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
    return path;
}

std::string ReadAll(const std::wstring& path) {
    return test::ReadWholeFile(path);
}

void WriteAll(const std::wstring& path, const std::string& contents) {
    UniqueFile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << Utf8(path);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()),
                            &written, nullptr));
}

bool Exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Every entry below a folder: name to contents ("<folder>" for folders).
void Snapshot(const std::wstring& folder, const std::wstring& prefix,
              std::map<std::wstring, std::string>& out) {
    WIN32_FIND_DATAW data;
    UniqueFindHandle find(::FindFirstFileW((folder + L"\\*").c_str(), &data));
    if (!find) return;
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            out[prefix + name + L"\\"] = "<folder>";
            Snapshot(folder + L"\\" + name, prefix + name + L"\\", out);
        } else {
            out[prefix + name] = ReadAll(folder + L"\\" + name);
        }
    } while (::FindNextFileW(find.get(), &data));
}

std::map<std::wstring, std::string> Snapshot(const std::wstring& folder) {
    std::map<std::wstring, std::string> out;
    Snapshot(folder, L"", out);
    return out;
}

using test::RemoveTree;

struct Result {
    DWORD status = 0xFFFFFFFF;
    std::string out;
    std::string err;
};

class CliExeTest : public ::testing::Test {
protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH];
        ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
        static int count = 0;
        m_root = std::wstring(temp) + L"veltrane-cli-" + std::to_wstring(::GetCurrentProcessId()) +
                 L"-" + std::to_wstring(++count);
        RemoveTree(m_root);  // left by an earlier run that was stopped (Wine reuses ids)
        ASSERT_TRUE(::CreateDirectoryW(m_root.c_str(), nullptr));
        m_data = m_root + L"\\data";
        ASSERT_TRUE(::CreateDirectoryW(m_data.c_str(), nullptr));
    }
    void TearDown() override { RemoveTree(m_root); }

    std::wstring Path(const std::wstring& relative) const { return m_data + L"\\" + relative; }

    // Runs veltrane.exe with the arguments, each quoted; `folder` is its current folder.
    // `whileRunning`, when given, is called with the started process before the wait.
    Result Run(const std::vector<std::wstring>& args, const std::wstring& folder = L"",
               DWORD flags = CREATE_NO_WINDOW,
               const std::function<void(const PROCESS_INFORMATION&)>& whileRunning = {}) {
        Result result;
        // Fresh files each time: Wine may report the child ended before its handles close.
        const std::wstring run = std::to_wstring(++m_runs);
        const std::wstring outPath = m_root + L"\\stdout" + run + L".txt";
        const std::wstring errPath = m_root + L"\\stderr" + run + L".txt";
        {
            SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
            UniqueFile out(::CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            UniqueFile err(::CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
            EXPECT_TRUE(out && err);
            std::wstring line = L"\"" + ExePath() + L"\"";
            for (const std::wstring& arg : args) line += L" \"" + arg + L"\"";
            STARTUPINFOW startup{};
            startup.cb = sizeof startup;
            startup.dwFlags = STARTF_USESTDHANDLES;
            startup.hStdInput = nullptr;
            startup.hStdOutput = out.get();
            startup.hStdError = err.get();
            PROCESS_INFORMATION process{};
            std::vector<wchar_t> buffer(line.begin(), line.end());
            buffer.push_back(L'\0');
            const BOOL started =
                ::CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, flags, nullptr,
                                 folder.empty() ? nullptr : folder.c_str(), &startup, &process);
            EXPECT_TRUE(started) << ::GetLastError();
            if (!started) return result;
            UniqueHandle thread(process.hThread);
            UniqueHandle handle(process.hProcess);
            if (whileRunning) whileRunning(process);
            ::WaitForSingleObject(handle.get(), INFINITE);
            ::GetExitCodeProcess(handle.get(), &result.status);
        }
        result.out = ReadAll(outPath);
        result.err = ReadAll(errPath);
        return result;
    }

    std::wstring m_root;
    std::wstring m_data;
    int m_runs = 0;
};

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(CliExeTest, VersionAndHelp) {
    Result r = Run({L"--version"});
    EXPECT_EQ(r.status, 0u);
    EXPECT_EQ(r.out, "Veltrane v1.0 build 6\n");
    r = Run({L"--help"});
    EXPECT_EQ(r.status, 0u);
    EXPECT_EQ(r.out.rfind("Usage: veltrane", 0), 0u) << r.out;
    EXPECT_TRUE(Contains(r.out, "--dry-run"));
}

TEST_F(CliExeTest, UsageErrorsGiveTwoAndTouchNothing) {
    WriteAll(Path(L"keep.txt"), "keep");
    for (const auto& args :
         std::vector<std::vector<std::wstring>>{{},
                                                {L"--method", L"bogus", Path(L"keep.txt")},
                                                {L"--bogus", Path(L"keep.txt")},
                                                {Path(L"keep.txt"), L"--method"}}) {
        const Result r = Run(args);
        EXPECT_EQ(r.status, 2u) << r.err;
        EXPECT_TRUE(Contains(r.err, "veltrane: ")) << r.err;
        EXPECT_TRUE(Contains(r.err, "--help")) << r.err;
    }
    EXPECT_EQ(ReadAll(Path(L"keep.txt")), "keep");
}

TEST_F(CliExeTest, UnicodeAndLongPathsAreWipedExactly) {
    // "a b.txt" is what best-fit mapping would make of "ā b.txt": it must survive.
    const std::wstring names[] = {L"\u0101 b.txt", L"\u65e5\u672c\u8a9e.txt",
                                  L"\U0001F600 smile.txt", L"trailing dot."};
    for (const std::wstring& name : names) WriteAll(L"\\\\?\\" + Path(name), "secret");
    WriteAll(Path(L"a b.txt"), "bystander");
    std::wstring deep = Path(L"");
    deep.pop_back();
    for (int i = 0; i < 3; ++i) {
        deep += L"\\" + std::wstring(100, static_cast<wchar_t>(L'k' + i));
        ASSERT_TRUE(::CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr));
    }
    const std::wstring longFile = deep + L"\\long \u0101.txt";
    ASSERT_GT(longFile.size(), 300u);
    WriteAll(L"\\\\?\\" + longFile, "secret");

    std::vector<std::wstring> args;
    for (const std::wstring& name : names) args.push_back(Path(name));
    args.push_back(longFile);
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.out, "5 wiped, 0 not wiped\n");
    EXPECT_EQ(r.err, "");
    const auto left = Snapshot(m_data);
    EXPECT_EQ(left.count(L"a b.txt"), 1u);
    EXPECT_EQ(left.size(), 4u);  // the bystander and the three long folders
    for (const auto& entry : left) EXPECT_NE(entry.second, "secret") << Utf8(entry.first);
}

TEST_F(CliExeTest, FolderWithoutRecursiveIsRefusedAndUntouched) {
    ASSERT_TRUE(::CreateDirectoryW(Path(L"dir").c_str(), nullptr));
    WriteAll(Path(L"dir\\a.txt"), "alpha");
    const auto before = Snapshot(m_data);
    const Result r = Run({Path(L"dir")});
    EXPECT_EQ(r.status, 1u);
    EXPECT_TRUE(Contains(r.err, Utf8(Path(L"dir")) + ": it is a folder; use -r")) << r.err;
    EXPECT_EQ(r.out, "0 wiped, 1 not wiped\n");
    EXPECT_EQ(Snapshot(m_data), before);

    const Result recursive = Run({L"-r", Path(L"dir")});
    EXPECT_EQ(recursive.status, 0u) << recursive.err;
    EXPECT_FALSE(Exists(Path(L"dir")));
}

TEST_F(CliExeTest, DryRunListsAndChangesNoByte) {
    ASSERT_TRUE(::CreateDirectoryW(Path(L"tree").c_str(), nullptr));
    ASSERT_TRUE(::CreateDirectoryW(Path(L"tree\\sub \u0101").c_str(), nullptr));
    WriteAll(Path(L"tree\\a.txt"), "alpha");
    WriteAll(Path(L"tree\\sub \u0101\\b.txt"), "bravo");
    WriteAll(Path(L"single.txt"), "single");
    const auto before = Snapshot(m_data);
    const Result r = Run({L"--dry-run", L"-r", Path(L"tree"), Path(L"single.txt")});
    EXPECT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(Snapshot(m_data), before);
    for (const std::wstring& line :
         {L"wipe: " + Path(L"tree\\a.txt"), L"wipe: " + Path(L"tree\\sub \u0101\\b.txt"),
          L"remove folder: " + Path(L"tree\\sub \u0101"), L"remove folder: " + Path(L"tree"),
          L"wipe: " + Path(L"single.txt")}) {
        EXPECT_TRUE(Contains(r.out, Utf8(line) + "\n")) << Utf8(line) << "\n" << r.out;
    }
    EXPECT_TRUE(Contains(r.out, "2 would be wiped, 0 would not be wiped")) << r.out;
}

TEST_F(CliExeTest, LockedFileGivesStatusOneItsLineAndTheSummary) {
    WriteAll(Path(L"free.txt"), "free");
    WriteAll(Path(L"locked.txt"), "locked");
    {
        UniqueFile held(::CreateFileW(Path(L"locked.txt").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(held);
        const Result r = Run({Path(L"free.txt"), Path(L"locked.txt")});
        EXPECT_EQ(r.status, 1u);
        EXPECT_EQ(r.err, "veltrane: " + Utf8(Path(L"locked.txt")) +
                             ": the file could not be wiped (error 32)\n");
        EXPECT_EQ(r.out, "1 wiped, 1 not wiped\n");
    }
    EXPECT_FALSE(Exists(Path(L"free.txt")));
    EXPECT_EQ(ReadAll(Path(L"locked.txt")), "locked");

    // Queued for the next sign-in instead, listed, and taken off the queue again. (The
    // queue is this user's: a test beside this one may hold an entry of its own.)
    const std::string locked = Utf8(Path(L"locked.txt"));
    Result r = Run({L"--at-next-sign-in", L"--method", L"dod", Path(L"locked.txt")});
    EXPECT_EQ(r.status, 0u) << r.err;
    EXPECT_EQ(r.out, "1 queued, to be wiped at your next sign-in\n");
    r = Run({L"--pending"});
    EXPECT_NE(r.out.find(locked + " (DoD Standard (7 passes))\n"), std::string::npos) << r.out;
    r = Run({L"--pending", L"--clear"});
    EXPECT_EQ(r.status, 0u) << r.err;
    r = Run({L"--pending"});
    EXPECT_EQ(r.out.find(locked), std::string::npos) << r.out;
    EXPECT_EQ(ReadAll(Path(L"locked.txt")), "locked");
}

TEST_F(CliExeTest, JsonParsesAndListsEveryItem) {
    WriteAll(Path(L"\u0101 'q' & %x%.txt"), "x");
    ASSERT_TRUE(::CreateDirectoryW(Path(L"dir").c_str(), nullptr));
    const Result r = Run({L"--json", L"--method", L"dod", Path(L"\u0101 'q' & %x%.txt"),
                          Path(L"missing.txt"), Path(L"dir")});
    EXPECT_EQ(r.status, 1u);
    test::JsonValue doc;
    ASSERT_TRUE(test::ParseJson(r.out, doc)) << r.out;
    EXPECT_EQ(doc["version"].text, "Veltrane v1.0 build 6");
    EXPECT_EQ(doc["method"].text, "dod");
    EXPECT_EQ(doc["wiped"].number, 1);
    EXPECT_EQ(doc["notWiped"].number, 2);
    const auto& items = doc["items"].items;
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]["path"].text, Utf8(Path(L"\u0101 'q' & %x%.txt")));
    EXPECT_EQ(items[0]["outcome"].text, "wiped");
    EXPECT_EQ(items[1]["outcome"].text, "not wiped");
    EXPECT_EQ(items[1]["failures"].items.at(0)["reason"].text, "it could not be found or read");
    EXPECT_EQ(items[2]["outcome"].text, "not wiped");
    EXPECT_TRUE(Exists(Path(L"dir")));
    EXPECT_TRUE(Contains(r.err, "1 wiped, 2 not wiped\n")) << r.err;
}

TEST_F(CliExeTest, RelativeArgumentsResolveAgainstTheCurrentFolder) {
    WriteAll(Path(L"rel \u0101.txt"), "x");
    ASSERT_TRUE(::CreateDirectoryW(Path(L"keep").c_str(), nullptr));
    WriteAll(Path(L"keep\\k.txt"), "k");
    Result r = Run({L"rel \u0101.txt"}, m_data);
    EXPECT_EQ(r.status, 0u) << r.err;
    EXPECT_FALSE(Exists(Path(L"rel \u0101.txt")));
    // "." is never wiped, even with -r; the folder stays whole.
    r = Run({L"-r", L"."}, Path(L"keep"));
    EXPECT_EQ(r.status, 1u);
    EXPECT_EQ(ReadAll(Path(L"keep\\k.txt")), "k");
}

// --free-space on a drive of its own, a small tmpfs: filled, overwritten and given back,
// the file on it untouched; a share is refused, a missing drive is a usage error.
TEST_F(CliExeTest, FreeSpaceOfASmallDriveIsOverwrittenAndGivenBack) {
    EXPECT_EQ(2u, Run({L"--free-space"}).status);
    const Result share = Run({L"--free-space", L"\\\\veltrane-no-host\\share"});
    EXPECT_EQ(1u, share.status);
    EXPECT_TRUE(Contains(share.err, "was not wiped")) << share.err;

    test::ScratchDrive drive(L'V', 8);
    if (!drive.Ready()) GTEST_SKIP() << drive.Why();
    WriteAll(drive.Root() + L"kept.txt", "kept");
    ULARGE_INTEGER before{}, after{};
    ASSERT_TRUE(::GetDiskFreeSpaceExW(drive.Root().c_str(), &before, nullptr, nullptr));
    const Result r = Run({L"--free-space", L"V:", L"--method", L"random2", L"--json"});
    ASSERT_TRUE(::GetDiskFreeSpaceExW(drive.Root().c_str(), &after, nullptr, nullptr));
    EXPECT_EQ(0u, r.status) << r.err;
    test::JsonValue doc;
    ASSERT_TRUE(test::ParseJson(r.out, doc)) << r.out;
    const test::JsonValue& fs = doc["freeSpace"];
    EXPECT_EQ("V:\\", fs["volume"].text);
    EXPECT_TRUE(fs["wiped"].boolean);
    EXPECT_EQ(2, fs["passesDone"].number);
    EXPECT_EQ(static_cast<double>(before.QuadPart), fs["freeBytesAtStart"].number);
    EXPECT_GE(fs["bytesCovered"].number + 4096, fs["freeBytesAtStart"].number);
    EXPECT_TRUE(Contains(r.err, "The free space of V:\\ was overwritten")) << r.err;
    EXPECT_EQ(before.QuadPart, after.QuadPart);
    EXPECT_EQ((std::map<std::wstring, std::string>{{L"kept.txt", "kept"}}),
              Snapshot(drive.Root().substr(0, 2)));
}

// --recycle-bin on a trash of the test's own (XDG_DATA_HOME, set by CTest): a file deleted
// to the bin is wiped with its record; the file beside it stays.
TEST_F(CliExeTest, RecycleBinItemsAreWipedWithTheirRecords) {
    const std::string trashFolder = test::TestTrashFolder();
    if (trashFolder.empty()) GTEST_SKIP() << "needs a trash of the test's own (XDG_DATA_HOME)";
    WriteAll(Path(L"binned.txt"), "binned");
    WriteAll(Path(L"kept.txt"), "kept");
    ASSERT_EQ(0, test::DeleteToRecycleBin(Path(L"binned.txt")));
    const std::wstring trash = test::Widen(test::WindowsPath(trashFolder));
    ASSERT_TRUE(Exists(trash + L"\\info\\binned.txt.trashinfo"));

    const Result r = Run({L"--recycle-bin", L"--json"});
    EXPECT_EQ(0u, r.status) << r.err;
    test::JsonValue doc;
    ASSERT_TRUE(test::ParseJson(r.out, doc)) << r.out;
    EXPECT_GE(doc["wiped"].number, 2);  // the file and its record, and what earlier runs left
    EXPECT_EQ(0, doc["notWiped"].number);
    EXPECT_TRUE(Snapshot(trash + L"\\files").empty());
    EXPECT_TRUE(Snapshot(trash + L"\\info").empty());
    EXPECT_EQ((std::map<std::wstring, std::string>{{L"kept.txt", "kept"}}), Snapshot(m_data));

    const Result empty = Run({L"--recycle-bin"});
    EXPECT_EQ(0u, empty.status);
    EXPECT_TRUE(Contains(empty.out, "The Recycle Bin is empty")) << empty.out;
}

TEST_F(CliExeTest, CtrlCCancelsTheWipeWith130AndLeavesTheRest) {
    const std::string big(1 << 20, 'B');
    {
        UniqueFile file(::CreateFileW(Path(L"big.bin").c_str(), GENERIC_WRITE, 0, nullptr,
                                      CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(file);
        DWORD written = 0;
        for (int i = 0; i < 256; ++i) {
            ASSERT_TRUE(::WriteFile(file.get(), big.data(), static_cast<DWORD>(big.size()),
                                    &written, nullptr));
        }
    }
    WriteAll(Path(L"next.txt"), "next");
    bool renamed = false;
    BOOL sent = FALSE;
    // The program gets a console of its own; the test joins it to send Ctrl+C there.
    const Result r = Run({L"--method", L"gutmann", Path(L"big.bin"), Path(L"next.txt")}, L"",
                         CREATE_NEW_CONSOLE, [&](const PROCESS_INFORMATION& process) {
                             // The rename comes first: once the name is gone, the passes run.
                             for (int i = 0; i < 3000 && Exists(Path(L"big.bin")); ++i) {
                                 ::Sleep(10);
                             }
                             renamed = !Exists(Path(L"big.bin"));
                             ::FreeConsole();
                             if (::AttachConsole(process.dwProcessId)) {
                                 ::SetConsoleCtrlHandler(nullptr, TRUE);
                                 sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
                             }
                         });
    ASSERT_TRUE(renamed);
    ASSERT_TRUE(sent);
    EXPECT_EQ(r.status, 130u) << r.err << r.out;
    EXPECT_EQ(r.out, "0 wiped, 2 not wiped (cancelled; 1 not started, untouched)\n");
    EXPECT_EQ(ReadAll(Path(L"next.txt")), "next");
    // The file being wiped stays, under its new name and at its size.
    const auto left = Snapshot(m_data);
    ASSERT_EQ(left.size(), 2u);
    for (const auto& entry : left) {
        if (entry.first != L"next.txt") {
            EXPECT_EQ(entry.second.size(), 256u << 20);
        }
    }
}

}  // namespace
}  // namespace veltrane
