// The job's driver with real worker threads on the in-memory file system: the dialog's
// texts and bars, the wait loop's polls, cancellation and the ways a job ends early.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "job/JobDriver.h"
#include "job/JobLock.h"
#include "job/WipePath.h"
#include "support/MemoryFileSystem.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using Op = MemoryFileSystem::Op;
using Entries = std::vector<std::string>;

// What the job did, in order: the view's "count 3", "status ...", "path ...", "step",
// "progress 40", "cancel?" and the host's "start", "pump", "wait".
class JobLog {
public:
    void Add(std::string entry) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_entries.push_back(std::move(entry));
    }
    Entries All() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_entries;
    }
    long Count(const std::string& entry) const {
        const Entries all = All();
        return std::count(all.begin(), all.end(), entry);
    }
    // From the first `from` to the end.
    Entries From(const std::string& from) const {
        const Entries all = All();
        return Entries(std::find(all.begin(), all.end(), from), all.end());
    }

private:
    mutable std::mutex m_mutex;
    Entries m_entries;
};

class RecordingView : public JobProgressView {
public:
    explicit RecordingView(JobLog& log) : m_log(log) {}
    void SetItemCount(std::int32_t count) override { m_log.Add("count " + std::to_string(count)); }
    void GrowItemCount(std::int32_t count) override { m_log.Add("grow " + std::to_string(count)); }
    void StepItem() override { m_log.Add("step"); }
    void SetStatusText(std::string text) override { m_log.Add("status " + text); }
    void SetPathText(std::string text) override { m_log.Add("path " + text); }
    void SetFileProgress(std::int32_t percent) noexcept override {
        m_log.Add("progress " + std::to_string(percent));
    }
    std::int32_t CancelRequest() noexcept override {
        m_log.Add("cancel?");
        return LockedGet(cancelRequest);
    }
    void ClearCancelRequest() noexcept override {
        m_log.Add("clear cancel");
        LockedSet(cancelRequest, 0);
    }
    bool ContinueAfterResult(std::int32_t result) override {
        resultsShown.push_back(result);
        return true;
    }

    std::int32_t cancelRequest = 0;  // the dialog's m_bCancel
    std::vector<std::int32_t> resultsShown;

private:
    JobLog& m_log;
};

// Workers on std::thread; a condition variable stands in for the message queue.
class ThreadHost : public JobWorkerHost {
public:
    explicit ThreadHost(JobLog& log) : m_log(log) {}
    ~ThreadHost() override {
        for (auto& thread : m_threads) thread.join();
    }

    bool StartWorker(WipeJob& job) override {
        m_log.Add("start");
        if (++m_starts == failStart) return false;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ended = false;
        m_current = &job;
        const int generation = ++m_generation;
        lock.unlock();
        m_threads.emplace_back([this, &job, generation] {
            WipeThreadProc(&job);
            std::lock_guard<std::mutex> lock(m_mutex);
            if (generation != m_generation) return;  // the job has gone on already
            m_ended = true;
            m_current = nullptr;
            m_endedSignal.notify_all();
        });
        if (finishBeforeFirstPoll) {
            m_threads.back().join();
            m_threads.pop_back();
        }
        return true;
    }
    void PumpPendingMessages() noexcept override {
        m_log.Add("pump");
        if (onPump) onPump();
    }
    void WaitBetweenPolls() noexcept override {
        m_log.Add("wait");
        std::unique_lock<std::mutex> lock(m_mutex);
        m_endedSignal.wait_for(lock, std::chrono::milliseconds(50), [this] { return m_ended; });
    }
    WipeJob* Current() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_current;
    }

    std::function<void()> onPump;  // what the dialog's handlers do during a pump
    int failStart = 0;             // the start of worker number n (from 1) fails
    bool finishBeforeFirstPoll = false;

private:
    JobLog& m_log;
    std::mutex m_mutex;
    std::condition_variable m_endedSignal;
    bool m_ended = false;
    WipeJob* m_current = nullptr;
    int m_generation = 0;
    int m_starts = 0;
    std::vector<std::thread> m_threads;
};

class JobDriverTest : public ::testing::Test {
protected:
    JobDriverTest() {
        InitializeJobLock();
        settings.fileSystem = &fs;
    }
    void Run(const std::vector<std::string>& selection, std::uint32_t method = Random) {
        RunJobItems(selection, method, view, host, settings);
    }

    MemoryFileSystem fs;
    WalkSettings settings;
    JobLog log;
    RecordingView view{log};
    ThreadHost host{log};
};

TEST_F(JobDriverTest, EachItemShowsItsTextsAndStepsTheBarBeforeItsWorkerStarts) {
    Run({});
    EXPECT_EQ(log.All(), Entries{"count 0"});  // no worker for an empty selection

    fs.AddFile("C:\\one.txt", "1");
    fs.AddFile("C:\\dir\\two.txt", "2");
    fs.AddFile("C:\\three.txt", "3");
    Run({"C:\\one.txt", "C:\\dir\\", "C:\\three.txt"});

    EXPECT_TRUE(fs.AllPaths().empty());
    const Entries second = log.From("status Processing file 2 of 3");
    ASSERT_GE(second.size(), 6u);
    // The pump before a worker starts may handle a Cancel click: the request is read again.
    EXPECT_EQ(Entries(second.begin(), second.begin() + 6),
              (Entries{"status Processing file 2 of 3", "path C:\\dir\\", "step", "pump", "cancel?",
                       "start"}));
    EXPECT_EQ(log.Count("count 3"), 1);
    EXPECT_EQ(log.Count("start"), 3);
    EXPECT_EQ(log.Count("progress 100"), 3);  // each item's wait ends on the last percentage
}

TEST_F(JobDriverTest, EveryPollReadsTheCancelRequestFirstAndPumpsLast) {
    fs.AddFileOfSize("C:\\slow.bin", 4 * 262144);
    // Hold the worker in its first write until the job has polled a few times.
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (call.op == Op::Write && log.Count("wait") < 3 &&
               std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    Run({"C:\\slow.bin"}, NATO);

    const Entries polls = log.From("start");
    std::size_t i = 1;
    int count = 0;
    while (i < polls.size()) {  // "cancel?" ["progress N"] "pump", then "wait" between polls
        ASSERT_EQ(polls[i++], "cancel?");
        if (i < polls.size() && polls[i].rfind("progress ", 0) == 0) ++i;
        ASSERT_LT(i, polls.size());
        ASSERT_EQ(polls[i++], "pump");
        ++count;
        if (i < polls.size()) {
            ASSERT_EQ(polls[i++], "wait");
        }
    }
    EXPECT_GE(count, 4);
    EXPECT_EQ(polls[2], "progress 0");  // the first poll always sets the bar
    EXPECT_EQ(polls[polls.size() - 2], "progress 100");
    EXPECT_EQ(polls.back(), "pump");  // no wait after the poll that saw done
}

TEST_F(JobDriverTest, AWorkerThatEndsBeforeTheFirstPollSetsTheBarOnceAndIsNeverWaitedFor) {
    fs.AddFile("C:\\quick.txt", "quick");
    host.finishBeforeFirstPoll = true;
    Run({"C:\\quick.txt"});
    EXPECT_EQ(log.From("start"), (Entries{"start", "cancel?", "progress 100", "pump"}));
}

TEST_F(JobDriverTest, CancelDuringTheSecondOfThreeItemsStopsThatWorkerAndEndsTheJob) {
    fs.AddFile("C:\\first.txt", "first");
    fs.AddFileOfSize("C:\\second\\big.bin", 8 * 262144);
    fs.AddFile("C:\\third.txt", "third");
    // Cancel is pressed while the big file's first pass is written; the worker goes on
    // once the job's poll has passed the request into its record.
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        if (call.op != Op::Write || call.offset != 0 || call.size != 262144) return;
        LockedSet(view.cancelRequest, 1);
        WipeJob* job = host.Current();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (LockedGet(job->cancel) != 1 && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    Run({"C:\\first.txt", "C:\\second", "C:\\third.txt"}, Gutmann);

    EXPECT_FALSE(fs.Exists("C:\\first.txt"));
    ASSERT_EQ(fs.List("C:\\second").size(), 1u);  // renamed, partly overwritten, kept
    EXPECT_NE(fs.List("C:\\second")[0], "big.bin");
    EXPECT_EQ(fs.Contents("C:\\third.txt").size(), 5u);
    EXPECT_EQ(log.Count("start"), 2);
    EXPECT_LT(fs.Calls(Op::Write).size(), 8u * 35u);
    EXPECT_TRUE(view.resultsShown.empty());  // a cancelled item's result is not asked about
}

TEST(JobCancelTest, ACancelBetweenTwoItemsLeavesEveryLaterItemUntouched) {
    InitializeJobLock();
    // Cancel handled in each pump a job makes around an item's end: in the pump before
    // the second item's worker would start; in the pump of the poll that saw the first
    // item end (its request read before that pump); in a pump of the first item's wait;
    // before the first worker.
    struct Moment {
        bool workerEndsFirst;  // the first poll finds the worker ended
        std::function<bool(JobLog&)> when;
    };
    const Moment moments[] = {
        {false, [](JobLog& log) { return log.Count("status Processing file 2 of 3") == 1; }},
        {true, [](JobLog& log) { return log.Count("start") == 1; }},
        {false, [](JobLog& log) { return log.Count("start") == 1; }},
        {false, nullptr},
    };
    const std::vector<std::string> items{"C:\\1.txt", "C:\\2.txt", "C:\\3.txt"};
    for (const Moment& moment : moments) {
        MemoryFileSystem fs;
        WalkSettings settings;
        settings.fileSystem = &fs;
        JobLog log;
        RecordingView view(log);
        ThreadHost host(log);
        for (const std::string& name : items) fs.AddFile(name, name);
        bool pressed = !moment.when;
        if (!moment.when) view.cancelRequest = 1;
        host.finishBeforeFirstPoll = moment.workerEndsFirst;
        host.onPump = [&] {
            if (!pressed && moment.when(log)) {
                pressed = true;
                LockedSet(view.cancelRequest, 1);
            }
        };
        JobDriver driver(view, host, settings);
        driver.Append(items, Random);
        driver.Run();
        EXPECT_TRUE(pressed);
        EXPECT_TRUE(driver.Cancelled());
        const std::size_t started = moment.when ? 1 : 0;
        EXPECT_EQ(log.Count("start"), static_cast<long>(started));
        EXPECT_EQ(driver.Untouched(), items.size() - started);
        for (std::size_t i = started; i < items.size(); ++i) {
            const auto bytes = fs.Contents(items[i]);
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), items[i]);
        }
        for (const auto& call : fs.Calls(Op::Move)) EXPECT_EQ(call.path, items[0]);
    }
}

TEST_F(JobDriverTest, AWorkerThatCannotStartEndsTheJobAndTheSelectionIsTakenAsGiven) {
    for (const char* name : {"C:\\1.txt", "C:\\2.txt", "C:\\3.txt"}) fs.AddFile(name, name);
    host.failStart = 2;
    Run({"C:\\1.txt", "C:\\2.txt", "C:\\3.txt"});
    EXPECT_FALSE(fs.Exists("C:\\1.txt"));
    EXPECT_TRUE(fs.IsFile("C:\\2.txt"));
    EXPECT_TRUE(fs.IsFile("C:\\3.txt"));
    EXPECT_EQ(log.Count("status Processing file 3 of 3"), 0);

    // Code run by the pump changes the shell's selection: the job wipes what was chosen
    // when it began, no more and no less.
    fs.AddFile("C:\\4.txt", "4");
    std::vector<std::string> selection{"C:\\2.txt", "C:\\3.txt"};
    host.failStart = 0;
    host.onPump = [&selection] {
        if (selection.size() == 2) selection = {"C:\\4.txt"};
    };
    RunJobItems(selection, Random, view, host, settings);
    EXPECT_FALSE(fs.Exists("C:\\2.txt"));
    EXPECT_FALSE(fs.Exists("C:\\3.txt"));
    EXPECT_TRUE(fs.IsFile("C:\\4.txt"));
}

// The original name of every file wiped, in the order the wipes began, with the number of
// passes each was given (one flush per pass). Workers run one at a time, so a file's
// flushes come between its rename and the next file's.
std::vector<std::pair<std::string, int>> WipesInOrder(const MemoryFileSystem& fs) {
    std::vector<std::pair<std::string, int>> wipes;
    for (const auto& call : fs.Calls()) {
        if (call.op == Op::Move) wipes.emplace_back(call.path, 0);
        if (call.op == Op::Flush && !wipes.empty()) ++wipes.back().second;
    }
    return wipes;
}

using Wipes = std::vector<std::pair<std::string, int>>;

// Commands given from inside the job's pump, as the shell gives them while a job runs on
// its thread.
class JoiningJobTest : public JobDriverTest {
protected:
    void RunDriver(const std::vector<std::string>& selection, std::uint32_t method) {
        driver.Append(selection, method);
        driver.Run();
    }
    JobDriver driver{view, host, settings};
};

TEST_F(JoiningJobTest, CommandsGivenDuringTheJobJoinItsEndEachWithItsOwnMethod) {
    fs.AddFileOfSize("C:\\first.bin", 2 * 262144);
    fs.AddFile("C:\\dir\\a.txt", "a");
    fs.AddFile("C:\\b.txt", "b");
    fs.AddFile("C:\\c.txt", "c");
    bool secondGiven = false;
    bool thirdGiven = false;
    host.onPump = [&] {
        // During the first item's first poll; then while the second command's first item runs.
        // Two reads of the request precede each start; the third is the first poll's.
        if (!secondGiven && log.Count("start") == 1 && log.Count("cancel?") == 3) {
            secondGiven = true;
            driver.Append({"C:\\dir", "C:\\b.txt"}, Gutmann);
            EXPECT_TRUE(fs.IsFile("C:\\b.txt")) << "the command returned before its items ran";
        } else if (!thirdGiven && log.Count("start") == 2) {
            thirdGiven = true;
            driver.Append({"C:\\c.txt"}, DoDQuick);
        }
    };
    RunDriver({"C:\\first.bin"}, Random);

    EXPECT_TRUE(fs.AllPaths().empty());
    EXPECT_EQ(
        WipesInOrder(fs),
        (Wipes{{"C:\\first.bin", 1}, {"C:\\dir\\a.txt", 35}, {"C:\\b.txt", 35}, {"C:\\c.txt", 3}}));
    EXPECT_EQ(log.Count("start"), 4);  // one worker per item, one after the other
    // The bar and the count grow with every command; the running item's line follows.
    const Entries grown = log.From("grow 3");
    ASSERT_GE(grown.size(), 2u);
    EXPECT_EQ(grown[1], "status Processing file 1 of 3");
    EXPECT_EQ(log.Count("grow 4"), 1);
    EXPECT_EQ(log.Count("status Processing file 2 of 4"), 1);
    EXPECT_EQ(log.Count("status Processing file 4 of 4"), 1);
    EXPECT_EQ(log.Count("count 1"), 1);  // the bar's range is set once, then only grows
}

TEST_F(JoiningJobTest, CancelDuringAJoinedItemEndsTheWholeJob) {
    fs.AddFile("C:\\first.txt", "first");
    fs.AddFileOfSize("C:\\joined\\big.bin", 8 * 262144);
    fs.AddFile("C:\\joined-too.txt", "too");
    host.onPump = [&] {
        if (log.Count("start") == 1 && log.Count("grow 3") == 0) {
            driver.Append({"C:\\joined", "C:\\joined-too.txt"}, Gutmann);
        }
    };
    // Cancel while the joined folder's file is overwritten.
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        if (call.op != Op::Write || call.offset != 0 || call.size != 262144) return;
        LockedSet(view.cancelRequest, 1);
        WipeJob* job = host.Current();
        while (LockedGet(job->cancel) != 1) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    RunDriver({"C:\\first.txt"}, Random);

    EXPECT_FALSE(fs.Exists("C:\\first.txt"));
    ASSERT_EQ(fs.List("C:\\joined").size(), 1u);  // renamed, partly overwritten, kept
    EXPECT_EQ(fs.Contents("C:\\joined-too.txt").size(), 3u);
    EXPECT_EQ(log.Count("start"), 2);
    EXPECT_EQ(log.Count("clear cancel"), 0);
    EXPECT_TRUE(driver.Finished());
}

TEST_F(JoiningJobTest, ACommandGivenAfterCancelWasPressedStillRunsAndIsCountedAfresh) {
    fs.AddFileOfSize("C:\\first.bin", 8 * 262144);
    fs.AddFile("C:\\second.txt", "second");
    fs.AddFile("C:\\later.txt", "later");
    // Cancel is pressed during the first item, then a new command is given before the
    // worker has stopped.
    std::atomic<bool> given{false};
    host.onPump = [&] {
        if (given || LockedGet(view.cancelRequest) != 1) return;
        driver.Append({"C:\\later.txt"}, DoD);
        given = true;
    };
    fs.SetObserver([&](const MemoryFileSystem::Call& call) {
        if (call.op != Op::Write || call.offset != 0 || call.size != 262144) return;
        LockedSet(view.cancelRequest, 1);
        while (!given) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    RunDriver({"C:\\first.bin", "C:\\second.txt"}, Gutmann);

    EXPECT_EQ(fs.Contents("C:\\second.txt").size(), 6u);  // cancelled before it began
    EXPECT_FALSE(fs.Exists("C:\\later.txt"));
    EXPECT_EQ(log.Count("grow 3"), 0);
    const Entries afresh = log.From("clear cancel");
    ASSERT_GE(afresh.size(), 4u);
    EXPECT_EQ(Entries(afresh.begin(), afresh.begin() + 4),
              (Entries{"clear cancel", "count 1", "cancel?", "status Processing file 1 of 1"}));
    EXPECT_EQ(WipesInOrder(fs).back(), (std::pair<std::string, int>{"C:\\later.txt", 7}));
}

TEST_F(JoiningJobTest, PollsFromALoopNestedInThePumpCarryTheJobToItsEnd) {
    for (const char* name : {"C:\\1.txt", "C:\\2.txt", "C:\\3.txt"}) fs.AddFile(name, name);
    // A modal loop (About, a menu) entered from the first pump of the first item's wait
    // polls the job until it has ended.
    bool inLoop = false;
    bool endedInLoop = false;
    std::size_t logAtLoopEnd = 0;
    host.onPump = [&] {
        if (inLoop || log.Count("start") != 1 || log.Count("cancel?") != 3) return;
        inLoop = true;
        for (int i = 0; i < 10000 && !driver.Finished(); ++i) {
            driver.PollNested();
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        endedInLoop = driver.Finished() && fs.AllPaths().empty();
        logAtLoopEnd = log.All().size();
    };
    RunDriver({"C:\\1.txt", "C:\\2.txt", "C:\\3.txt"}, Random);

    EXPECT_TRUE(endedInLoop);
    EXPECT_EQ(log.Count("start"), 3);
    EXPECT_EQ(log.Count("status Processing file 3 of 3"), 1);
    EXPECT_EQ(log.All().size(), logAtLoopEnd) << "the wait loop did nothing after the nested loop";
}

TEST(JobLockTest, StringsAreCopiedWhole) {
    InitializeJobLock();
    std::string shared(200, 'a');
    std::thread writer([&shared] {
        for (int i = 0; i < 2000; ++i) {
            LockedSet(shared, std::string(200 + i % 7, static_cast<char>('a' + i % 26)));
        }
    });
    for (int i = 0; i < 2000; ++i) {
        const std::string copy = LockedGet(shared);
        ASSERT_EQ(copy, std::string(copy.size(), copy[0]));
    }
    writer.join();
}

}  // namespace
}  // namespace veltrane
