// The Win32 file system under the engine on real files, and Kernel32's 32-bit fallbacks.

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "WipeTestSupport.h"
#include "framework/Handles.h"
#include "wipe/CharGenerator.h"
#include "wipe/Kernel32.h"
#include "wipe/Paths.h"
#include "wipe/ShredderFile.h"
#include "support/ShredderFileProbe.h"
#include "wipe/Win32FileSystem.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using Names = std::vector<std::string>;

// Records every rename; can refuse deletions so that a wiped file can be read back.
class RecordingFileSystem : public Win32FileSystem {
public:
    struct MoveCall {
        std::string from, to;
        bool ok;
        std::uint32_t error;
    };
    bool MoveOpen(Handle h, const std::string& from, const std::string& to) override {
        const bool ok = Win32FileSystem::MoveOpen(h, from, to);
        const std::uint32_t error = ok ? 0 : LastError();
        moves.push_back(MoveCall{from, to, ok, error});
        ::SetLastError(error);
        return ok;
    }
    bool RemoveOpen(Handle h, const std::string& path) override {
        return refuseRemove ? false : Win32FileSystem::RemoveOpen(h, path);
    }
    std::vector<MoveCall> moves;
    bool refuseRemove = false;
};

class Win32FileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_NE(0u, ::GetTempPathA(MAX_PATH, temp));
        dir = JoinPath(temp, "veltrane-engine-" + std::to_string(::GetCurrentProcessId()) + "-" +
                                 std::to_string(::GetTickCount()));
        ASSERT_TRUE(::CreateDirectoryA(dir.c_str(), nullptr));
        CharGeneratorSeed(1);
    }
    void TearDown() override {
        for (const std::string& name : List()) {
            const std::string path = JoinPath(dir, name);
            ::SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
            ::DeleteFileA(path.c_str());
        }
        EXPECT_TRUE(::RemoveDirectoryA(dir.c_str()));
    }

    std::string Path(const std::string& name) const { return JoinPath(dir, name); }
    void Write(const std::string& name, const std::string& text) const {
        UniqueFile f(::CreateFileA(Path(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(f.valid());
        DWORD written = 0;
        ASSERT_TRUE(
            ::WriteFile(f.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr));
    }
    std::string Read(const std::string& name) const {
        UniqueFile f(::CreateFileA(Path(name).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!f.valid()) return "<cannot open>";
        std::string text(::GetFileSize(f.get(), nullptr), '\0');
        DWORD read = 0;
        if (!text.empty())
            ::ReadFile(f.get(), &text[0], static_cast<DWORD>(text.size()), &read, nullptr);
        return text;
    }
    Names List() const {
        Names names;
        WIN32_FIND_DATAA data;
        UniqueFindHandle h(::FindFirstFileA(JoinPath(dir, "*").c_str(), &data));
        if (!h.valid()) return names;
        do {
            const std::string name = data.cFileName;
            if (name != "." && name != "..") names.push_back(name);
        } while (::FindNextFileA(h.get(), &data));
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string dir;
};

TEST_F(Win32FileSystemTest, WipesARealFileAfterRenamingIt) {
    Write("report.txt", std::string(300000, 'r'));
    RecordingFileSystem fs;
    ShredderFile file(Path("report.txt"), fs);
    EXPECT_TRUE(file.Wipe(DoDQuick));
    EXPECT_TRUE(List().empty());
    std::uint32_t draws = 1;
    ASSERT_EQ(1u, fs.moves.size());
    EXPECT_TRUE(fs.moves[0].ok);
    EXPECT_EQ(Path(test::ReferenceName(draws, 10)), fs.moves[0].to);
}

TEST_F(Win32FileSystemTest, OverwritesEveryByteInPlace) {
    Write("report.txt", std::string(300000, 'r'));
    RecordingFileSystem fs;
    fs.refuseRemove = true;
    ShredderFile file(Path("report.txt"), fs);
    ShredderFileProbe::SetRandomState(file, 7);
    EXPECT_FALSE(file.Wipe(DoDQuick));
    std::uint32_t draws = 1;
    const std::string renamed = test::ReferenceName(draws, 10);
    EXPECT_EQ((Names{renamed}), List());
    std::uint32_t state = 7;
    const test::Bytes expected = test::RandomPassBytes(state, 300000);
    EXPECT_EQ(std::string(expected.begin(), expected.end()), Read(renamed));
}

TEST_F(Win32FileSystemTest, EveryPassReachesTheFileAndItsNamesGoThroughTheHandle) {
    // A second name made before the wipe still reaches the file afterwards: it shows what
    // the last pass left, and that the wiped name and the random one are both gone.
    Write("data.bin", std::string(300000, 'd'));
    ASSERT_TRUE(::CreateHardLinkA(Path("second").c_str(), Path("data.bin").c_str(), nullptr));
    ShredderFile file(Path("data.bin"));
    ShredderFileProbe::SetRandomState(file, 11);
    EXPECT_TRUE(file.Wipe(DoDQuick));
    EXPECT_EQ((Names{"second"}), List());
    std::uint32_t state = 11;
    const test::Bytes expected = test::RandomPassBytes(state, 300000);
    EXPECT_EQ(std::string(expected.begin(), expected.end()), Read("second"));
}

TEST_F(Win32FileSystemTest, FileHeldOpenElsewhereIsLeftAlone) {
    Write("busy.doc", "contents");
    {
        UniqueFile other(::CreateFileA(Path("busy.doc").c_str(), GENERIC_READ, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        ASSERT_TRUE(other.valid());
        RecordingFileSystem fs;
        ShredderFile file(Path("busy.doc"), fs);
        EXPECT_FALSE(file.Wipe(Gutmann));
        EXPECT_EQ(ERROR_SHARING_VIOLATION, ::GetLastError());
        EXPECT_TRUE(fs.moves.empty());
    }
    EXPECT_EQ((Names{"busy.doc"}), List());
    EXPECT_EQ("contents", Read("busy.doc"));
}

TEST_F(Win32FileSystemTest, TakenNameIsRetriedWithFreshLetters) {
    std::uint32_t draws = 1;
    const std::string first = test::ReferenceName(draws, 10);
    const std::string second = test::ReferenceName(draws, 10);
    Write(first, "keep");
    Write("report.txt", std::string(1000, 'r'));
    RecordingFileSystem fs;
    ShredderFile file(Path("report.txt"), fs);
    EXPECT_TRUE(file.Wipe(Random));
    ASSERT_EQ(2u, fs.moves.size());
    EXPECT_FALSE(fs.moves[0].ok);
    EXPECT_EQ(static_cast<std::uint32_t>(ERROR_ALREADY_EXISTS), fs.moves[0].error);
    EXPECT_EQ(Path(second), fs.moves[1].to);
    EXPECT_TRUE(fs.moves[1].ok);
    EXPECT_EQ((Names{first}), List());
    EXPECT_EQ("keep", Read(first));
}

// --- Kernel32 without the 64-bit entry points ---

struct FakeKernel {
    static std::int32_t lastLow, lastHigh;
    static std::uint32_t lowResult, highResult, error;

    static std::uint32_t __stdcall SetFilePointer(void*, std::int32_t low, std::int32_t* high,
                                                  std::uint32_t) {
        lastLow = low;
        lastHigh = *high;
        *high = static_cast<std::int32_t>(highResult);
        return lowResult;
    }
    static std::uint32_t __stdcall GetFileSize(void*, std::uint32_t* high) {
        *high = highResult;
        return lowResult;
    }
    static std::uint32_t __stdcall GetLastError() { return error; }
};
std::int32_t FakeKernel::lastLow, FakeKernel::lastHigh;
std::uint32_t FakeKernel::lowResult, FakeKernel::highResult, FakeKernel::error;

TEST(Kernel32Fallback, SplitsAndJoinsThe64BitValues) {
    const Kernel32 kernel(Kernel32::EntryPoints{nullptr, nullptr, &FakeKernel::SetFilePointer,
                                                &FakeKernel::GetFileSize,
                                                &FakeKernel::GetLastError});
    FakeKernel::highResult = 1;
    FakeKernel::lowResult = 5;
    FakeKernel::error = 0;
    std::int64_t value = 0;
    ASSERT_TRUE(kernel.GetSize64(nullptr, value));
    EXPECT_EQ(4294967301LL, value);

    ASSERT_TRUE(kernel.Seek64(nullptr, 4294967301LL, Kernel32::kFileBegin, value));
    EXPECT_EQ(5, FakeKernel::lastLow);
    EXPECT_EQ(1, FakeKernel::lastHigh);
    EXPECT_EQ(4294967301LL, value);
    ASSERT_TRUE(kernel.Seek64(nullptr, -2, Kernel32::kFileEnd, value));
    EXPECT_EQ(-2, FakeKernel::lastLow);
    EXPECT_EQ(-1, FakeKernel::lastHigh);

    // All bits set in the low word is a position, unless an error code says otherwise.
    FakeKernel::highResult = 0;
    FakeKernel::lowResult = 0xFFFFFFFFu;
    ASSERT_TRUE(kernel.Seek64(nullptr, 0xFFFFFFFFLL, Kernel32::kFileBegin, value));
    EXPECT_EQ(0xFFFFFFFFLL, value);
    ASSERT_TRUE(kernel.GetSize64(nullptr, value));
    EXPECT_EQ(0xFFFFFFFFLL, value);
    FakeKernel::error = ERROR_INVALID_PARAMETER;
    value = 42;
    EXPECT_FALSE(kernel.Seek64(nullptr, 0, Kernel32::kFileBegin, value));
    EXPECT_FALSE(kernel.GetSize64(nullptr, value));
    EXPECT_EQ(42, value);
}

TEST_F(Win32FileSystemTest, FallbackReadsAFileBeyond4GiB) {
    const Kernel32 system;
    ASSERT_NE(nullptr, system.Entries().setFilePointerEx);
    ASSERT_NE(nullptr, system.Entries().getFileSizeEx);
    Kernel32::EntryPoints entries = system.Entries();
    entries.setFilePointerEx = nullptr;
    entries.getFileSizeEx = nullptr;
    const Kernel32 fallback(entries);

    UniqueFile f(::CreateFileA(Path("big").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(f.valid());
    std::int64_t value = 0;
    // Sparse where the file system allows it: nothing is written.
    ASSERT_TRUE(system.Seek64(f.get(), 4294967301LL, Kernel32::kFileBegin, value));
    ASSERT_TRUE(::SetEndOfFile(f.get()));
    ASSERT_TRUE(fallback.GetSize64(f.get(), value));
    EXPECT_EQ(4294967301LL, value);
    ASSERT_TRUE(fallback.Seek64(f.get(), 0xFFFFFFFFLL, Kernel32::kFileBegin, value));
    EXPECT_EQ(0xFFFFFFFFLL, value);
    ASSERT_TRUE(fallback.Seek64(f.get(), -1, Kernel32::kFileEnd, value));
    EXPECT_EQ(4294967300LL, value);
    ASSERT_TRUE(fallback.Seek64(f.get(), 0, Kernel32::kFileCurrent, value));
    EXPECT_EQ(4294967300LL, value);
}

}  // namespace
}  // namespace veltrane
