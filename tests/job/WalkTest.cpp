// The folder walk on the in-memory file system: order, removal, links, names, failures,
// cancellation, and the worker procedure around it.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <pthread.h>
#endif

#include "job/JobLock.h"
#include "job/WipePath.h"
#include "wipe/Paths.h"
#include "support/MemoryFileSystem.h"
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

    fs.AddFile("C:\\secret.txt", "never overwritten");

    // Gone before its turn: recorded, nothing tried.
    EXPECT_EQ(Walk("C:\\gone"), kWalkFinished);
    ASSERT_EQ(job.failures.size(), 1u);
    EXPECT_EQ(job.failures[0].problem, WipeProblem::NotFound);
    EXPECT_EQ(job.failures[0].error, kErrorFileNotFound);
    EXPECT_EQ(debugLines.size(), 1u);

    // Attributes that cannot be read: neither entered, overwritten nor removed. A removal
    // would delete a file that was never overwritten.
    for (const char* path : {"C:\\kept", "C:\\secret.txt"}) {
        fs.ClearCalls();
        fs.FailCall(Op::Attributes, fs.CallCount(Op::Attributes) + 1, kErrorAccessDenied);
        EXPECT_EQ(Walk(path), kWalkFinished);
        EXPECT_TRUE(TouchesUnder("C:\\").empty()) << path;
        EXPECT_EQ(job.failures.back().problem, WipeProblem::NotFound);
        EXPECT_EQ(job.failures.back().error, kErrorAccessDenied);
    }
    EXPECT_TRUE(fs.IsFile("C:\\kept\\a.txt"));
    const std::string kept = "never overwritten";
    EXPECT_EQ(fs.Contents("C:\\secret.txt"), std::vector<std::uint8_t>(kept.begin(), kept.end()));

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
    // Only the file the cancel stopped is listed, under the name it has now.
    ASSERT_EQ(job.failures.size(), 1u);
    EXPECT_EQ(job.failures[0].problem, WipeProblem::Cancelled);
    EXPECT_EQ(job.failures[0].path, "C:\\sel\\l1\\l2\\l3\\big.bin");
    EXPECT_EQ(job.failures[0].passesDone, 0);
    EXPECT_TRUE(fs.IsFile(job.failures[0].leftAs));
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

// --- nothing outside the selection ------------------------------------------------------

std::vector<WipeProblem> ProblemsOf(const WipeJob& job) {
    std::vector<WipeProblem> problems;
    for (const auto& failure : job.failures) problems.push_back(failure.problem);
    return problems;
}

TEST_F(WalkTest, AnEnumeratedNameThatWouldLeaveItsFolderIsNeverJoined) {
    // What a best-fit conversion can make of a name: separators that lead to the parent.
    fs.AddFile("C:\\parent\\victim.txt", "outside the selection");
    fs.AddFile("C:\\parent\\sel\\odd", "odd");
    fs.ListAs("C:\\parent\\sel\\odd", "..\\victim.txt");
    fs.AddFile("C:\\parent\\sel\\stream", "colon");
    fs.ListAs("C:\\parent\\sel\\stream", "x:y");
    fs.AddFile("C:\\parent\\sel\\fine.txt", "fine");

    EXPECT_EQ(Walk("C:\\parent\\sel"), kWalkFinished);

    EXPECT_EQ(fs.Contents("C:\\parent\\victim.txt").size(), 21u);
    EXPECT_TRUE(TouchesUnder("C:\\parent\\victim").empty());
    EXPECT_FALSE(fs.Exists("C:\\parent\\sel\\fine.txt"));
    EXPECT_TRUE(fs.Exists("C:\\parent\\sel"));  // still holds what was left
    EXPECT_EQ(ProblemsOf(job), (std::vector<WipeProblem>{WipeProblem::NameLeavesFolder,
                                                         WipeProblem::NameLeavesFolder,
                                                         WipeProblem::FolderNotRemoved}));
    EXPECT_EQ(job.failures[0].path, "C:\\parent\\sel\\..\\victim.txt");
    EXPECT_EQ(job.failures[2].error, kErrorDirNotEmpty);
}

TEST_F(WalkTest, AnEmptyOrRelativePathIsRefusedBeforeAnythingIsTouched) {
    // Opened as they are, these would name the current folder of the process running the
    // job, or something in it.
    fs.AddFile("C:\\cwd\\a.txt", "alpha");
    for (const char* path : {"", ".", "..", "a.txt", "cwd\\a.txt", "C:cwd", "C:a.txt"}) {
        fs.ClearCalls();
        job.failures.clear();
        EXPECT_EQ(Walk(path), kWalkFinished) << path;
        EXPECT_TRUE(fs.Calls().empty()) << path;
        ASSERT_EQ(job.failures.size(), 1u) << path;
        EXPECT_EQ(job.failures[0].problem,
                  *path ? WipeProblem::NotAbsolute : WipeProblem::NameMissing)
            << path;
    }
    EXPECT_TRUE(fs.IsFile("C:\\cwd\\a.txt"));
}

TEST_F(WalkTest, DriveAndShareRootsAreRefusedAsAWhole) {
    fs.AddFile("C:\\a.txt", "on the drive");
    fs.AddFile("\\\\srv\\share\\b.txt", "on the share");
    for (const char* root : {"C:\\", "C:", "C:\\sub\\..", "\\\\srv\\share", "\\\\srv\\share\\",
                             "\\\\?\\C:\\", "\\\\.\\PhysicalDrive0"}) {
        fs.ClearCalls();
        job.failures.clear();
        EXPECT_EQ(Walk(root), kWalkFinished) << root;
        EXPECT_TRUE(fs.Calls().empty()) << root;
        ASSERT_EQ(job.failures.size(), 1u) << root;
    }
    EXPECT_EQ(job.failures[0].problem, WipeProblem::DevicePath);
    EXPECT_TRUE(fs.IsFile("C:\\a.txt"));
    EXPECT_TRUE(fs.IsFile("\\\\srv\\share\\b.txt"));
}

TEST_F(WalkTest, OnlyNameSurrogatesAreLinks) {
    fs.AddFile("D:\\target\\keep.txt", "target");
    fs.AddLinkToFolder("C:\\sel\\symlink", "D:\\target", kTagSymlink);
    fs.AddLinkToFolder("C:\\sel\\junction", "D:\\target", kTagMountPoint);
    fs.AddLinkToFolder("C:\\sel\\untagged", "D:\\target", 0);  // how Wine reports links
    // A synced folder and a deduplicated file hold their own data.
    fs.AddFile("C:\\sel\\cloud\\inside.txt", "synced");
    fs.SetReparseTag("C:\\sel\\cloud", kTagCloud);
    fs.AddFile("C:\\sel\\dedup.bin", "deduplicated");
    fs.SetReparseTag("C:\\sel\\dedup.bin", kTagDedup);
    // A placeholder whose data is in the cloud: opening it would download it.
    fs.AddFile("C:\\sel\\online.doc", "not here");
    fs.SetReparseTag("C:\\sel\\online.doc", kTagCloud);
    fs.SetAttributes("C:\\sel\\online.doc",
                     kAttrReparsePoint | kAttrRecallOnDataAccess | kAttrOffline);

    EXPECT_EQ(Walk("C:\\sel"), kWalkFinished);

    EXPECT_TRUE(TouchesUnder("D:\\").empty());
    EXPECT_EQ(fs.Contents("D:\\target\\keep.txt").size(), 6u);
    // The links went as links, the cloud folder was walked and removed, the local
    // deduplicated file overwritten once (one random pass each for it and inside.txt).
    EXPECT_EQ(fs.AllPaths(), (std::vector<std::string>{"C:\\sel", "C:\\sel\\online.doc",
                                                       "D:\\target", "D:\\target\\keep.txt"}));
    EXPECT_EQ(fs.Calls(Op::Write).size(), 2u);
    EXPECT_EQ(fs.Contents("C:\\sel\\online.doc").size(), 8u);
    EXPECT_EQ(ProblemsOf(job),
              (std::vector<WipeProblem>{WipeProblem::NotLocal, WipeProblem::FolderNotRemoved}));
    EXPECT_EQ(job.failures[0].path, "C:\\sel\\online.doc");
}

TEST_F(WalkTest, ANameWithoutAnExactFormIsShownButNeverReached) {
    fs.AddFile("C:\\sel\\x", "unpaired surrogate");
    fs.ListAs("C:\\sel\\x", std::string(1, kUnreadableNameMark) + "\xEF\xBF\xBD.txt");
    EXPECT_EQ(Walk("C:\\sel"), kWalkFinished);
    EXPECT_TRUE(fs.IsFile("C:\\sel\\x"));
    ASSERT_FALSE(job.failures.empty());
    EXPECT_EQ(job.failures[0].problem, WipeProblem::NameNotExact);
    EXPECT_EQ(job.failures[0].path, "C:\\sel\\\xEF\xBF\xBD.txt");
    EXPECT_EQ(debugLines[0].rfind("Not wiped: C:\\sel\\", 0), 0u);
}

TEST_F(WalkTest, AFileLeftPartlyWipedIsReportedUnderItsNewName) {
    fs.AddFileOfSize("C:\\sel\\report.txt", 1000);
    fs.AddFile("C:\\sel\\busy.txt", "in use");
    fs.SetHeldOpen("C:\\sel\\busy.txt", true);
    fs.FailCall(Op::Flush, 2, kErrorWriteFault);  // pass 2 of DoD Quick never reaches the disk
    job.method = DoDQuick;
    EXPECT_EQ(Walk("C:\\sel"), kWalkFinished);
    ASSERT_EQ(ProblemsOf(job),
              (std::vector<WipeProblem>{WipeProblem::FileNotWiped, WipeProblem::FileNotWiped,
                                        WipeProblem::FolderNotRemoved}));
    const WipeFailure& partly = job.failures[0];
    EXPECT_EQ(partly.path, "C:\\sel\\report.txt");
    EXPECT_EQ(partly.error, kErrorWriteFault);
    EXPECT_EQ(partly.passesDone, 1);
    ASSERT_EQ(partly.leftAs.size(), std::string("C:\\sel\\report.txt").size());
    EXPECT_TRUE(fs.IsFile(partly.leftAs));
    EXPECT_NE(DescribeFailure(partly).find("after 1 complete pass"), std::string::npos);
    EXPECT_EQ(job.failures[1].path, "C:\\sel\\busy.txt");
    EXPECT_EQ(job.failures[1].error, kErrorSharingViolation);
    EXPECT_TRUE(job.failures[1].leftAs.empty());
}

TEST_F(WalkTest, AFileWipedUnderItsOwnNameIsANoteNotAFailure) {
    // The rename is refused; the file is overwritten and deleted all the same, and the
    // record says its name was never hidden. Its folder goes.
    fs.AddFileOfSize("C:\\sel\\secret.txt", 100);
    fs.FailCall(Op::Move, 1, kErrorAccessDenied);
    EXPECT_EQ(Walk("C:\\sel"), kWalkFinished);
    ASSERT_EQ(ProblemsOf(job), std::vector<WipeProblem>{WipeProblem::WipedUnderOwnName});
    EXPECT_EQ(job.failures[0].path, "C:\\sel\\secret.txt");
    EXPECT_EQ(job.failures[0].error, kErrorAccessDenied);
    EXPECT_EQ(FailureCount(job.failures), 0u);
    EXPECT_FALSE(fs.Exists("C:\\sel"));
}

TEST_F(WalkTest, ACancelIsKeptWhenTheWalkRunsOutOfMemory) {
    fs.AddFile("C:\\sel\\a.txt", "alpha");
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Attributes && call.path == "C:\\sel\\a.txt") {
            job.cancel = 1;
            throw std::bad_alloc();
        }
    });
    job.path = "C:\\sel";
    WipeThreadProc(&job);
    EXPECT_TRUE(job.done);
    EXPECT_EQ(job.result, kWalkCancelled);
}

#ifdef _WIN32
DWORD WINAPI WorkerEntry(void* param) {
    return WipeThreadProc(param);
}
#endif

// Runs `job`'s walk on a thread of its own with the worker's stack, as the shell does.
void WalkOnWorkerStack(WipeJob& job) {
#ifdef _WIN32
    HANDLE thread = ::CreateThread(nullptr, kWorkerStackSize, &WorkerEntry, &job,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    ASSERT_NE(thread, nullptr);
    ::WaitForSingleObject(thread, INFINITE);
    ::CloseHandle(thread);
#else
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setstacksize(&attributes, kWorkerStackSize);
    pthread_t thread;
    ASSERT_EQ(pthread_create(
                  &thread, &attributes,
                  [](void* param) -> void* {
                      WipeThreadProc(param);
                      return nullptr;
                  },
                  &job),
              0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attributes);
#endif
}

TEST_F(WalkTest, ATreeDeeperThanAnyStackIsWipedBottomUpOnTheWorkersStack) {
    // Twice as deep as a path of 32,767 characters allows: the walk keeps its open folders
    // on the heap. The in-memory tree costs the square of its depth in memory, which a
    // 32-bit test program or a sanitizer's shadow cannot spare; 3,000 levels are still
    // five times what the worker's stack would hold at a frame per level.
#if defined(_WIN32) || defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    constexpr int kDepth = 3000;
#else
    constexpr int kDepth = 20000;
#endif
    std::string deepest = "C:\\sel";
    for (int i = 0; i < kDepth; ++i) deepest += "\\d";
    fs.AddFile(deepest + "\\f.txt", "deep");
    fs.AddFile("C:\\sel\\d\\beside.txt", "beside");
    // Post-order: each folder after everything below it, the deepest first.
    fs.KeepCalls(false);
    std::vector<std::size_t> removedDepths;
    fs.SetObserver([&removedDepths](const MemoryFileSystem::Call& call) {
        if (call.op == Op::RemoveFolder && call.ok) {
            removedDepths.push_back(std::count(call.path.begin(), call.path.end(), '\\'));
        }
    });
    job.path = "C:\\sel";
    WalkOnWorkerStack(job);
    EXPECT_TRUE(job.done);
    EXPECT_EQ(job.result, kWalkFinished);
    EXPECT_TRUE(job.failures.empty());
    EXPECT_FALSE(fs.Exists("C:\\sel"));
    ASSERT_EQ(removedDepths.size(), static_cast<std::size_t>(kDepth) + 1);
    for (std::size_t i = 0; i < removedDepths.size(); ++i) {
        ASSERT_EQ(removedDepths[i], static_cast<std::size_t>(kDepth) + 1 - i);
    }
    EXPECT_EQ(fs.OpenFindCount(), 0u);
}

TEST_F(WalkTest, WhatAFolderHoldsBeyondItsListedEntriesKeepsItUntilItIsWiped) {
    // A listing that fails part-way: its own error and the folder, never "not empty"; the
    // entries after the failure are never reached.
    fs.AddFile("C:\\sel\\broken\\a.txt", "a");
    fs.AddFile("C:\\sel\\broken\\b.txt", "b");
    fs.AddFile("C:\\sel\\z.txt", "z");
    fs.FailCall(Op::FindNext, 5, kErrorGenFailure);  // sel: "..", "broken"; broken: "..", "a.txt"
    EXPECT_EQ(Walk("C:\\sel"), kWalkFinished);
    ASSERT_EQ(ProblemsOf(job), (std::vector<WipeProblem>{WipeProblem::FolderNotListed,
                                                         WipeProblem::FolderNotRemoved}));
    EXPECT_EQ(job.failures[0].path, "C:\\sel\\broken");
    EXPECT_EQ(job.failures[0].error, kErrorGenFailure);
    EXPECT_FALSE(fs.Exists("C:\\sel\\broken\\a.txt"));
    EXPECT_TRUE(fs.IsFile("C:\\sel\\broken\\b.txt"));
    EXPECT_FALSE(fs.Exists("C:\\sel\\z.txt"));  // the walk goes on beside it

    // A folder's own named streams are overwritten before it goes; a folder whose streams
    // cannot be listed stays.
    job.failures.clear();
    fs.AddFolder("C:\\streams");
    fs.AddStream("C:\\streams", "meta", "folder secret");
    fs.AddFolder("C:\\unlisted");
    fs.FailCalls(Op::Streams, fs.CallCount(Op::Streams) + 2, 1, kErrorAccessDenied);
    EXPECT_EQ(Walk("C:\\streams"), kWalkFinished);
    EXPECT_EQ(Walk("C:\\unlisted"), kWalkFinished);
    EXPECT_FALSE(fs.Exists("C:\\streams"));
    bool streamWritten = false;
    for (const auto& call : fs.Calls(Op::Write)) {
        if (call.path == "C:\\streams:meta" && call.size == 13) streamWritten = true;
    }
    EXPECT_TRUE(streamWritten);
    ASSERT_EQ(ProblemsOf(job), std::vector<WipeProblem>{WipeProblem::FolderStreamsNotWiped});
    EXPECT_EQ(job.failures[0].path, "C:\\unlisted");
    EXPECT_EQ(job.failures[0].error, kErrorAccessDenied);
    EXPECT_TRUE(fs.Exists("C:\\unlisted"));
}

TEST_F(WalkTest, ACancelLeavesWhatItReachesFirstUntouchedAndRecordsWhatItChanged) {
    // Set while the folder is listed: no entry after it is opened, renamed or removed,
    // links included.
    fs.AddFile("C:\\sel\\a.txt", "alpha");
    fs.AddFolder("C:\\target");
    fs.AddLinkToFolder("C:\\sel\\link", "C:\\target");
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        if (call.op == Op::FindFirst) job.cancel.store(1);
    });
    EXPECT_EQ(Walk("C:\\sel"), kWalkCancelled);
    EXPECT_EQ(TouchesUnder("C:\\sel\\"),
              std::vector<std::string>{"C:\\sel\\*"});  // its listing only
    EXPECT_TRUE(fs.Exists("C:\\sel\\link"));
    EXPECT_TRUE(job.failures.empty());

    // A file whose rename was refused and whose overwrite a cancel stopped: partly
    // overwritten under its own name, so it is in the record with its passes.
    job.cancel.store(0);
    fs.SetObserver(nullptr);
    fs.AddFileOfSize("C:\\kept.bin", 3 * 262144);
    fs.FailCall(Op::Move, fs.CallCount(Op::Move) + 1, kErrorAccessDenied);
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Write) job.cancel.store(1);
    });
    EXPECT_EQ(Walk("C:\\kept.bin"), kWalkCancelled);
    ASSERT_EQ(ProblemsOf(job), std::vector<WipeProblem>{WipeProblem::Cancelled});
    EXPECT_EQ(job.failures[0].path, "C:\\kept.bin");
    EXPECT_TRUE(job.failures[0].leftAs.empty());
    EXPECT_TRUE(fs.IsFile("C:\\kept.bin"));
}

TEST_F(WalkTest, APathNamingAFoldersIndexIsRefusedWhole) {
    fs.AddFile("C:\\sel\\a.txt", "alpha");
    for (const char* path : {"C:\\::$INDEX_ALLOCATION", "C:\\sel::$INDEX_ALLOCATION",
                             "C:\\sel:$I30", "C:\\sel:$i30:$INDEX_ALLOCATION", "C:\\sel::$BITMAP\\",
                             "\\\\server\\share\\sel::$INDEX_ROOT"}) {
        job.failures.clear();
        EXPECT_EQ(Walk(path), kWalkFinished);
        ASSERT_EQ(ProblemsOf(job), std::vector<WipeProblem>{WipeProblem::FolderStream}) << path;
    }
    EXPECT_TRUE(fs.IsFile("C:\\sel\\a.txt"));
    EXPECT_EQ(fs.CallCount(Op::Attributes), 0u);
    // A file's named data stream is no folder's index.
    EXPECT_FALSE(NamesFolderStream("C:\\sel\\a.txt:Zone.Identifier"));
    EXPECT_FALSE(NamesFolderStream("C:\\sel\\a.txt:notes:$DATA"));
}

}  // namespace
}  // namespace veltrane
