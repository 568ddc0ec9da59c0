// The job's driver with real worker threads on the in-memory file system: the dialog's
// texts and bars, the wait loop's polls, cancellation and the ways a job ends early.
#include <gtest/gtest.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "NativeJobHost.h"
#include "job/JobLock.h"
#include "wipe/MemoryFileSystem.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using Op = MemoryFileSystem::Op;
using Entries = std::vector<std::string>;

class JobDriverTest : public ::testing::Test {
protected:
    JobDriverTest() {
        InitializeJobLock();
        settings.fileSystem = &fs;
    }

    void Run(const std::vector<std::string>& selection, std::uint32_t method = Random) {
        RunJobItems(selection, method, view, host, settings);
    }

    // The log from the first entry equal to `from` up to, not including, `to`.
    Entries Slice(const std::string& from, const std::string& to) const {
        const Entries all = log.Entries();
        Entries part;
        bool in = false;
        for (const auto& entry : all) {
            if (entry == from) in = true;
            if (in && entry == to && !part.empty()) break;
            if (in) part.push_back(entry);
        }
        return part;
    }

    MemoryFileSystem fs;
    WalkSettings settings;
    JobLog log;
    RecordingView view{log};
    NativeJobHost host{log};
};

TEST_F(JobDriverTest, AnEmptySelectionSetsTheBarsRangeAndStartsNoWorker) {
    Run({});
    EXPECT_EQ(log.Entries(), Entries{"count 0"});
}

TEST_F(JobDriverTest, EachItemShowsItsTextsAndStepsTheBarBeforeItsWorkerStarts) {
    fs.AddFile("C:\\one.txt", "1");
    fs.AddFile("C:\\dir\\two.txt", "2");
    fs.AddFile("C:\\three.txt", "3");

    Run({"C:\\one.txt", "C:\\dir\\", "C:\\three.txt"});

    EXPECT_TRUE(fs.AllPaths().empty());
    const Entries all = log.Entries();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all[0], "count 3");
    EXPECT_EQ(Slice("status Processing file 2 of 3", "start"),
              (Entries{"status Processing file 2 of 3", "path C:\\dir\\", "step", "pump"}));
    EXPECT_EQ(log.Count("start"), 3u);
    EXPECT_EQ(log.Count("step"), 3u);
    // Every item's wait ends on the engine's last percentage.
    EXPECT_EQ(log.Count("progress 100"), 3u);
}

TEST_F(JobDriverTest, EveryPollReadsTheCancelRequestFirstAndPumpsLast) {
    fs.AddFileOfSize("C:\\slow.bin", 4 * 262144);
    // Hold the worker in its first write until the job has polled a few times.
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Write && call.offset == 0) {
            while (log.Count("wait") < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });

    Run({"C:\\slow.bin"}, NATO);

    const Entries poll = Slice("start", "");
    ASSERT_GE(poll.size(), 4u);
    // start, then polls: "cancel?" [progress N] "pump" ("wait" between polls).
    std::size_t i = 1;
    int polls = 0;
    while (i < poll.size()) {
        ASSERT_EQ(poll[i++], "cancel?");
        if (i < poll.size() && poll[i].rfind("progress ", 0) == 0) ++i;
        ASSERT_LT(i, poll.size());
        ASSERT_EQ(poll[i++], "pump");
        ++polls;
        if (i < poll.size()) {
            ASSERT_EQ(poll[i++], "wait");
        }
    }
    EXPECT_GE(polls, 4);
    EXPECT_EQ(poll[2], "progress 0");  // the first poll always sets the bar
    EXPECT_EQ(poll[poll.size() - 2], "progress 100");
    EXPECT_EQ(poll.back(), "pump");  // no wait after the poll that saw done
}

TEST_F(JobDriverTest, AWorkerThatEndsBeforeTheFirstPollSetsTheBarOnceAndWaitsNever) {
    fs.AddFile("C:\\quick.txt", "quick");
    host.finishBeforeFirstPoll = true;

    Run({"C:\\quick.txt"});

    EXPECT_EQ(Slice("start", ""), (Entries{"start", "cancel?", "progress 100", "pump"}));
}

TEST_F(JobDriverTest, CancelDuringTheSecondOfThreeItemsStopsThatWorkerAndEndsTheJob) {
    fs.AddFile("C:\\first.txt", "first");
    fs.AddFileOfSize("C:\\second\\big.bin", 8 * 262144);
    fs.AddFile("C:\\third.txt", "third");
    // The user presses Cancel while the big file's first pass is written; the worker
    // goes on only once the job's poll has passed the request into its record.
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        if (call.op != Op::Write || call.offset != 0 || call.size != 262144) return;
        LockedSet(view.cancelRequest, 1);
        WipeJob* job = host.Current();
        while (LockedGet(job->cancel) != 1) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });

    Run({"C:\\first.txt", "C:\\second", "C:\\third.txt"}, Gutmann);

    EXPECT_FALSE(fs.Exists("C:\\first.txt"));
    EXPECT_TRUE(fs.IsFolder("C:\\second"));
    ASSERT_EQ(fs.List("C:\\second").size(), 1u);  // renamed, partly overwritten, not deleted
    EXPECT_NE(fs.List("C:\\second")[0], "big.bin");
    EXPECT_EQ(fs.Contents("C:\\third.txt").size(), 5u);
    EXPECT_EQ(log.Count("start"), 2u);
    EXPECT_EQ(log.Count("status Processing file 3 of 3"), 0u);
    EXPECT_LT(fs.Calls(Op::Write).size(), 8u * 35u);
}

TEST_F(JobDriverTest, ACancelRequestMadeBeforeAWorkerStartsReachesThatWorker) {
    fs.AddFile("C:\\first.txt", "first");
    fs.AddFile("C:\\second.txt", "second");
    fs.AddFile("C:\\third.txt", "third");
    // The pump that precedes the second item's start handles the Cancel button.
    host.onPump = [this](int) {
        if (log.Count("status Processing file 2 of 3") == 1 && log.Count("start") == 1) {
            LockedSet(view.cancelRequest, 1);
        }
    };

    Run({"C:\\first.txt", "C:\\second.txt", "C:\\third.txt"});

    EXPECT_EQ(log.Count("start"), 2u);
    EXPECT_TRUE(fs.IsFile("C:\\third.txt"));
    EXPECT_FALSE(fs.Exists("C:\\first.txt"));
}

TEST_F(JobDriverTest, AWorkerThatCannotStartEndsTheJobWithItsItemUntouched) {
    fs.AddFile("C:\\first.txt", "first");
    fs.AddFile("C:\\second.txt", "second");
    fs.AddFile("C:\\third.txt", "third");
    host.failStart = 2;

    Run({"C:\\first.txt", "C:\\second.txt", "C:\\third.txt"});

    EXPECT_FALSE(fs.Exists("C:\\first.txt"));
    EXPECT_TRUE(fs.IsFile("C:\\second.txt"));
    EXPECT_TRUE(fs.IsFile("C:\\third.txt"));
    EXPECT_EQ(log.Count("start"), 2u);
    EXPECT_EQ(log.Count("status Processing file 3 of 3"), 0u);
}

TEST_F(JobDriverTest, ASelectionThatShrinksWhilePumpingEndsTheJobBetweenItems) {
    fs.AddFile("C:\\first.txt", "first");
    fs.AddFile("C:\\second.txt", "second");
    std::vector<std::string> selection{"C:\\first.txt", "C:\\second.txt"};
    host.onPump = [&selection](int) {
        if (selection.size() == 2) selection.pop_back();
    };

    EXPECT_THROW(RunJobItems(selection, Random, view, host, settings), std::out_of_range);

    EXPECT_FALSE(fs.Exists("C:\\first.txt"));
    EXPECT_TRUE(fs.IsFile("C:\\second.txt"));
    EXPECT_EQ(log.Count("start"), 1u);
}

TEST_F(JobDriverTest, ANonZeroResultAsksWhetherToGoOn) {
    host.fakeResult = 7;
    Run({"C:\\a", "C:\\b", "C:\\c"});
    EXPECT_EQ(view.resultsShown, (std::vector<std::int32_t>{7, 7, 7}));

    view.resultsShown.clear();
    view.continueAfterResult = false;
    Run({"C:\\a", "C:\\b", "C:\\c"});
    EXPECT_EQ(view.resultsShown, std::vector<std::int32_t>{7});
}

TEST_F(JobDriverTest, CancelledItemsNeverAskAboutTheirResult) {
    fs.AddFile("C:\\a.txt", "a");
    LockedSet(view.cancelRequest, 1);
    Run({"C:\\a.txt", "C:\\b.txt"});
    EXPECT_TRUE(view.resultsShown.empty());
    EXPECT_EQ(log.Count("start"), 1u);
}

TEST(JobLockTest, StringsAreCopiedWhole) {
    InitializeJobLock();
    std::string shared = std::string(200, 'a');
    std::thread writer([&shared] {
        for (int i = 0; i < 2000; ++i) {
            LockedSet(shared, std::string(200 + i % 7, static_cast<char>('a' + i % 26)));
        }
    });
    for (int i = 0; i < 2000; ++i) {
        const std::string copy = LockedGet(shared);
        ASSERT_GE(copy.size(), 200u);
        ASSERT_EQ(copy, std::string(copy.size(), copy[0]));
    }
    writer.join();
}

}  // namespace
}  // namespace veltrane
