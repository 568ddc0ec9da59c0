// One user's Recycle Bin folder, laid out as Windows keeps it, listed through the in-memory
// file system: what is found to wipe, and that a bin that cannot be read is never empty.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job/JobLock.h"
#include "job/RecycleBin.h"
#include "job/WipePath.h"
#include "support/MemoryFileSystem.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using Op = MemoryFileSystem::Op;

const char kBin[] = "D:\\$Recycle.Bin\\S-1-5-21-1004";

std::vector<std::string> Flatten(const std::vector<RecycledItem>& items) {
    std::vector<std::string> out;
    for (const RecycledItem& item : items) out.push_back(item.dataPath + " | " + item.recordPath);
    return out;
}

TEST(RecycleBinFolder, EveryDataEntryComesWithItsRecordAndNothingOfTheBinIsLeftOut) {
    MemoryFileSystem fs;  // creation order, not sorted: the result's order is the listing's own
    const std::string bin = kBin;
    fs.AddFile(bin + "\\$RLONE22.bin", "data whose record is gone");
    fs.AddFile(bin + "\\desktop.ini", "[.ShellClassInfo]");
    fs.AddFile(bin + "\\$IAB12CD.docx", "record");
    fs.AddFile(bin + "\\$RAB12CD.docx", "report");
    fs.AddFile(bin + "\\$R0FOLDR\\inner\\notes.txt", "a deleted folder");
    fs.AddFile(bin + "\\$i0foldr", "record, other case");
    fs.AddFile(bin + "\\$IMISS1.txt", "record whose data is gone");
    fs.AddFile("D:\\$Recycle.Bin\\S-1-5-21-2000\\$RZZ9999.txt", "another user's");

    std::vector<RecycledItem> items;
    std::uint32_t error = 99;
    ASSERT_TRUE(ListRecycleBinFolder(fs, bin, items, error));
    EXPECT_EQ(error, 0u);
    EXPECT_EQ(Flatten(items), (std::vector<std::string>{
                                  bin + "\\$R0FOLDR | " + bin + "\\$i0foldr",
                                  bin + "\\$RAB12CD.docx | " + bin + "\\$IAB12CD.docx",
                                  bin + "\\$RLONE22.bin | ",
                                  " | " + bin + "\\$IMISS1.txt",
                              }));
    EXPECT_EQ(fs.OpenFindCount(), 0u);

    // A folder given with forward slashes and a trailing one (the POSIX backend's form).
    ASSERT_TRUE(ListRecycleBinFolder(fs, "D:/$Recycle.Bin/S-1-5-21-2000/", items, error));
    EXPECT_EQ(Flatten(items),
              (std::vector<std::string>{"D:/$Recycle.Bin/S-1-5-21-2000/$RZZ9999.txt | "}));
}

TEST(RecycleBinFolder, ABinThatCannotBeListedToItsEndIsAFailureNeverAnEmptyBin) {
    MemoryFileSystem fs;
    const std::string bin = kBin;
    fs.AddFile(bin + "\\$RAB12CD.docx", "report");
    fs.AddFile(bin + "\\$IAB12CD.docx", "record");
    fs.AddFile(bin + "\\$RCD34EF.txt", "more");
    std::vector<RecycledItem> items{{"stale", "stale"}};
    std::uint32_t error = 0;

    EXPECT_FALSE(ListRecycleBinFolder(fs, "D:\\$Recycle.Bin\\S-1-5-21-9999", items, error));
    EXPECT_EQ(error, kErrorPathNotFound);

    fs.FailCall(Op::FindFirst, 2, kErrorAccessDenied);
    EXPECT_FALSE(ListRecycleBinFolder(fs, bin, items, error));
    EXPECT_EQ(error, kErrorAccessDenied);

    // Part-way: the entries after the failure were never seen.
    fs.FailCall(Op::FindNext, 3, kErrorGenFailure);
    EXPECT_FALSE(ListRecycleBinFolder(fs, bin, items, error));
    EXPECT_EQ(error, kErrorGenFailure);
    EXPECT_TRUE(items.empty());
    EXPECT_EQ(fs.OpenFindCount(), 0u);
}

// The walk wipes every pair the listing gives, a deleted folder with everything in it, and
// nothing else: not the bin's desktop.ini, not another user's bin, not a file outside.
TEST(RecycleBinFolder, EveryPairIsWipedAndNothingElseTouched) {
    InitializeJobLock();
    MemoryFileSystem fs;
    const std::string bin = kBin;
    fs.AddFile(bin + "\\desktop.ini", "[.ShellClassInfo]");
    fs.AddFile(bin + "\\$RAB12CD.docx", "report");
    fs.AddFile(bin + "\\$IAB12CD.docx", "record of the report");
    fs.AddFile(bin + "\\$RFOLDER\\inside.txt", "inside a deleted folder");
    fs.AddFile(bin + "\\$RFOLDER\\sub\\deeper.txt", "deeper");
    fs.AddFile(bin + "\\$IFOLDER", "record of the folder");
    fs.AddFile(bin + "\\$RNOREC.txt", "its record is missing");
    fs.AddFile("D:\\$Recycle.Bin\\S-1-5-21-2000\\$RXY.txt", "another user's");
    fs.AddFile("D:\\outside.txt", "outside");

    std::vector<RecycledItem> items;
    std::uint32_t error = 0;
    ASSERT_TRUE(ListRecycleBinFolder(fs, bin, items, error));
    for (const std::string& path : RecycledItemPaths(items)) {
        WipeJob job;
        job.path = path;
        job.method = Random;
        job.fileSystem = &fs;
        EXPECT_EQ(kWalkFinished, WipePath(job)) << path;
        EXPECT_TRUE(job.failures.empty()) << path;
    }
    EXPECT_EQ((std::vector<std::string>{"desktop.ini"}), fs.List(bin));
    EXPECT_TRUE(fs.IsFile("D:\\$Recycle.Bin\\S-1-5-21-2000\\$RXY.txt"));
    EXPECT_TRUE(fs.IsFile("D:\\outside.txt"));
}

TEST(RecycleBinFolder, AnItemsRecordIsFoundInEitherLayout) {
    const RecycledItem windows = RecycledItemOf(std::string(kBin) + "\\$R0A1B2C.pdf");
    EXPECT_EQ(std::string(kBin) + "\\$I0A1B2C.pdf", windows.recordPath);
    // Wine's bin is the freedesktop.org trash.
    const RecycledItem trash = RecycledItemOf("Z:\\home\\u\\.local\\share\\Trash\\files\\a b.txt");
    EXPECT_EQ("Z:\\home\\u\\.local\\share\\Trash\\info\\a b.txt.trashinfo", trash.recordPath);
    EXPECT_TRUE(RecycledItemOf("C:\\docs\\plain.txt").recordPath.empty());
    EXPECT_EQ((std::vector<std::string>{"a", "b", "c"}),
              RecycledItemPaths({{"a", "b"}, {"", "c"}}));
}

// Wine's bin is a freedesktop.org trash: two items of the same original name are two
// files there, each with its record, and a record without its data is an item too.
TEST(RecycleBinFolder, ATrashPairsEachFileWithItsInfoRecord) {
    MemoryFileSystem fs;
    const std::string trash = "Z:\\home\\u\\.local\\share\\Trash";
    fs.AddFile(trash + "\\files\\a.txt", "1");
    fs.AddFile(trash + "\\files\\a.txt-3f32", "2");
    fs.AddFile(trash + "\\info\\a.txt.trashinfo", "[Trash Info]");
    fs.AddFile(trash + "\\info\\a.txt-3f32.trashinfo", "[Trash Info]");
    fs.AddFile(trash + "\\info\\gone.txt.trashinfo", "[Trash Info]");
    std::vector<RecycledItem> items;
    std::uint32_t error = 0;
    ASSERT_TRUE(ListTrashFolder(fs, trash, items, error));
    EXPECT_EQ(Flatten(items),
              (std::vector<std::string>{
                  trash + "\\files\\a.txt | " + trash + "\\info\\a.txt.trashinfo",
                  trash + "\\files\\a.txt-3f32 | " + trash + "\\info\\a.txt-3f32.trashinfo",
                  " | " + trash + "\\info\\gone.txt.trashinfo"}));
    // A trash never used has no folders: it is empty, not unreadable.
    EXPECT_TRUE(ListTrashFolder(fs, "Z:\\nobody\\Trash", items, error));
    EXPECT_TRUE(items.empty());
}

// Items selected inside the bin's folder take their records along; nothing else does.
TEST(RecycleBinFolder, ItemsSelectedInsideTheBinTakeTheirRecords) {
    MemoryFileSystem fs;
    const std::string bin = kBin;
    fs.AddFile(bin + "\\$RAB.txt", "data");
    fs.AddFile(bin + "\\$IAB.txt", "record");
    fs.AddFile(bin + "\\$RNO.txt", "data without record");
    fs.AddFile("D:\\work\\$RAB.txt", "a file of that name elsewhere");
    fs.AddFile("D:\\work\\$IAB.txt", "not a record");
    EXPECT_EQ(
        (std::vector<std::string>{bin + "\\$RAB.txt", bin + "\\$IAB.txt", bin + "\\$RNO.txt",
                                  "D:\\work\\$RAB.txt"}),
        WithRecycledRecords(fs, {bin + "\\$RAB.txt", bin + "\\$RNO.txt", "D:\\work\\$RAB.txt"}));
    // A record selected with its data is not taken twice.
    EXPECT_EQ((std::vector<std::string>{bin + "\\$IAB.txt", bin + "\\$RAB.txt"}),
              WithRecycledRecords(fs, {bin + "\\$IAB.txt", bin + "\\$RAB.txt"}));
}

}  // namespace
}  // namespace veltrane
