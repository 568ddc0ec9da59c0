// The free-space wipe on an in-memory volume with a capacity and an entry limit: the fill
// reaches the end of the free space with every pass, the file records are taken, and
// whatever way the run ends, nothing of the fill stays and nothing else is touched.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "support/MemoryFileSystem.h"
#include "wipe/FreeSpaceWipe.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using Op = MemoryFileSystem::Op;

constexpr char kRoot[] = "D:\\";
constexpr char kKept[] = "D:\\docs\\kept.bin";
constexpr std::uint64_t kMiB = 1u << 20;

FreeSpaceOptions SmallOptions() {
    FreeSpaceOptions o;
    o.fillFileBytes = 3 * kMiB;
    o.chunkBytes = 64 * 1024;
    o.flushBytes = kMiB;
    o.recordReserveBytes = 64 * 1024;
    o.othersThreshold = kMiB;
    return o;
}

class FreeSpaceWipeTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs.AddFolder(kRoot);
        fs.AddFileOfSize(kKept, 5000, 0x33);
        // Free space that no write size divides: the last bits take ever smaller writes.
        fs.SetCapacity(5000 + 10 * kMiB + 1536, 64);
        before = fs.AllPaths();
        keptContents = fs.Contents(kKept);
    }

    FreeSpaceResult Run(std::uint32_t method, const FreeSpaceOptions& options = SmallOptions()) {
        FreeSpaceWipe wipe(kRoot, fs, options);
        wipe.cancelFlag = &cancel;
        wipe.stage = &stage;
        wipe.currentPass = &pass;
        return wipe.Run(method);
    }

    // Nothing of the fill is left, and what was there is as it was.
    void ExpectVolumeAsBefore() {
        EXPECT_EQ(before, fs.AllPaths());
        EXPECT_EQ(keptContents, fs.Contents(kKept));
        EXPECT_EQ(5000u, fs.UsedBytes());
        EXPECT_EQ(0u, fs.OpenHandleCount());
        EXPECT_EQ(0u, fs.OpenFindCount());
        EXPECT_EQ(0u, fs.LiveAllocationCount());
    }

    MemoryFileSystem fs;
    std::vector<std::string> before;
    std::vector<std::uint8_t> keptContents;
    std::atomic<std::uint8_t> cancel{0};
    std::atomic<std::int32_t> stage{0};
    std::atomic<std::int32_t> pass{0};
};

TEST_F(FreeSpaceWipeTest, EveryPassCoversAllTheFreeSpaceThenTheRecordsAreTaken) {
    std::vector<std::string> written;  // every path the wipe creates or writes through
    std::uint64_t peakUsed = 0;
    fs.SetObserver([&](const MemoryFileSystem::Call& call) {
        if (call.op == Op::CreateNew || call.op == Op::CreateFolder || call.op == Op::Open)
            written.push_back(call.path);
        if (call.op == Op::Write) peakUsed = std::max(peakUsed, fs.UsedBytes());
    });
    const FreeSpaceResult r = Run(DoDQuick);
    EXPECT_TRUE(r.finished);
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(0u, r.error);
    EXPECT_EQ(10 * kMiB + 1536, r.freeAtStart);
    EXPECT_EQ(r.freeAtStart, r.covered);
    EXPECT_EQ(r.freeAtStart + 5000, peakUsed);  // the volume was full
    EXPECT_EQ(3, r.passes);
    EXPECT_EQ(3, r.passesDone);
    EXPECT_EQ(4u, r.fillFiles);
    EXPECT_EQ(0u, r.takenByOthers);
    // The entries left go to small files until the volume refuses another.
    EXPECT_TRUE(r.recordsFilled);
    const std::vector<MemoryFileSystem::Call> creates = fs.Calls(Op::CreateNew);
    ASSERT_FALSE(creates.empty());
    EXPECT_EQ(kErrorDiskFull, creates.back().error);
    EXPECT_EQ(4u + r.recordFiles + 1, creates.size());
    EXPECT_GT(r.recordFiles, 40u);
    EXPECT_EQ(3 * r.covered + 700 * r.recordFiles, r.bytesWritten);
    for (const std::string& path : written) {
        EXPECT_EQ(0u, path.rfind(std::string(kRoot) + kFillFolderPrefix, 0)) << path;
    }
    EXPECT_EQ(static_cast<std::int32_t>(FreeSpaceStage::Ended), stage.load());
    ExpectVolumeAsBefore();
}

// A volume that says NTFS but keeps small files' data outside its records (the in-memory
// one counts every byte) ends the record fill at its first check, not after every entry.
TEST_F(FreeSpaceWipeTest, TheRecordFillStopsWhereSmallFilesTakeFreeSpace) {
    fs.SetCapacity(5000 + 10 * kMiB, 100000);
    FreeSpaceOptions options = SmallOptions();
    options.recordReserveBytes = kMiB;
    const FreeSpaceResult r = Run(Random, options);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(64u, r.recordFiles);
    EXPECT_FALSE(r.recordsFilled);
    ExpectVolumeAsBefore();
}

TEST_F(FreeSpaceWipeTest, OnlyNtfsGetsTheRecordFillAndOnlyLocalWritableVolumesAreWiped) {
    fs.SetVolume({VolumeKind::Removable, false, "FAT32", 0, 0});
    FreeSpaceResult r = Run(Random);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(0u, r.recordFiles);
    EXPECT_EQ(r.freeAtStart, r.covered);

    struct Refused {
        VolumeFacts facts;
        FreeSpaceRefusal refusal;
    };
    for (const Refused& c :
         {Refused{{VolumeKind::Remote, false, "NTFS", 0, 0}, FreeSpaceRefusal::Remote},
          Refused{{VolumeKind::Optical, false, "UDF", 0, 0}, FreeSpaceRefusal::Optical},
          Refused{{VolumeKind::Fixed, true, "NTFS", 0, 0}, FreeSpaceRefusal::ReadOnly}}) {
        fs.SetVolume(c.facts);
        fs.ClearCalls();
        r = Run(Random);
        EXPECT_EQ(c.refusal, r.refusal);
        EXPECT_FALSE(r.finished);
        EXPECT_TRUE(fs.Calls(Op::CreateFolder).empty());
        EXPECT_TRUE(fs.Calls(Op::Write).empty());
    }
    fs.FailCall(Op::QueryVolume, fs.CallCount(Op::QueryVolume) + 1, kErrorPathNotFound);
    EXPECT_EQ(FreeSpaceRefusal::NoVolume, Run(Random).refusal);
    ExpectVolumeAsBefore();
}

// Cancels at the n-th call of `op`; every stage of the run ends with the fill gone.
TEST_F(FreeSpaceWipeTest, ACancelAtAnyStageRemovesEveryFillFile) {
    struct Point {
        const char* stage;
        Op op;
        std::uint64_t nth;
    };
    const Point points[] = {
        {"before the first write", Op::CreateFolder, 1},
        {"inside the first fill file", Op::Write, 3},
        {"between fill files", Op::CreateNew, 2},
        {"in the second pass", Op::Open, 2},
        {"in the last pass", Op::Write, 400},
        {"among the record files", Op::CreateNew, 10},
    };
    for (const Point& p : points) {
        SCOPED_TRACE(p.stage);
        std::uint64_t seen = 0;
        cancel = 0;
        fs.SetObserver([&](const MemoryFileSystem::Call& call) {
            if (call.op == p.op && ++seen == p.nth) cancel = 1;
        });
        const FreeSpaceResult r = Run(DoDQuick);
        EXPECT_TRUE(r.cancelled);
        EXPECT_FALSE(r.finished);
        EXPECT_LT(r.passesDone, p.op == Op::CreateNew && p.nth == 10 ? 4 : 3);
        ExpectVolumeAsBefore();
    }
}

TEST_F(FreeSpaceWipeTest, FailuresEndTheRunWithTheFillRemovedOrNamed) {
    // A write fault in the second pass: reported, and nothing stays.
    fs.FailCalls(Op::Write, 200, 1, kErrorWriteFault);
    FreeSpaceResult r = Run(Random2);
    EXPECT_FALSE(r.finished);
    EXPECT_EQ(kErrorWriteFault, r.error);
    EXPECT_EQ(1, r.passesDone);
    ExpectVolumeAsBefore();

    // A fill file that cannot be deleted leaves its folder, which is named; the next run
    // removes it first and says so.
    fs.FailCall(Op::Remove, fs.CallCount(Op::Remove) + 2, kErrorAccessDenied);
    r = Run(Random);
    EXPECT_FALSE(r.finished);
    ASSERT_FALSE(r.leftBehind.empty());
    EXPECT_TRUE(fs.IsFolder(r.leftBehind));
    const std::string left = r.leftBehind;
    r = Run(Random);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(1u, r.leftoversRemoved);
    EXPECT_FALSE(fs.Exists(left));
    ExpectVolumeAsBefore();
}

TEST_F(FreeSpaceWipeTest, LeftoversOfACrashGoButNothingElseThatLooksLikeThem) {
    const std::string crashed = std::string(kRoot) + kFillFolderPrefix + "qwertyui";
    fs.AddFileOfSize(crashed + "\\fill-000000", 4096);
    fs.AddFileOfSize(crashed + "\\r17", 700);
    // A folder of the same name that someone put a file into keeps it; a link of the same
    // name is never followed; other names are not fill folders.
    const std::string used = std::string(kRoot) + kFillFolderPrefix + "abc";
    fs.AddFile(used + "\\fill-000000", "x");
    fs.AddFile(used + "\\notes.txt", "mine");
    fs.AddFile("D:\\elsewhere\\fill-000001", "theirs");
    fs.AddLinkToFolder(std::string(kRoot) + kFillFolderPrefix + "link", "D:\\elsewhere",
                       kTagMountPoint);
    fs.AddFile(std::string(kRoot) + kFillFolderPrefix + "x1\\fill-000000", "y");
    const std::vector<std::string> untouched = {"D:\\elsewhere\\fill-000001", used + "\\notes.txt"};

    const FreeSpaceResult r = Run(Random);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(1u, r.leftoversRemoved);
    EXPECT_FALSE(r.leftoverKept.empty());
    EXPECT_FALSE(fs.Exists(crashed));
    for (const std::string& path : untouched) EXPECT_TRUE(fs.IsFile(path)) << path;
    EXPECT_TRUE(fs.IsFile(std::string(kRoot) + kFillFolderPrefix + "x1\\fill-000000"));
    EXPECT_TRUE(IsFillFolderName(std::string(kFillFolderPrefix) + "Ab"));
    EXPECT_FALSE(IsFillFolderName(kFillFolderPrefix));
}

TEST_F(FreeSpaceWipeTest, FreeSpaceTakenMeanwhileOrAQuotaEndsTheFillWithoutAnError) {
    // Another program writes 4 MiB while the first pass runs.
    bool added = false;
    fs.SetObserver([&](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Write && !added && fs.UsedBytes() > 5000 + 2 * kMiB) {
            added = true;
            fs.AddFileOfSize("D:\\other.bin", 4 * kMiB, 0x44);
        }
    });
    FreeSpaceResult r = Run(Random2);
    EXPECT_TRUE(r.finished);
    EXPECT_EQ(0u, r.error);
    EXPECT_EQ(r.freeAtStart - 4 * kMiB, r.covered);
    EXPECT_EQ(4 * kMiB, r.takenByOthers);
    EXPECT_EQ(2, r.passesDone);
    EXPECT_EQ(std::vector<std::uint8_t>(4 * kMiB, 0x44), fs.Contents("D:\\other.bin"));
    fs.SetObserver(nullptr);
    fs.Remove("D:\\other.bin");
    ExpectVolumeAsBefore();

    // The user's quota ends the fill: said so, and not as space others took.
    fs.FailCalls(Op::Write, fs.CallCount(Op::Write) + 40, 1000000, kErrorDiskQuotaExceeded);
    fs.FailCalls(Op::CreateNew, fs.CallCount(Op::CreateNew) + 1, 1000000, kErrorDiskQuotaExceeded);
    r = Run(Random);
    EXPECT_TRUE(r.finished);
    EXPECT_TRUE(r.quotaStopped);
    EXPECT_EQ(0u, r.takenByOthers);
    EXPECT_LT(r.covered, r.freeAtStart);
    ExpectVolumeAsBefore();
}

}  // namespace
}  // namespace veltrane
