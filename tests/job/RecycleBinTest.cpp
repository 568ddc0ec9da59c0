// One user's Recycle Bin folder, laid out as Windows keeps it, listed through the in-memory
// file system: what is found to wipe, and that a bin that cannot be read is never empty.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "job/RecycleBin.h"
#include "support/MemoryFileSystem.h"

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

}  // namespace
}  // namespace veltrane
