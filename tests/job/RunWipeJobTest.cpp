// Whole wipe jobs through RunWipeJob on real files under Wine, with the progress dialog
// on the screen. A watcher thread finds the dialog, reads its controls and presses its
// buttons while the job runs on the test's thread. A canary folder beside every selection
// must come out of every test unchanged.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "WineTree.h"
#include "support/WinTestSupport.h"
#include "framework/Handles.h"
#include "job/PendingStore.h"
#include "job/RunFreeSpaceJob.h"
#include "job/RunWipeJob.h"
#include "support/MemoryFileSystem.h"
#include "shellext/Server.h"
#include "resource.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using test::Narrow;
using test::Widen;
using test::WineTree;

HWND FindProgressDialog() {
    return test::FindOwnWindow("#32770", "Veltrane");
}

// The dialog's controls as the watcher read them.
struct Sighting {
    std::string status, path;
    int itemsPosition = -1, itemsRange = -1, filePosition = -1, fileRange = -1;
    bool cancelEnabled = true;
};

Sighting Look(HWND dialog) {
    const auto text = [dialog](int id) {
        char buffer[512] = {};
        ::GetDlgItemTextA(dialog, id, buffer, sizeof buffer);
        return std::string(buffer);
    };
    const auto send = [dialog](int id, UINT message) {
        return static_cast<int>(::SendDlgItemMessageA(dialog, id, message, 0, 0));
    };
    Sighting seen;
    seen.status = text(IDC_STATUS);
    seen.path = text(IDC_PATH);
    seen.itemsPosition = send(IDC_ITEMS_BAR, PBM_GETPOS);
    seen.itemsRange = send(IDC_ITEMS_BAR, PBM_GETRANGE);
    seen.filePosition = send(IDC_FILE_BAR, PBM_GETPOS);
    seen.fileRange = send(IDC_FILE_BAR, PBM_GETRANGE);
    seen.cancelEnabled = ::IsWindowEnabled(::GetDlgItem(dialog, IDCANCEL)) != FALSE;
    return seen;
}

// Beside the job: records every sighting of the visible dialog and hands each to `act`
// until it returns true.
class Watcher {
public:
    using Act = std::function<bool(HWND dialog, const Sighting& seen)>;

    explicit Watcher(Act act) : m_act(std::move(act)), m_thread([this] { Run(); }) {}
    ~Watcher() { Stop(); }
    void Stop() {
        m_stop = true;
        if (m_thread.joinable()) m_thread.join();
    }
    std::vector<Sighting> Seen() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_seen;
    }

private:
    void Run() {
        for (; !m_stop; ::Sleep(5)) {
            HWND dialog = FindProgressDialog();
            if (!dialog || !::IsWindowVisible(dialog)) continue;
            const Sighting seen = Look(dialog);
            // Hidden meanwhile: the job was closing it, its controls going first.
            if (!::IsWindowVisible(dialog)) continue;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_seen.push_back(seen);
            }
            if (m_act && m_act(dialog, seen)) m_act = nullptr;
        }
    }

    Act m_act;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Sighting> m_seen;
    std::thread m_thread;
};

// The invoking window; records the WM_ENABLE notifications the job posts it. WM_APP runs
// g_onCommand on the job's thread, inside its pump, as the shell runs a further command
// picked from its menu while a job runs.
std::vector<WPARAM> g_enables;
std::function<void()> g_onCommand;

LRESULT CALLBACK OwnerProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ENABLE) g_enables.push_back(wParam);
    if (message == WM_APP && g_onCommand) g_onCommand();
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

class RunWipeJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA ownerClass{};
        ownerClass.lpfnWndProc = &OwnerProc;
        ownerClass.lpszClassName = "VeltraneTestOwner";
        ::RegisterClassA(&ownerClass);
        owner = ::CreateWindowA("VeltraneTestOwner", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0,
                                0, 640, 480, nullptr, nullptr, nullptr, nullptr);
        g_enables.clear();
        g_onCommand = nullptr;
        tree.WriteFile("canary\\one.txt", "canary one");
        tree.WriteFile("canary\\nested\\two.bin", std::string(70000, '\x5A'));
        canary = tree.Snapshot("canary");
        settings.walk.debugSink = [this](const std::string& line) { debugLines.push_back(line); };
        // What a job could not do is kept here; the tests of the report dialog itself
        // take this hook away.
        settings.report = [this](HWND, const WipeFailures& failures, const JobEnd& end) {
            ++reports;
            reported = failures;
            reportedCancelled = end.cancelled;
            reportedUntouched = end.untouched;
        };
        // The dialog from the start, for the watcher to see whatever the disk's speed.
        settings.dialogDelayMs = 0;
    }
    void TearDown() override {
        EXPECT_EQ(tree.Snapshot("canary"), canary);
        EXPECT_EQ(FindProgressDialog(), nullptr);  // every job closed its dialog
        if (::IsWindow(owner)) ::DestroyWindow(owner);
    }

    std::vector<std::string> Paths(const std::vector<std::string>& relatives) const {
        std::vector<std::string> paths;
        for (const auto& relative : relatives) paths.push_back(tree.Path(relative));
        return paths;
    }
    HRESULT Run(const std::vector<std::string>& relatives, std::uint32_t method = Random) {
        return RunWipeJob(owner, method, Paths(relatives), settings);
    }
    // The enable notifications, once those still queued have reached the owner.
    std::vector<WPARAM> Enables() {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        return g_enables;
    }

    WineTree tree{"job"};
    std::map<std::string, std::string> canary;
    HWND owner = nullptr;
    JobSettings settings;
    std::vector<std::string> debugLines;
    int reports = 0;
    WipeFailures reported;
    bool reportedCancelled = false;
    std::size_t reportedUntouched = 0;

    // What the job reported, for a failure's message.
    std::string Reported() const {
        std::string text;
        for (const WipeFailure& failure : reported) text += DescribeFailure(failure) + "\n";
        return text;
    }
};

TEST_F(RunWipeJobTest, AnEmptySelectionEndsAtOnceAndStillEnablesTheOwnerAgain) {
    EXPECT_EQ(Run({}), S_OK);
    EXPECT_EQ(Enables(), (std::vector<WPARAM>{FALSE, TRUE}));
}

// The dialog waits for the job to have lasted a while; once due, it comes up showing
// where the job stands, not where it began.
TEST_F(RunWipeJobTest, TheDialogAppearsOnlyOnceTheJobHasLastedItsDelay) {
    tree.WriteFile("work\\quick.txt", "quick");
    settings.dialogDelayMs = 60000;
    std::atomic<bool> dialogSeen{false};
    Watcher quiet([&dialogSeen](HWND, const Sighting&) { return dialogSeen = true; });
    EXPECT_EQ(Run({"work\\quick.txt"}), S_OK);
    quiet.Stop();
    EXPECT_FALSE(dialogSeen);
    EXPECT_FALSE(tree.Exists("work\\quick.txt"));
    EXPECT_EQ(Enables(), (std::vector<WPARAM>{FALSE, TRUE}));

    // The first item is an empty folder: gone in one call, where even a tiny file takes a
    // flush per pass, which on a slow disk can outlast the delay.
    tree.MakeFolder("work\\one");
    tree.WriteFileOfSize("work\\two.bin", 64 << 20);
    settings.dialogDelayMs = 150;
    Watcher watcher(nullptr);
    EXPECT_EQ(Run({"work\\one", "work\\two.bin"}, Gutmann), S_OK);
    watcher.Stop();
    EXPECT_EQ(tree.List("work"), std::vector<std::string>{}) << Reported();
    const auto seen = watcher.Seen();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.front().status, "Processing file 2 of 2");
    EXPECT_EQ(seen.front().path, tree.Path("work\\two.bin"));
    EXPECT_EQ(seen.front().itemsRange, 2);
    EXPECT_EQ(seen.front().itemsPosition, 2);
}

TEST_F(RunWipeJobTest, ATreeAsDeepAsTheSystemAllowsIsWipedAndTheWorkerLives) {
    // Windows allows some 16,000 levels in a path of 32,767 characters. Wine stops where a
    // Linux path ends (4,096 bytes), near 2,000 levels of one-letter folders, and looks at
    // every level of a path on each call: 1,000 levels keep the test to seconds and are
    // still more than the worker's stack would hold at one frame per level.
    tree.MakeFolder("work\\deep");
    const std::string top = tree.Path("work\\deep");
    std::wstring path = L"\\\\?\\" + std::wstring(top.begin(), top.end());
    int depth = 0;
    while (depth < 1000 && ::CreateDirectoryW((path + L"\\d").c_str(), nullptr)) {
        path += L"\\d";
        ++depth;
    }
    // A file's name must fit too: the deepest folders give way to it.
    HANDLE file = INVALID_HANDLE_VALUE;
    while (depth > 0 &&
           (file = ::CreateFileW((path + L"\\f.txt").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr)) == INVALID_HANDLE_VALUE) {
        ::RemoveDirectoryW(path.c_str());
        path.resize(path.size() - 2);
        --depth;
    }
    ASSERT_GT(depth, 900);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(file, "deep", 4, &written, nullptr));
    ::CloseHandle(file);

    EXPECT_EQ(Run({"work\\deep"}), S_OK);
    EXPECT_FALSE(tree.Exists("work\\deep")) << depth << " levels; " << Reported();
    EXPECT_EQ(reports, 0);
}

TEST_F(RunWipeJobTest, OneFileIsWipedWhileTheDialogShowsItAndFollowsTheEngine) {
    tree.WriteFileOfSize("work\\only.bin", 8 << 20);
    Watcher watcher(nullptr);
    EXPECT_EQ(Run({"work\\only.bin"}, Gutmann), S_OK);
    watcher.Stop();

    EXPECT_TRUE(tree.List("work").empty());
    EXPECT_EQ(Enables(), (std::vector<WPARAM>{FALSE, TRUE}));
    EXPECT_EQ(reports, 0);  // everything went: nothing more is shown
    int largest = -1;
    for (const Sighting& s : watcher.Seen()) {
        if (s.status.empty()) continue;  // before the item's texts
        EXPECT_EQ(s.status, "Processing file 1 of 1");
        EXPECT_EQ(s.path, tree.Path("work\\only.bin"));
        EXPECT_EQ(s.itemsRange, 1);
        EXPECT_EQ(s.itemsPosition, 1);  // full from the start
        EXPECT_EQ(s.fileRange, 101);
        EXPECT_GE(s.filePosition, largest);
        largest = std::max(largest, s.filePosition);
    }
    EXPECT_GT(largest, 0);
    EXPECT_LE(largest, 100);
}

TEST_F(RunWipeJobTest, ANestedTreeGoesCompletely) {
    tree.WriteFile("work\\sel\\a.txt", "alpha");
    tree.WriteFile("work\\sel\\sub\\b.txt", "bravo");
    tree.WriteFile("work\\sel\\sub\\deeper\\..a", "two dots and a letter");
    tree.MakeFolder("work\\sel\\empty");
    tree.WriteFile("work\\single.txt", "single");

    EXPECT_EQ(Run({"work\\sel\\", "work\\single.txt"}, DoD), S_OK);

    EXPECT_TRUE(tree.List("work").empty()) << Reported();
    EXPECT_TRUE(debugLines.empty());
}

TEST_F(RunWipeJobTest, AFileThatCannotBeOpenedStaysWithItsFoldersAndTheJobGoesOn) {
    tree.WriteFile("work\\sel\\a.txt", "alpha");
    tree.WriteFile("work\\sel\\sub\\busy.txt", "held open");
    tree.WriteFile("work\\sel\\sub\\b.txt", "bravo");
    tree.WriteFile("work\\next.txt", "next");
    // An exclusive open elsewhere: Wine as root would open a read-only file.
    UniqueFile held(::CreateFileA(tree.Path("work\\sel\\sub\\busy.txt").c_str(), GENERIC_READ, 0,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);

    EXPECT_EQ(Run({"work\\sel", "work\\next.txt"}), S_OK);
    held.reset();

    EXPECT_EQ(tree.Read("work\\sel\\sub\\busy.txt"), "held open");
    EXPECT_EQ(tree.List("work"), std::vector<std::string>{"sel"});
    EXPECT_EQ(tree.List("work\\sel"), std::vector<std::string>{"sub"});
    EXPECT_EQ(tree.List("work\\sel\\sub"), std::vector<std::string>{"busy.txt"});
    EXPECT_EQ(debugLines,
              (std::vector<std::string>{"Error 145 deleting " + tree.Path("work\\sel\\sub"),
                                        "Error 145 deleting " + tree.Path("work\\sel")}));
    // One report at the end: the file, and the two folders it kept.
    EXPECT_EQ(reports, 1);
    ASSERT_EQ(reported.size(), 3u);
    EXPECT_EQ(reported[0].path, tree.Path("work\\sel\\sub\\busy.txt"));
    EXPECT_EQ(reported[0].error, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
}

// The report dialog as the watcher finds it: its summary and list, and the clipboard after
// Copy.
struct ReportSeen {
    std::wstring summary, list, clipboard;
};

HWND FindReportDialog() {
    const HWND dialog = test::FindOwnWindow("#32770", "Veltrane");
    return dialog && ::GetDlgItem(dialog, IDC_REPORT_LIST) ? dialog : nullptr;
}

ReportSeen ReadAndCloseReport() {
    ReportSeen seen;
    HWND dialog = nullptr;
    for (int i = 0; i < 3000 && !(dialog = FindReportDialog()); ++i) ::Sleep(10);
    if (!dialog) return seen;
    const auto text = [dialog](int id) {
        const HWND item = ::GetDlgItem(dialog, id);
        std::wstring value(static_cast<std::size_t>(::GetWindowTextLengthW(item)) + 1, L'\0');
        value.resize(
            static_cast<std::size_t>(::GetWindowTextW(item, &value[0], int(value.size()))));
        return value;
    };
    seen.summary = text(IDC_REPORT_SUMMARY);
    seen.list = test::ListViewText(::GetDlgItem(dialog, IDC_REPORT_LIST));
    ::SendMessageW(::GetDlgItem(dialog, IDC_REPORT_COPY), BM_CLICK, 0, 0);
    if (::OpenClipboard(nullptr)) {
        if (HANDLE data = ::GetClipboardData(CF_UNICODETEXT)) {
            seen.clipboard = static_cast<const wchar_t*>(::GlobalLock(data));
            ::GlobalUnlock(data);
        }
        ::CloseClipboard();
    }
    ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    return seen;
}

std::size_t LineCount(const std::wstring& text) {
    std::size_t lines = 0;
    for (std::size_t at = text.find(L"\r\n"); at != std::wstring::npos;
         at = text.find(L"\r\n", at + 2)) {
        ++lines;
    }
    return lines;
}

TEST_F(RunWipeJobTest, TheReportListsExactlyWhatWasLeftAndCopiesItAsShown) {
    settings.report = nullptr;  // the real dialog
    tree.WriteFile("work\\a.txt", "alpha");
    tree.WriteFile("work\\locked.txt", "locked");
    tree.WriteFile("work\\readonly.txt", "read-only");
    tree.WriteFile("work\\z.txt", "zulu");
    UniqueFile held(::CreateFileA(tree.Path("work\\locked.txt").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    // Wine as root opens and writes a read-only file, but cannot delete it.
    ASSERT_TRUE(
        ::SetFileAttributesA(tree.Path("work\\readonly.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    ReportSeen seen;
    std::thread watcher([&] { seen = ReadAndCloseReport(); });
    EXPECT_EQ(Run({"work\\a.txt", "work\\locked.txt", "work\\readonly.txt", "work\\z.txt"}), S_OK);
    watcher.join();
    held.reset();

    EXPECT_FALSE(tree.Exists("work\\a.txt"));
    EXPECT_FALSE(tree.Exists("work\\z.txt"));
    EXPECT_EQ(tree.Read("work\\locked.txt"), "locked");
    EXPECT_EQ(seen.summary.rfind(L"2 items could not be wiped.", 0), 0u);
    EXPECT_EQ(LineCount(seen.list), 2u);
    EXPECT_NE(seen.list.find(L"locked.txt\tleft as it was\tanother program has it open"),
              std::wstring::npos)
        << Narrow(seen.list);
    EXPECT_NE(seen.list.find(L"readonly.txt\tleft partly wiped as "), std::wstring::npos);
    EXPECT_NE(seen.list.find(L"\tit is read-only, or you may not change it\r\n"),
              std::wstring::npos);
    EXPECT_EQ(seen.list.find(L"a.txt\t"), std::wstring::npos);
    EXPECT_EQ(seen.clipboard, seen.list);
    for (const std::string& name : tree.List("work")) {
        ::SetFileAttributesA(tree.Path("work\\" + name).c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

std::wstring RunOnceCommand(const std::wstring& name) {
    wchar_t command[2048] = {};
    DWORD size = sizeof command;
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce",
                       name.c_str(), RRF_RT_REG_SZ, nullptr, command, &size) != ERROR_SUCCESS) {
        return std::wstring();
    }
    return command;
}

TEST_F(RunWipeJobTest, AFileInUseIsWipedAtTheNextSignInOnlyIfItIsStillTheSameFile) {
    const PendingPlace place{Widen(tree.Path("pending.txt")), L"Veltrane test queue"};
    tree.WriteFile("work\\held.txt", "held");
    tree.WriteFile("work\\swapped.txt", "first");
    UniqueFile held(::CreateFileA(tree.Path("work\\held.txt").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    WipeFailures refused;
    ASSERT_TRUE(QueueForNextSignIn({tree.Path("work\\held.txt"), tree.Path("work\\swapped.txt")},
                                   DoD, refused, place));
    EXPECT_TRUE(refused.empty()) << "a file held open can still be named";
    std::vector<PendingWipe> queue;
    ASSERT_TRUE(LoadPendingQueue(queue, place));
    ASSERT_EQ(queue.size(), 2u);
    EXPECT_EQ(queue[0].method, static_cast<std::uint32_t>(DoD));
    const std::wstring command = RunOnceCommand(place.runOnceValue);
    EXPECT_NE(command.find(L"rundll32.exe\" \""), std::wstring::npos) << Narrow(command);
    EXPECT_NE(command.find(L"veltrane.dll\",RunPendingWipes"), std::wstring::npos);

    // The first sign-in: the held file is still in use and waits one more; the other name
    // now belongs to another file, which is not touched.
    // (Put in its place by a rename: ext4 may give a new file the number of one just
    // deleted, where NTFS adds a sequence number that tells them apart.)
    tree.WriteFile("work\\other.txt", "someone else's");
    ASSERT_TRUE(::MoveFileExA(tree.Path("work\\other.txt").c_str(),
                              tree.Path("work\\swapped.txt").c_str(), MOVEFILE_REPLACE_EXISTING));
    RunPendingWipes(owner, settings, place);
    EXPECT_TRUE(tree.Exists("work\\held.txt"));
    EXPECT_EQ(tree.Read("work\\swapped.txt"), "someone else's");
    ASSERT_EQ(reported.size(), 1u) << Reported();
    EXPECT_EQ(reported[0].problem, WipeProblem::ReplacedSinceQueued);
    ASSERT_TRUE(LoadPendingQueue(queue, place));
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue[0].tries, 1u);
    EXPECT_FALSE(RunOnceCommand(place.runOnceValue).empty());

    // The next: closed by then, it is wiped, and the queue and its entry go.
    held.reset();
    reported.clear();
    RunPendingWipes(owner, settings, place);
    EXPECT_FALSE(tree.Exists("work\\held.txt"));
    EXPECT_TRUE(reported.empty()) << Reported();
    EXPECT_FALSE(tree.Exists("pending.txt"));
    EXPECT_TRUE(RunOnceCommand(place.runOnceValue).empty());
}

TEST_F(RunWipeJobTest, TheReportOffersTheNextSignInForFilesInUse) {
    settings.report = nullptr;
    settings.pending = PendingPlace{Widen(tree.Path("pending.txt")), L"Veltrane test report"};
    tree.WriteFile("work\\held.txt", "held");
    UniqueFile held(::CreateFileA(tree.Path("work\\held.txt").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    bool offered = false;
    std::wstring summary;
    std::thread watcher([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 3000 && !((dialog = FindReportDialog()) && ::IsWindowVisible(dialog));
             ++i) {
            ::Sleep(10);
        }
        if (!dialog) return;
        const HWND later = ::GetDlgItem(dialog, IDC_REPORT_LATER);
        offered = ::IsWindowVisible(later) != FALSE;
        ::SendMessageW(later, BM_CLICK, 0, 0);
        wchar_t text[512] = {};
        ::GetDlgItemTextW(dialog, IDC_REPORT_SUMMARY, text, 512);
        summary = text;
        ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(Run({"work\\held.txt"}, Gutmann), S_OK);
    watcher.join();
    EXPECT_TRUE(offered);
    EXPECT_NE(summary.find(L"will be wiped at your next sign-in"), std::wstring::npos);
    std::vector<PendingWipe> queue;
    ASSERT_TRUE(LoadPendingQueue(queue, settings.pending));
    ASSERT_EQ(queue.size(), 1u);
    EXPECT_EQ(queue[0].path, tree.Path("work\\held.txt"));
    EXPECT_EQ(queue[0].method, static_cast<std::uint32_t>(Gutmann));
    EXPECT_TRUE(SavePendingQueue({}, settings.pending));
}

TEST_F(RunWipeJobTest, TenThousandFailuresStayReadableInOneReport) {
    WipeFailures many(10000);
    for (std::size_t i = 0; i < many.size(); ++i) {
        many[i].path = "C:\\data\\file " + std::to_string(i) + ".bin";
        many[i].error = ERROR_ACCESS_DENIED;
    }
    many[0].path = "C:\\data\\" + std::string(300, 'x') + "\\file 0.bin";
    int lines = 0;
    std::wstring summary, shown;
    std::thread watcher([&] {
        HWND dialog = nullptr;
        for (int i = 0; i < 3000 && !(dialog = FindReportDialog()); ++i) ::Sleep(10);
        if (!dialog) return;
        const HWND list = ::GetDlgItem(dialog, IDC_REPORT_LIST);
        lines = static_cast<int>(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
        // A long path keeps its start and its name, its middle shortened to fit.
        shown = test::ListViewCell(list, 0, 0);
        wchar_t text[256] = {};
        ::GetDlgItemTextW(dialog, IDC_REPORT_SUMMARY, text, 256);
        summary = text;
        ::PostMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    });
    ShowJobReport(nullptr, many, JobEnd{});
    watcher.join();
    EXPECT_EQ(lines, 10000);
    EXPECT_EQ(shown.rfind(L"C:\\data\\", 0), 0u) << Narrow(shown);
    EXPECT_NE(shown.find(L"..."), std::wstring::npos) << Narrow(shown);
    EXPECT_LT(shown.size(), 200u);
    EXPECT_EQ(shown.substr(shown.size() - 10), L"file 0.bin") << Narrow(shown);
    EXPECT_EQ(summary.rfind(L"10000 items could not be wiped.", 0), 0u);
}

TEST_F(RunWipeJobTest, ACancelReportsTheFailureBeforeItAndWhereThePartlyWipedFileIs) {
    settings.report = nullptr;
    tree.WriteFile("work\\locked.txt", "locked");
    tree.WriteFileOfSize("work\\big.bin", 64 << 20);
    tree.WriteFile("work\\after.txt", "after");
    UniqueFile held(::CreateFileA(tree.Path("work\\locked.txt").c_str(), GENERIC_READ, 0, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);
    ReportSeen seen;
    std::thread watcher([&] {
        Watcher cancel([](HWND dialog, const Sighting& s) {
            if (s.status != "Processing file 2 of 3" || s.filePosition <= 0) return false;
            ::PostMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
            return true;
        });
        seen = ReadAndCloseReport();
    });
    EXPECT_EQ(Run({"work\\locked.txt", "work\\big.bin", "work\\after.txt"}, Gutmann), S_OK);
    watcher.join();
    EXPECT_EQ(tree.Read("work\\after.txt"), "after");
    // Not "everything else was wiped": after.txt was never reached.
    EXPECT_EQ(seen.summary.rfind(L"The wipe was cancelled: what it had not reached yet was left "
                                 L"as it was. 1 selected item was not started and is untouched. "
                                 L"2 items could not be wiped.",
                                 0),
              0u)
        << Narrow(seen.summary);
    EXPECT_EQ(LineCount(seen.list), 2u);
    EXPECT_NE(seen.list.find(L"locked.txt\t"), std::wstring::npos);
    const auto left = tree.List("work");
    const auto renamed = std::find_if(left.begin(), left.end(), [](const std::string& name) {
        return name != "locked.txt" && name != "after.txt";
    });
    ASSERT_NE(renamed, left.end());
    EXPECT_NE(seen.list.find(L"big.bin\tleft partly wiped as "), std::wstring::npos)
        << Narrow(seen.list);
    EXPECT_NE(seen.list.find(L" as " + Widen(*renamed) +
                             L", after 0 complete passes\tthe wipe was "
                             L"cancelled while this file was being overwritten"),
              std::wstring::npos)
        << Narrow(seen.list);
    ::DeleteFileA(tree.Path("work\\" + *renamed).c_str());
}

TEST_F(RunWipeJobTest, ALinkedFolderInsideTheSelectionIsNeitherEnteredNorChanged) {
    // A non-empty target: Wine's RemoveDirectoryA on a link to an empty folder removes
    // that folder.
    tree.WriteFile("outside\\target\\keep.txt", "keep me");
    tree.WriteFile("outside\\target\\deep\\also.txt", "and me");
    tree.WriteFile("work\\sel\\a.txt", "alpha");
    ASSERT_TRUE(tree.Link("work\\sel\\link", "outside\\target"));
    const auto before = tree.Snapshot("outside");

    EXPECT_EQ(Run({"work\\sel"}), S_OK);

    EXPECT_EQ(tree.Snapshot("outside"), before);
    EXPECT_FALSE(tree.Exists("work\\sel\\a.txt"));
    if (!tree.Exists("work\\sel\\link")) {
        EXPECT_FALSE(tree.Exists("work\\sel"));
        return;
    }
    // Wine refuses to remove a link to a non-empty folder: the link and its folder stay,
    // and the failures went to the debugger output only.
    EXPECT_EQ(tree.List("work\\sel"), std::vector<std::string>{"link"});
    ASSERT_EQ(debugLines.size(), 2u);
    const std::string linkTail = " deleting RP " + tree.Path("work\\sel\\link");
    ASSERT_GT(debugLines[0].size(), linkTail.size());
    EXPECT_EQ(debugLines[0].substr(debugLines[0].size() - linkTail.size()), linkTail);
    EXPECT_EQ(debugLines[0].rfind("Error ", 0), 0u);
}

// Cancel, Esc and the close box, each while the second of three items is overwritten.
TEST_F(RunWipeJobTest, CancelButtonEscAndCloseBoxEachEndTheJobAfterTheCurrentItem) {
    const struct {
        const char* name;
        void (*press)(HWND dialog);
    } ways[] = {
        {"button", [](HWND d) { ::SendMessageA(::GetDlgItem(d, IDCANCEL), BM_CLICK, 0, 0); }},
        {"esc",
         [](HWND d) { ::PostMessageA(::GetDlgItem(d, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 1); }},
        {"close box", [](HWND d) { ::PostMessageA(d, WM_SYSCOMMAND, SC_CLOSE, 0); }},
    };
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        const std::string work = std::string("work-") + way.name;
        tree.WriteFile(work + "\\first.txt", "first");
        tree.WriteFileOfSize(work + "\\second\\big.bin", 64 << 20);
        tree.WriteFile(work + "\\third.txt", "third");
        std::vector<Sighting> afterCancel;
        // Looked at from the job's own thread, inside the pump that handled the request:
        // the job acts on it only after that pump, so the dialog is seen after the request
        // took effect and before the worker has stopped.
        // The close box's request arrives as a message the dialog posts itself: ask again
        // behind it.
        int asked = 0;
        g_onCommand = [&] {
            const Sighting now = Look(FindProgressDialog());
            if (now.status != "Waiting for operation to complete." && ++asked < 5) {
                ::PostMessageA(owner, WM_APP, 0, 0);
                return;
            }
            afterCancel.push_back(now);
        };
        // Item 2 is under way once its file has its random name: the bar alone may still
        // show item 1's end, and a cancel before item 2 starts leaves it untouched.
        Watcher watcher([this, &way, &work](HWND dialog, const Sighting& seen) {
            if (seen.status != "Processing file 2 of 3" || seen.filePosition <= 0 ||
                tree.Exists(work + "\\second\\big.bin")) {
                return false;
            }
            way.press(dialog);
            ::PostMessageA(owner, WM_APP, 0, 0);
            return true;
        });

        EXPECT_EQ(Run({work + "\\first.txt", work + "\\second", work + "\\third.txt"}, Gutmann),
                  S_OK);
        watcher.Stop();

        ASSERT_EQ(afterCancel.size(), 1u);
        EXPECT_EQ(afterCancel[0].status, "Waiting for operation to complete.");
        EXPECT_FALSE(afterCancel[0].cancelEnabled);
        EXPECT_EQ(afterCancel[0].itemsPosition, 2);
        EXPECT_FALSE(tree.Exists(work + "\\first.txt"));
        // The file being overwritten stays, under its random name, partly overwritten.
        const auto left = tree.List(work + "\\second");
        ASSERT_EQ(left.size(), 1u);
        EXPECT_NE(left[0], "big.bin");
        EXPECT_EQ(left[0].find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
                  std::string::npos);
        EXPECT_EQ(tree.Size(work + "\\second\\" + left[0]), 64u << 20);
        EXPECT_EQ(tree.Read(work + "\\third.txt"), "third");
        // ...and the report says where it is.
        EXPECT_TRUE(reportedCancelled);
        EXPECT_EQ(reportedUntouched, 1u);  // third.txt, never started
        ASSERT_EQ(reported.size(), 1u);
        EXPECT_EQ(reported[0].problem, WipeProblem::Cancelled);
        EXPECT_EQ(reported[0].leftAs, tree.Path(work + "\\second\\" + left[0]));
        reported.clear();
    }
}

// The free-space job in the same dialog: the drive and its bytes on the path line, the
// passes on the items bar; Cancel in the second pass removes every fill file.
TEST_F(RunWipeJobTest, AFreeSpaceJobShowsItsPassesAndItsCancelRemovesTheFill) {
    MemoryFileSystem volume;
    volume.AddFile("V:\\kept.txt", "kept");
    volume.SetCapacity((192u << 20) + 4, 1000);
    settings.walk.fileSystem = &volume;
    std::vector<std::vector<std::string>> reports;
    settings.freeSpaceReport = [&](HWND, const std::vector<std::string>& lines, bool) {
        reports.push_back(lines);
    };
    Watcher watcher([](HWND dialog, const Sighting& seen) {
        if (seen.status != "Writing free space" || seen.itemsPosition < 1) return false;
        ::SendMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        return true;
    });
    EXPECT_EQ(S_OK, RunFreeSpaceJob(owner, DoD, "V:\\", settings));
    watcher.Stop();

    bool sawFirstPass = false;
    for (const Sighting& seen : watcher.Seen()) {
        if (seen.status == "Writing free space" && seen.itemsPosition == 0 &&
            seen.itemsRange == 7 && seen.path.rfind("V:\\  ", 0) == 0 &&
            seen.path.find(" MB of 192 MB") != std::string::npos && seen.filePosition > 0) {
            sawFirstPass = true;
        }
    }
    EXPECT_TRUE(sawFirstPass);
    ASSERT_EQ(1u, reports.size());
    ASSERT_FALSE(reports[0].empty());
    EXPECT_EQ(0u, reports[0][0].rfind("Cancelled.", 0)) << reports[0][0];
    EXPECT_EQ((std::vector<std::string>{"V:\\kept.txt"}), volume.AllPaths());
    EXPECT_EQ(4u, volume.UsedBytes());
    EXPECT_EQ(Enables(), (std::vector<WPARAM>{FALSE, TRUE}));
}

TEST_F(RunWipeJobTest, TheJobGoesOnWhenItsOwnerWindowIsDestroyedUnderIt) {
    tree.WriteFileOfSize("work\\first.bin", 16 << 20);
    tree.WriteFile("work\\second.txt", "second");
    // Closing the owner destroys the dialog it owns, which frees itself.
    Watcher watcher([this](HWND, const Sighting& seen) {
        if (seen.filePosition <= 0) return false;
        ::PostMessageA(owner, WM_CLOSE, 0, 0);
        return true;
    });
    EXPECT_EQ(Run({"work\\first.bin", "work\\second.txt"}, Gutmann), S_OK);
    watcher.Stop();

    EXPECT_FALSE(::IsWindow(owner));
    EXPECT_TRUE(tree.List("work").empty());
}

TEST_F(RunWipeJobTest, WithoutADialogWindowTheJobRunsAllTheSame) {
    tree.WriteFile("work\\a.txt", "a");
    tree.WriteFile("work\\b\\c.txt", "c");
    // An owner that is gone: the dialog cannot be made. (A window never shown, so that no
    // X window is unmapped after its destruction under Wine.)
    const HWND gone = ::CreateWindowA("VeltraneTestOwner", "Gone", WS_OVERLAPPEDWINDOW, 0, 0, 100,
                                      100, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(gone, nullptr);
    ::DestroyWindow(gone);
    std::atomic<bool> dialogSeen{false};
    Watcher watcher([&dialogSeen](HWND, const Sighting&) { return dialogSeen = true; });

    std::vector<std::string> selection{tree.Path("work\\a.txt"), tree.Path("work\\b")};
    EXPECT_EQ(RunWipeJob(gone, Random, selection, settings), S_OK);
    watcher.Stop();

    EXPECT_FALSE(dialogSeen);
    EXPECT_TRUE(tree.List("work").empty());
}

TEST_F(RunWipeJobTest, AQuitRequestDuringTheJobSurvivesIt) {
    tree.WriteFile("work\\a.txt", "a");
    ::PostQuitMessage(3);
    EXPECT_EQ(Run({"work\\a.txt"}), S_OK);
    MSG msg{};
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(tree.Exists("work\\a.txt"));
}

// A second command given from inside the job's pump: it returns at once and its items
// follow the running one in the same dialog, whose count and bar grow.
TEST_F(RunWipeJobTest, ACommandGivenDuringTheJobJoinsItsEndAndReturnsAtOnce) {
    tree.WriteFileOfSize("work\\first.bin", 16 << 20);
    tree.WriteFile("work\\joined\\a.txt", "a");
    tree.WriteFile("work\\joined.txt", "joined");
    bool returnedBeforeItsItems = false;
    g_onCommand = [&] {
        EXPECT_EQ(RunWipeJob(owner, DoD, Paths({"work\\joined", "work\\joined.txt"}), settings),
                  S_OK);
        returnedBeforeItsItems =
            tree.Exists("work\\joined\\a.txt") && tree.Exists("work\\joined.txt");
    };
    Watcher watcher([this](HWND, const Sighting& seen) {
        if (seen.filePosition <= 0) return false;
        ::PostMessageA(owner, WM_APP, 0, 0);
        return true;
    });
    EXPECT_EQ(Run({"work\\first.bin"}, Gutmann), S_OK);
    watcher.Stop();

    EXPECT_TRUE(returnedBeforeItsItems);
    EXPECT_TRUE(tree.List("work").empty());
    EXPECT_EQ(Enables(), (std::vector<WPARAM>{FALSE, TRUE}));  // one job, one owner
    bool grownWhileFirstRan = false;
    std::vector<std::string> statuses;
    for (const Sighting& s : watcher.Seen()) {
        if (s.status == "Processing file 1 of 3" && s.itemsRange == 3 && s.itemsPosition == 1) {
            grownWhileFirstRan = true;
        }
        if (statuses.empty() || statuses.back() != s.status) statuses.push_back(s.status);
    }
    EXPECT_TRUE(grownWhileFirstRan);
    for (const std::string& status : statuses) {
        EXPECT_TRUE(status.empty() || status == "Processing file 1 of 1" ||
                    status == "Processing file 1 of 3" || status == "Processing file 2 of 3" ||
                    status == "Processing file 3 of 3")
            << status;  // never a second dialog's count
    }
}

TEST_F(RunWipeJobTest, CancelDuringAJoinedItemEndsTheWholeJob) {
    tree.WriteFileOfSize("work\\first.bin", 8 << 20);
    tree.WriteFileOfSize("work\\joined\\big.bin", 64 << 20);
    tree.WriteFile("work\\joined.txt", "joined");
    g_onCommand = [&] {
        RunWipeJob(owner, Gutmann, Paths({"work\\joined", "work\\joined.txt"}), settings);
    };
    bool joined = false;
    Watcher watcher([&](HWND dialog, const Sighting& seen) {
        if (!joined && seen.filePosition > 0) {
            joined = true;
            ::PostMessageA(owner, WM_APP, 0, 0);
        }
        if (seen.status != "Processing file 2 of 3" || seen.filePosition <= 0) return false;
        ::SendMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
        return true;
    });
    EXPECT_EQ(Run({"work\\first.bin"}, Gutmann), S_OK);
    watcher.Stop();

    EXPECT_FALSE(tree.Exists("work\\first.bin"));
    const auto left = tree.List("work\\joined");
    ASSERT_EQ(left.size(), 1u);  // stopped while being overwritten
    EXPECT_NE(left[0], "big.bin");
    EXPECT_EQ(tree.Read("work\\joined.txt"), "joined");
}

// Another thread (another Explorer window) runs a job of its own beside the first.
TEST_F(RunWipeJobTest, ACommandFromAnotherThreadRunsItsOwnJob) {
    tree.WriteFileOfSize("work\\first.bin", 32 << 20);
    tree.WriteFile("work\\other.txt", "other");
    bool otherDoneWhileFirstRan = false;
    Watcher watcher([&](HWND dialog, const Sighting& seen) {
        if (seen.filePosition <= 0) return false;
        EXPECT_EQ(RunWipeJob(nullptr, Random, Paths({"work\\other.txt"}), settings), S_OK);
        otherDoneWhileFirstRan = !tree.Exists("work\\other.txt") && ::IsWindow(dialog);
        return true;
    });
    EXPECT_EQ(Run({"work\\first.bin"}, Gutmann), S_OK);
    watcher.Stop();

    EXPECT_TRUE(otherDoneWhileFirstRan);
    EXPECT_TRUE(tree.List("work").empty());
}

// The module must stay while a job or a worker runs, even with no COM object alive.
TEST_F(RunWipeJobTest, TheModuleCannotBeUnloadedWhileAJobRuns) {
    ASSERT_EQ(CanUnloadNow(), S_OK);
    tree.WriteFileOfSize("work\\first.bin", 8 << 20);
    HRESULT duringJob = S_OK;
    Watcher watcher([&duringJob](HWND, const Sighting& seen) {
        if (seen.filePosition <= 0) return false;
        duringJob = CanUnloadNow();
        return true;
    });
    EXPECT_EQ(Run({"work\\first.bin"}, Gutmann), S_OK);
    watcher.Stop();
    EXPECT_EQ(duringJob, S_FALSE);
    // The last worker may still be leaving after the job has seen its end.
    HRESULT after = CanUnloadNow();
    for (int i = 0; i < 1000 && after != S_OK; ++i) {
        ::Sleep(10);
        after = CanUnloadNow();
    }
    EXPECT_EQ(after, S_OK);
}

}  // namespace
}  // namespace veltrane
