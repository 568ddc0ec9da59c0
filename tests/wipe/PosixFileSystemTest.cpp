// The POSIX file system on real files in a temporary folder, and a whole wipe through it.

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "WipeTestSupport.h"
#include "wipe/CharGenerator.h"
#include "wipe/FreeSpaceWipe.h"
#include "wipe/Paths.h"
#include "wipe/PosixFileSystem.h"
#include "wipe/ShredderFile.h"
#include "support/ShredderFileProbe.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using Names = std::vector<std::string>;

class PosixFileSystemTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/veltrane-posix-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        dir = pattern;
    }
    void TearDown() override {
        const std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(0, std::system(command.c_str()));
    }

    std::string Path(const std::string& name) const { return dir + "/" + name; }
    void Write(const std::string& name, const std::string& text) const {
        std::ofstream(Path(name), std::ios::binary) << text;
    }
    std::string Read(const std::string& name) const {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    Names Enumerate(const std::string& pattern) {
        Names names;
        std::string name;
        FileSystem::FindHandle h = fs.FindFirst(pattern, name);
        if (h == FileSystem::kInvalidFind) return names;
        do names.push_back(name);
        while (fs.FindNext(h, name));
        EXPECT_EQ(kErrorNoMoreFiles, fs.LastError());
        EXPECT_TRUE(fs.FindEnd(h));
        std::sort(names.begin(), names.end());
        return names;
    }

    PosixFileSystem fs;
    std::string dir;
};

TEST_F(PosixFileSystemTest, AttributesMapLinksAndReadOnlyFiles) {
    Write("file", "x");
    Write("ro", "x");
    ASSERT_EQ(0, chmod(Path("ro").c_str(), 0444));
    ASSERT_EQ(0, mkdir(Path("sub").c_str(), 0700));
    ASSERT_EQ(0, symlink(Path("sub").c_str(), Path("dirlink").c_str()));
    ASSERT_EQ(0, symlink(Path("file").c_str(), Path("filelink").c_str()));
    EXPECT_EQ(kAttrNormal, fs.Attributes(Path("file")));
    EXPECT_EQ(kAttrReadOnly, fs.Attributes(Path("ro")));
    EXPECT_EQ(kAttrDirectory, fs.Attributes(Path("sub") + "/"));
    EXPECT_EQ(kAttrReparsePoint | kAttrDirectory, fs.Attributes(Path("dirlink")));
    EXPECT_EQ(kAttrReparsePoint, fs.Attributes(Path("filelink")));
    EXPECT_EQ(kInvalidAttributes, fs.Attributes(Path("missing")));
    EXPECT_EQ(kErrorFileNotFound, fs.LastError());
    EXPECT_EQ(kInvalidAttributes, fs.Attributes(Path("missing/x")));
    EXPECT_EQ(kErrorPathNotFound, fs.LastError());
}

TEST_F(PosixFileSystemTest, OpensOnlyWritableRegularFilesAndExclusively) {
    Write("file", "x");
    Write("ro", "x");
    ASSERT_EQ(0, chmod(Path("ro").c_str(), 0444));
    ASSERT_EQ(0, symlink(Path("file").c_str(), Path("filelink").c_str()));
    ASSERT_EQ(0, mkfifo(Path("fifo").c_str(), 0600));
    // Read-only even for root; never through a link; a pipe would block or swallow data.
    for (const char* name : {"ro", "filelink", "fifo"}) {
        EXPECT_EQ(FileSystem::kInvalidHandle, fs.OpenExclusive(Path(name))) << name;
        EXPECT_EQ(kErrorAccessDenied, fs.LastError()) << name;
    }
    // Backslashes work as separators.
    FileSystem::Handle h = fs.OpenExclusive(dir + "\\file");
    ASSERT_NE(FileSystem::kInvalidHandle, h);
    EXPECT_EQ(FileSystem::kInvalidHandle, fs.OpenExclusive(Path("file")));
    EXPECT_EQ(kErrorSharingViolation, fs.LastError());
    ASSERT_TRUE(fs.Close(h));
    EXPECT_EQ("x", Read("file"));
}

TEST_F(PosixFileSystemTest, MoveNeverReplacesAndRemoveFolderTakesLinksOnly) {
    Write("a", "A");
    Write("b", "B");
    EXPECT_FALSE(fs.Move(Path("a"), Path("b")));
    EXPECT_EQ(kErrorAlreadyExists, fs.LastError());
    EXPECT_EQ("A", Read("a"));
    EXPECT_EQ("B", Read("b"));
    EXPECT_TRUE(fs.Move(Path("a"), dir + "\\c"));
    EXPECT_EQ("A", Read("c"));

    ASSERT_EQ(0, mkdir(Path("target").c_str(), 0700));
    Write("target/keep", "K");
    ASSERT_EQ(0, symlink(Path("target").c_str(), Path("link").c_str()));
    EXPECT_FALSE(fs.RemoveFolder(Path("target")));
    EXPECT_EQ(kErrorDirNotEmpty, fs.LastError());
    EXPECT_FALSE(fs.RemoveFolder(Path("c")));
    EXPECT_EQ(kErrorDirectory, fs.LastError());
    EXPECT_FALSE(fs.Remove(Path("target")));
    EXPECT_TRUE(fs.RemoveFolder(Path("link")));
    EXPECT_EQ("K", Read("target/keep"));
    EXPECT_EQ(kInvalidAttributes, fs.Attributes(Path("link")));
}

TEST_F(PosixFileSystemTest, EnumerationReportsDotsAndEveryName) {
    Write("one", "");
    Write("Two.txt", "");
    ASSERT_EQ(0, mkdir(Path("sub").c_str(), 0700));
    EXPECT_EQ((Names{".", "..", "Two.txt", "one", "sub"}), Enumerate(JoinPath(dir, "*")));
    EXPECT_EQ((Names{"Two.txt"}), Enumerate(JoinPath(dir, "*.TXT")));
    std::string name;
    EXPECT_EQ(FileSystem::kInvalidFind, fs.FindFirst(Path("missing") + "\\*", name));
    EXPECT_EQ(kErrorPathNotFound, fs.LastError());
    EXPECT_EQ(FileSystem::kInvalidFind, fs.FindFirst(dir + "\\", name));
    EXPECT_EQ(kErrorFileNotFound, fs.LastError());
}

TEST_F(PosixFileSystemTest, RecycleMovesIntoTheUsersTrash) {
    const std::string data = Path("data");
    ASSERT_EQ(0, setenv("XDG_DATA_HOME", data.c_str(), 1));
    Write("doc one.txt", "D");
    ASSERT_EQ(0, mkdir(Path("other").c_str(), 0700));
    Write("other/doc one.txt", "E");
    EXPECT_TRUE(fs.Recycle(Path("doc one.txt")));
    EXPECT_TRUE(fs.Recycle(Path("other") + "\\doc one.txt"));
    unsetenv("XDG_DATA_HOME");
    EXPECT_EQ("D", Read("data/Trash/files/doc one.txt"));
    EXPECT_EQ("E", Read("data/Trash/files/doc one.txt.2"));
    const std::string info = Read("data/Trash/info/doc one.txt.trashinfo");
    EXPECT_NE(std::string::npos, info.find("[Trash Info]\nPath=" + dir + "/doc%20one.txt\n"));
    EXPECT_NE(std::string::npos, info.find("DeletionDate="));
    EXPECT_EQ(kInvalidAttributes, fs.Attributes(Path("doc one.txt")));
}

// Fails deletions, so that the wiped file can be read back.
class KeepingFileSystem : public PosixFileSystem {
public:
    bool Remove(const std::string&) override { return false; }
    bool RemoveOpen(Handle, const std::string&) override { return false; }
};

TEST_F(PosixFileSystemTest, WipesARealFile) {
    Write("report.txt", std::string(300000, 'r'));
    ShredderFile file(JoinPath(dir, "report.txt"));
    EXPECT_TRUE(file.Wipe(DoDQuick));
    EXPECT_EQ((Names{".", ".."}), Enumerate(JoinPath(dir, "*")));

    Write("report.txt", std::string(300000, 'r'));
    KeepingFileSystem keeping;
    ShredderFile kept(JoinPath(dir, "report.txt"), keeping);
    ShredderFileProbe::SetRandomState(kept, 7);
    CharGeneratorSeed(1);
    EXPECT_FALSE(kept.Wipe(DoDQuick));
    std::uint32_t draws = 1;
    const std::string renamed = test::ReferenceName(draws, 10);
    EXPECT_EQ((Names{".", "..", renamed}), Enumerate(JoinPath(dir, "*")));
    std::uint32_t state = 7;
    const test::Bytes expected = test::RandomPassBytes(state, 300000);
    EXPECT_EQ(std::string(expected.begin(), expected.end()), Read(renamed));
}

// After the first flush, moves the file being wiped away and puts another in its place,
// as someone with access to the folder could: POSIX cannot refuse them.
class SwappingFileSystem : public PosixFileSystem {
public:
    std::string folder;
    bool Flush(Handle h) override {
        const bool ok = PosixFileSystem::Flush(h);
        if (!swapped) {
            swapped = true;
            for (char letter = 'a'; letter <= 'z'; ++letter) {
                const std::string now = folder + "/" + letter;
                if (::access(now.c_str(), F_OK) == 0) {
                    ::rename(now.c_str(), (folder + "/moved").c_str());
                    std::FILE* other = std::fopen(now.c_str(), "wb");
                    std::fputs("someone else's", other);
                    std::fclose(other);
                    impostor = now;
                }
            }
        }
        return ok;
    }
    bool swapped = false;
    std::string impostor;
};

TEST_F(PosixFileSystemTest, AFileSwappedInUnderTheWipedNameIsNeverDeleted) {
    Write("r", std::string(5000, 'r'));
    SwappingFileSystem swapping;
    swapping.folder = dir;
    ShredderFile file(JoinPath(dir, "r"), swapping);
    EXPECT_FALSE(file.Wipe(DoDQuick));
    EXPECT_EQ(kErrorFileInvalid, file.FailureCode());
    ASSERT_FALSE(swapping.impostor.empty());
    EXPECT_EQ("someone else's", Read(swapping.impostor.substr(dir.size() + 1)));
    // Every pass went to the real file through its handle: it holds the last, random one.
    EXPECT_EQ(5000u, Read("moved").size());
    EXPECT_EQ(std::string::npos, Read("moved").find(std::string(100, 'r')));
}

TEST_F(PosixFileSystemTest, RemoveWriteAndFlushReportWhatReallyHappened) {
    // A read-only file cannot be deleted, also for root, as on Windows.
    Write("locked.txt", "keep");
    ASSERT_EQ(0, chmod(Path("locked.txt").c_str(), 0444));
    EXPECT_FALSE(fs.Remove(Path("locked.txt")));
    EXPECT_EQ(kErrorAccessDenied, fs.LastError());
    EXPECT_EQ("keep", Read("locked.txt"));

    // Under a file-size limit a write reports the bytes that really went, and the next
    // one fails.
    Write("limited.bin", "");
    FileSystem::Handle h = fs.OpenExclusive(Path("limited.bin"));
    ASSERT_NE(FileSystem::kInvalidHandle, h);
    struct rlimit old {};
    ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &old));
    void (*oldHandler)(int) = signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit = old;
    limit.rlim_cur = 10;
    ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &limit));
    const std::string data(100, 'x');
    std::uint32_t written = 0;
    const bool first = fs.Write(h, data.data(), 100, written);
    std::uint32_t again = 7;
    const bool second = fs.Write(h, data.data(), 100, again);
    setrlimit(RLIMIT_FSIZE, &old);
    signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(first);
    EXPECT_EQ(10u, written);
    EXPECT_FALSE(second);
    EXPECT_EQ(0u, again);
    EXPECT_TRUE(fs.Close(h));

    // A flush that fails says so.
    EXPECT_FALSE(fs.Flush(h));
    EXPECT_EQ(kErrorInvalidHandle, fs.LastError());
}

// A real volume filled to its end: a small tmpfs, where the test host lets us mount one.
TEST_F(PosixFileSystemTest, FreeSpaceWipeFillsARealVolumeAndGivesItBack) {
    const std::string volume = Path("volume");
    ASSERT_EQ(0, mkdir(volume.c_str(), 0700));
    if (mount("veltrane-test", volume.c_str(), "tmpfs", 0, "size=4m,mode=0700") != 0) {
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                     << "): the free-space wipe is tested on the in-memory volume only";
    }
    Write("volume/kept.txt", "still here");
    VolumeFacts facts;
    ASSERT_TRUE(fs.QueryVolume(volume, facts));
    EXPECT_EQ(VolumeKind::RamDisk, facts.kind);
    FreeSpaceOptions options;
    options.fillFileBytes = 1 << 20;
    options.chunkBytes = 256 * 1024;
    FreeSpaceWipe wipe(volume, fs, options);
    const FreeSpaceResult r = wipe.Run(Random2);
    VolumeFacts after;
    EXPECT_TRUE(fs.QueryVolume(volume, after));
    const Names left = Enumerate(volume + "/*");
    const std::string kept = Read("volume/kept.txt");
    EXPECT_EQ(0, umount(volume.c_str()));
    EXPECT_TRUE(r.finished) << r.error;
    EXPECT_EQ(2, r.passesDone);
    // A page short at most: tmpfs counts in pages.
    EXPECT_GE(r.covered + 4096, r.freeAtStart);
    EXPECT_EQ(facts.freeBytes, after.freeBytes);
    EXPECT_EQ((Names{".", "..", "kept.txt"}), left);
    EXPECT_EQ("still here", kept);
}

}  // namespace
}  // namespace veltrane
