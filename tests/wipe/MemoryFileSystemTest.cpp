// The in-memory file system behaves as Windows does where the engine and the walk can
// tell, and its faults and record do what tests of other parts rely on.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "support/MemoryFileSystem.h"

namespace veltrane {
namespace {

using Op = MemoryFileSystem::Op;
using Names = std::vector<std::string>;

Names Enumerate(FileSystem& fs, const std::string& pattern, std::uint32_t* error = nullptr) {
    Names names;
    std::string name;
    FileSystem::FindHandle h = fs.FindFirst(pattern, name);
    if (h == FileSystem::kInvalidFind) {
        if (error != nullptr) *error = fs.LastError();
        return names;
    }
    do names.push_back(name);
    while (fs.FindNext(h, name));
    if (error != nullptr) *error = fs.LastError();
    fs.FindEnd(h);
    return names;
}

TEST(MemoryFileSystemEnumeration, InsertionOrSortedWithDotsFirst) {
    MemoryFileSystem inserted;
    MemoryFileSystem sorted(MemoryFileSystem::Order::Sorted);
    for (MemoryFileSystem* fs : {&inserted, &sorted}) {
        for (const char* name : {"b", "_x", "A", "a2", "...", "..z"}) {
            fs->AddFile(std::string("C:\\f\\") + name);
        }
        fs->AddFile("C:\\top.txt");
    }
    std::uint32_t error = 0;
    EXPECT_EQ((Names{".", "..", "b", "_x", "A", "a2", "...", "..z"}),
              Enumerate(inserted, "C:\\f\\*", &error));
    EXPECT_EQ(kErrorNoMoreFiles, error);
    // Names compare upper-cased, as NTFS does: '_' sorts after the letters.
    EXPECT_EQ((Names{".", "..", "...", "..z", "A", "a2", "b", "_x"}), Enumerate(sorted, "c:/F/*"));
    // No dots at a drive's root.
    EXPECT_EQ((Names{"f", "top.txt"}), Enumerate(sorted, "C:\\*"));
    EXPECT_EQ((Names{"top.txt"}), Enumerate(sorted, "C:\\*.TXT"));
    EXPECT_EQ(0u, sorted.OpenFindCount());
}

TEST(MemoryFileSystemEnumeration, FailuresAsWindowsReportsThem) {
    MemoryFileSystem fs;
    fs.AddFile("C:\\f\\a");
    std::uint32_t error = 0;
    EXPECT_TRUE(Enumerate(fs, "C:\\missing\\*", &error).empty());
    EXPECT_EQ(kErrorPathNotFound, error);
    EXPECT_TRUE(Enumerate(fs, "C:\\f\\", &error).empty());
    EXPECT_EQ(kErrorFileNotFound, error);
    EXPECT_TRUE(Enumerate(fs, "C:\\f\\*.none", &error).empty());
    EXPECT_EQ(kErrorFileNotFound, error);
    EXPECT_TRUE(Enumerate(fs, "C:\\f\\a\\*", &error).empty());
    EXPECT_EQ(kErrorPathNotFound, error);
}

TEST(MemoryFileSystemLinks, LinksAreRemovedAsLinksAndTargetsStay) {
    MemoryFileSystem fs;
    fs.AddFile("C:\\outside\\keep.txt", "keep");
    fs.AddFile("C:\\outside\\file.txt", "file");
    fs.AddLinkToFolder("C:\\sel\\dirlink", "C:\\outside");
    fs.AddLinkToFile("C:\\sel\\filelink", "C:\\outside\\file.txt");
    EXPECT_EQ(kAttrReparsePoint | kAttrDirectory, fs.Attributes("C:\\sel\\dirlink"));
    EXPECT_EQ(kAttrReparsePoint, fs.Attributes("C:\\sel\\filelink"));
    EXPECT_EQ((Names{".", "..", "keep.txt", "file.txt"}), Enumerate(fs, "C:\\sel\\dirlink\\*"));

    // Opening follows a file link, as CreateFileA does.
    FileSystem::Handle h = fs.OpenExclusive("C:\\sel\\filelink");
    ASSERT_NE(FileSystem::kInvalidHandle, h);
    std::uint32_t written = 0;
    ASSERT_TRUE(fs.Write(h, "FILE", 4, written));
    ASSERT_TRUE(fs.Close(h));
    EXPECT_EQ((std::vector<std::uint8_t>{'F', 'I', 'L', 'E'}),
              fs.Contents("C:\\outside\\file.txt"));

    EXPECT_FALSE(fs.Remove("C:\\sel\\dirlink"));
    EXPECT_EQ(kErrorAccessDenied, fs.LastError());
    EXPECT_FALSE(fs.RemoveFolder("C:\\sel\\filelink"));
    EXPECT_EQ(kErrorDirectory, fs.LastError());
    EXPECT_TRUE(fs.RemoveFolder("C:\\sel\\dirlink"));
    EXPECT_TRUE(fs.Remove("C:\\sel\\filelink"));
    EXPECT_EQ((Names{"C:\\outside", "C:\\outside\\file.txt", "C:\\outside\\keep.txt", "C:\\sel"}),
              fs.AllPaths());
}

TEST(MemoryFileSystemErrors, WindowsCodesForOpenMoveAndRemove) {
    MemoryFileSystem fs;
    fs.AddFile("C:\\d\\plain.txt", "x");
    fs.AddFile("C:\\d\\ro.txt", "x", kAttrReadOnly);
    fs.AddFile("C:\\d\\held.txt", "x");
    fs.SetHeldOpen("C:\\d\\held.txt", true);
    fs.AddFolder("C:\\d\\sub\\inner");
    struct Case {
        const char* path;
        std::uint32_t error;
    };
    const Case opens[] = {
        {"C:\\d\\missing", kErrorFileNotFound}, {"C:\\nowhere\\x", kErrorPathNotFound},
        {"C:\\d\\ro.txt", kErrorAccessDenied},  {"C:\\d\\held.txt", kErrorSharingViolation},
        {"C:\\d\\sub", kErrorAccessDenied},
    };
    for (const Case& c : opens) {
        EXPECT_EQ(FileSystem::kInvalidHandle, fs.OpenExclusive(c.path)) << c.path;
        EXPECT_EQ(c.error, fs.LastError()) << c.path;
    }
    // Exclusive: a second open of an open file fails, and so do renaming and deleting it.
    FileSystem::Handle h = fs.OpenExclusive("c:/D/PLAIN.TXT");
    ASSERT_NE(FileSystem::kInvalidHandle, h);
    EXPECT_EQ(FileSystem::kInvalidHandle, fs.OpenExclusive("C:\\d\\plain.txt"));
    EXPECT_EQ(kErrorSharingViolation, fs.LastError());
    EXPECT_FALSE(fs.Move("C:\\d\\plain.txt", "C:\\d\\other"));
    EXPECT_EQ(kErrorSharingViolation, fs.LastError());
    EXPECT_FALSE(fs.Remove("C:\\d\\plain.txt"));
    ASSERT_TRUE(fs.Close(h));
    EXPECT_FALSE(fs.Close(h));
    EXPECT_EQ(kErrorInvalidHandle, fs.LastError());

    EXPECT_FALSE(fs.Move("C:\\d\\plain.txt", "C:\\D\\RO.TXT"));
    EXPECT_EQ(kErrorAlreadyExists, fs.LastError());
    EXPECT_FALSE(fs.Move("C:\\d\\plain.txt", "C:\\nowhere\\x"));
    EXPECT_EQ(kErrorPathNotFound, fs.LastError());
    EXPECT_FALSE(fs.Remove("C:\\d\\ro.txt"));
    EXPECT_EQ(kErrorAccessDenied, fs.LastError());
    EXPECT_FALSE(fs.RemoveFolder("C:\\d\\sub"));
    EXPECT_EQ(kErrorDirNotEmpty, fs.LastError());
    EXPECT_EQ(kInvalidAttributes, fs.Attributes("C:\\d\\missing"));
    EXPECT_EQ(kErrorFileNotFound, fs.LastError());
}

TEST(MemoryFileSystemNames, MovingAFolderMovesWhatIsInIt) {
    MemoryFileSystem fs;
    fs.AddFile("C:\\a\\b\\c.txt", "c");
    ASSERT_TRUE(fs.Move("C:\\a\\b", "C:\\a\\B2"));
    EXPECT_EQ((Names{"C:\\a", "C:\\a\\B2", "C:\\a\\B2\\c.txt"}), fs.AllPaths());
    EXPECT_EQ((std::vector<std::uint8_t>{'c'}), fs.Contents("c:\\A\\b2\\C.TXT"));
    EXPECT_FALSE(fs.Move("C:\\a", "C:\\a\\B2\\inside"));
}

TEST(MemoryFileSystemFaults, NthCallsFailWritesShortenAndAllRecorded) {
    MemoryFileSystem fs;
    fs.AddFile("C:\\f.bin", std::string(10, 'x'));
    fs.FailCalls(Op::Write, 2, 2, kErrorDiskFull);
    fs.ShortWrite(4, 1);
    FileSystem::Handle h = fs.OpenExclusive("C:\\f.bin");
    std::uint32_t written = 99;
    const char data[] = "abc";
    EXPECT_TRUE(fs.Write(h, data, 3, written));
    EXPECT_FALSE(fs.Write(h, data, 3, written));
    EXPECT_EQ(0u, written);
    EXPECT_EQ(kErrorDiskFull, fs.LastError());
    EXPECT_FALSE(fs.Write(h, data, 3, written));
    EXPECT_TRUE(fs.Write(h, data, 3, written));
    EXPECT_EQ(1u, written);
    std::int64_t position = 0;
    ASSERT_TRUE(fs.Seek64(h, -2, SeekOrigin::End, position));
    EXPECT_EQ(8, position);
    EXPECT_FALSE(fs.Seek64(h, -1, SeekOrigin::Begin, position));
    EXPECT_EQ(kErrorNegativeSeek, fs.LastError());
    EXPECT_TRUE(fs.Write(h, data, 3, written));  // grows the file by one byte
    ASSERT_TRUE(fs.Close(h));
    const std::vector<std::uint8_t> contents = fs.Contents("C:\\f.bin");
    EXPECT_EQ("abcaxxxxabc", std::string(contents.begin(), contents.end()));

    const auto writes = fs.Calls(Op::Write);
    ASSERT_EQ(5u, writes.size());
    const std::int64_t offsets[] = {0, 3, 3, 3, 8};
    const std::uint32_t done[] = {3, 0, 0, 1, 3};
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_EQ(offsets[i], writes[i].offset) << i;
        EXPECT_EQ(done[i], writes[i].written) << i;
        EXPECT_EQ(3u, writes[i].size) << i;
    }
    EXPECT_EQ(5u, fs.CallCount(Op::Write));

    fs.SetAllocationLimit(100);
    EXPECT_EQ(nullptr, fs.Allocate(101));
    EXPECT_EQ(kErrorNotEnoughMemory, fs.LastError());
    void* block = fs.Allocate(100);
    ASSERT_NE(nullptr, block);
    EXPECT_EQ(1u, fs.LiveAllocationCount());
    fs.Free(block);
    EXPECT_EQ(0u, fs.LiveAllocationCount());
}

TEST(MemoryFileSystemThreads, EachThreadKeepsItsOwnLastError) {
    MemoryFileSystem fs;
    fs.AddFile("C:\\one");
    fs.AddFile("C:\\two");
    std::uint32_t seenByWorker = 0;
    std::thread worker([&] {
        for (int i = 0; i < 200; ++i) fs.OpenExclusive("C:\\missing");
        seenByWorker = fs.LastError();
    });
    for (int i = 0; i < 200; ++i) fs.Move("C:\\one", "C:\\two");
    worker.join();
    EXPECT_EQ(kErrorFileNotFound, seenByWorker);
    EXPECT_EQ(kErrorAlreadyExists, fs.LastError());
    EXPECT_EQ(400u, fs.Calls().size());
}

}  // namespace
}  // namespace veltrane
