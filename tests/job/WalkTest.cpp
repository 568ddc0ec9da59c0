// The folder walk on the in-memory file system: order, removal, links, names, failures,
// cancellation, and the worker procedure around it.
#include <gtest/gtest.h>

#include <new>
#include <string>
#include <vector>

#include "job/JobLock.h"
#include "job/WipePath.h"
#include "wipe/MemoryFileSystem.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using Op = MemoryFileSystem::Op;

class WalkTest : public ::testing::Test {
protected:
    WalkTest() {
        InitializeJobLock();
        job.fileSystem = &fs;
        job.method = Random;
        job.debugSink = [this](const std::string& line) { debugLines.push_back(line); };
    }

    std::int32_t Walk(const std::string& path) {
        job.path = path;
        return WipePath(job);
    }

    std::vector<std::string> PathsOf(Op op) const {
        std::vector<std::string> paths;
        for (const auto& call : fs.Calls(op)) paths.push_back(call.path);
        return paths;
    }

    // Every call that opened, wrote or removed something under `prefix`.
    std::vector<std::string> TouchesUnder(const std::string& prefix) const {
        std::vector<std::string> touched;
        for (const auto& call : fs.Calls()) {
            const bool changes = call.op == Op::Open || call.op == Op::Write ||
                                 call.op == Op::Move || call.op == Op::Remove ||
                                 call.op == Op::RemoveFolder || call.op == Op::FindFirst;
            if (changes && call.path.rfind(prefix, 0) == 0) touched.push_back(call.path);
        }
        return touched;
    }

    MemoryFileSystem fs;
    WipeJob job;
    std::vector<std::string> debugLines;
};

TEST_F(WalkTest, VisitsDepthFirstInTheSystemsOrderAndRemovesFoldersBottomUp) {
    fs.AddFile("C:\\sel\\a.txt", "alpha");
    fs.AddFile("C:\\sel\\sub\\b.txt", "bravo");
    fs.AddFile("C:\\sel\\sub\\deeper\\c.txt", "charlie");
    fs.AddFolder("C:\\sel\\sub\\empty");
    fs.AddFile("C:\\sel\\z.txt", "zulu");

    EXPECT_EQ(Walk("C:\\sel"), kWalkFinished);

    EXPECT_EQ(PathsOf(Op::Attributes),
              (std::vector<std::string>{"C:\\sel", "C:\\sel\\a.txt", "C:\\sel\\sub",
                                        "C:\\sel\\sub\\b.txt", "C:\\sel\\sub\\deeper",
                                        "C:\\sel\\sub\\deeper\\c.txt", "C:\\sel\\sub\\empty",
                                        "C:\\sel\\z.txt"}));
    EXPECT_EQ(PathsOf(Op::RemoveFolder),
              (std::vector<std::string>{"C:\\sel\\sub\\deeper", "C:\\sel\\sub\\empty",
                                        "C:\\sel\\sub", "C:\\sel"}));
    EXPECT_TRUE(fs.AllPaths().empty());
    EXPECT_EQ(fs.Calls(Op::Write).size(), 4u);  // one random pass per file
    EXPECT_TRUE(debugLines.empty());
    EXPECT_EQ(fs.OpenFindCount(), 0u);
}

TEST_F(WalkTest, AFileThatCannotBeOpenedKeepsItselfAndEveryFolderAboveIt) {
    fs.AddFile("C:\\sel\\a.txt", "alpha");
    fs.AddFile("C:\\sel\\sub\\deeper\\busy.txt", "in use");
    fs.AddFile("C:\\sel\\sub\\deeper\\d.txt", "delta");
    fs.AddFile("C:\\sel\\sub\\other\\e.txt", "echo");
    fs.SetHeldOpen("C:\\sel\\sub\\deeper\\busy.txt", true);

    EXPECT_EQ(Walk("C:\\sel"), kWalkFinished);

    EXPECT_EQ(fs.AllPaths(),
              (std::vector<std::string>{"C:\\sel", "C:\\sel\\sub", "C:\\sel\\sub\\deeper",
                                        "C:\\sel\\sub\\deeper\\busy.txt"}));
    EXPECT_EQ(fs.Contents("C:\\sel\\sub\\deeper\\busy.txt"),
              std::vector<std::uint8_t>({'i', 'n', ' ', 'u', 's', 'e'}));
    EXPECT_EQ(debugLines, (std::vector<std::string>{"Error 145 deleting C:\\sel\\sub\\deeper",
                                                    "Error 145 deleting C:\\sel\\sub",
                                                    "Error 145 deleting C:\\sel"}));
}

TEST_F(WalkTest, LinksAreRemovedThemselvesAndWhatTheyPointToIsNeverTouched) {
    fs.AddFile("D:\\outside\\folder\\keep.txt", "folder target");
    fs.AddFile("D:\\outside\\file.txt", "file target");
    fs.AddFile("C:\\sel\\a.txt", "alpha");
    fs.AddLinkToFolder("C:\\sel\\junction", "D:\\outside\\folder");
    fs.AddLinkToFile("C:\\sel\\shortcut.txt", "D:\\outside\\file.txt");

    EXPECT_EQ(Walk("C:\\sel"), kWalkFinished);

    EXPECT_FALSE(fs.Exists("C:\\sel"));
    EXPECT_EQ(fs.Contents("D:\\outside\\folder\\keep.txt").size(), 13u);
    EXPECT_EQ(fs.Contents("D:\\outside\\file.txt"),
              std::vector<std::uint8_t>({'f', 'i', 'l', 'e', ' ', 't', 'a', 'r', 'g', 'e', 't'}));
    // Neither link was opened or entered: one write for a.txt, no search below the links.
    EXPECT_EQ(fs.Calls(Op::Write).size(), 1u);
    EXPECT_EQ(PathsOf(Op::FindFirst), std::vector<std::string>{"C:\\sel\\*"});

    // Selected themselves.
    fs.AddLinkToFolder("C:\\folderlink", "D:\\outside\\folder");
    fs.AddLinkToFile("C:\\filelink", "D:\\outside\\file.txt");
    EXPECT_EQ(Walk("C:\\folderlink\\"), kWalkFinished);
    EXPECT_EQ(Walk("C:\\filelink"), kWalkFinished);
    EXPECT_EQ(fs.AllPaths(),
              (std::vector<std::string>{"D:\\outside", "D:\\outside\\file.txt",
                                        "D:\\outside\\folder", "D:\\outside\\folder\\keep.txt"}));
    EXPECT_TRUE(TouchesUnder("D:\\").empty());
}

TEST_F(WalkTest, OnlyDotAndDotDotAreSkipped) {
    fs.AddFile("C:\\sel\\...", "three dots");
    fs.AddFile("C:\\sel\\..a", "two dots and a letter");
    fs.AddFile("C:\\sel\\..folder\\inside.txt", "inside");
    fs.AddFile("C:\\sel\\.hidden", "one dot");

    EXPECT_EQ(Walk("C:\\sel"), kWalkFinished);

    EXPECT_TRUE(fs.AllPaths().empty());
    EXPECT_EQ(fs.Calls(Op::Write).size(), 4u);
}

TEST_F(WalkTest, TrailingSeparatorsAreDroppedAndNeverDoubled) {
    for (const std::string selected : {"C:\\sel\\", "C:/sel/"}) {
        SCOPED_TRACE(selected);
        fs.ClearCalls();
        fs.AddFile("C:\\sel\\a.txt", "alpha");
        fs.AddFile("C:\\sel\\sub\\b.txt", "bravo");

        EXPECT_EQ(Walk(selected), kWalkFinished);

        const std::string bare = selected.substr(0, selected.size() - 1);
        EXPECT_EQ(PathsOf(Op::Attributes),
                  (std::vector<std::string>{bare, selected + "a.txt", selected + "sub",
                                            selected + "sub\\b.txt"}));
        EXPECT_EQ(PathsOf(Op::FindFirst),
                  (std::vector<std::string>{selected + "*", selected + "sub\\*"}));
        EXPECT_EQ(PathsOf(Op::RemoveFolder), (std::vector<std::string>{selected + "sub", bare}));
        EXPECT_TRUE(fs.AllPaths().empty());
    }
}

TEST_F(WalkTest, MissingOrUnreadableItemsWipeNothing) {
    fs.AddFile("C:\\kept\\a.txt", "alpha");

    // Gone before its turn: only a removal is tried, and it fails quietly.
    EXPECT_EQ(Walk("C:\\gone"), kWalkFinished);
    EXPECT_EQ(debugLines, std::vector<std::string>{"Error 2 deleting RP C:\\gone"});

    // Attributes that cannot be read read as a linked folder: never entered; its
    // removal fails on what it holds.
    fs.FailCall(Op::Attributes, fs.CallCount(Op::Attributes) + 1, kErrorAccessDenied);
    EXPECT_EQ(Walk("C:\\kept"), kWalkFinished);
    EXPECT_TRUE(fs.IsFile("C:\\kept\\a.txt"));
    EXPECT_TRUE(fs.Calls(Op::FindFirst).empty());
    EXPECT_TRUE(fs.Calls(Op::Open).empty());
    EXPECT_EQ(debugLines.back(), "Error 145 deleting RP C:\\kept");

    // A folder that cannot be enumerated is neither walked nor removed.
    fs.ClearCalls();
    fs.FailCall(Op::FindFirst, 1, kErrorAccessDenied);
    EXPECT_EQ(Walk("C:\\kept"), kWalkFinished);
    EXPECT_TRUE(fs.IsFile("C:\\kept\\a.txt"));
    EXPECT_TRUE(fs.Calls(Op::RemoveFolder).empty());
    EXPECT_TRUE(fs.Calls(Op::Open).empty());
}

TEST_F(WalkTest, CancelInsideADeepTreeLeavesEverythingOnTheWayUp) {
    fs.AddFile("C:\\sel\\a.txt", "alpha");
    fs.AddFile("C:\\sel\\l1\\b.txt", "bravo");
    fs.AddFileOfSize("C:\\sel\\l1\\l2\\l3\\big.bin", 3 * 262144);
    fs.AddFile("C:\\sel\\l1\\l2\\l3\\after.txt", "after");
    fs.AddFile("C:\\sel\\l1\\later.txt", "later");
    fs.AddFile("C:\\sel\\z.txt", "zulu");
    job.method = Gutmann;
    // The job's poll copies the request while the big file's first pass is written.
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Write && call.size == 262144) job.cancel.store(1);
    });

    EXPECT_EQ(Walk("C:\\sel"), kWalkCancelled);

    EXPECT_FALSE(fs.Exists("C:\\sel\\a.txt"));
    EXPECT_FALSE(fs.Exists("C:\\sel\\l1\\b.txt"));
    EXPECT_FALSE(fs.Exists("C:\\sel\\l1\\l2\\l3\\big.bin"));  // renamed, not deleted:
    EXPECT_EQ(fs.List("C:\\sel\\l1\\l2\\l3").size(), 2u);     // still there under its new name
    EXPECT_TRUE(fs.IsFile("C:\\sel\\l1\\l2\\l3\\after.txt"));
    EXPECT_TRUE(fs.IsFile("C:\\sel\\l1\\later.txt"));
    EXPECT_TRUE(fs.IsFile("C:\\sel\\z.txt"));
    EXPECT_TRUE(fs.Calls(Op::RemoveFolder).empty());
    EXPECT_EQ(fs.OpenFindCount(), 0u);  // every enumeration on the way up was closed
    EXPECT_EQ(fs.OpenHandleCount(), 0u);
}

TEST_F(WalkTest, AWorkerWhoseWalkRunsOutOfMemoryStillEndsItsItem) {
    fs.AddFile("C:\\sel\\a.txt", "alpha");
    fs.SetObserver([](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Attributes && call.path == "C:\\sel\\a.txt") throw std::bad_alloc();
    });
    job.path = "C:\\sel";

    WipeThreadProc(&job);

    EXPECT_TRUE(job.done);
    EXPECT_EQ(job.result, kWalkFinished);
    ASSERT_EQ(debugLines.size(), 1u);
    EXPECT_EQ(debugLines[0].rfind("Walk stopped: ", 0), 0u);
    EXPECT_EQ(fs.OpenFindCount(), 0u);  // the search was closed on the way out
}

}  // namespace
}  // namespace veltrane
