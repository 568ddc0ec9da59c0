// Whole wipe jobs through RunWipeJob on real files under Wine, with the progress dialog
// on the screen. A watcher thread finds the dialog, reads its controls and presses its
// buttons while the job runs on the test's thread. A canary folder beside every selection
// must come out of every test unchanged.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "WineTree.h"
#include "framework/Handles.h"
#include "job/RunWipeJob.h"
#include "resource.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using test::WineTree;

HWND FindProgressDialog() {
    return test::FindOwnWindow("#32770", "Veltrane");
}

std::string TextOf(HWND hwnd) {
    char text[512] = {};
    ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

int BarPosition(HWND dialog, int id) {
    return static_cast<int>(::SendMessageA(::GetDlgItem(dialog, id), PBM_GETPOS, 0, 0));
}

int BarRange(HWND dialog, int id) {
    return static_cast<int>(::SendMessageA(::GetDlgItem(dialog, id), PBM_GETRANGE, FALSE, 0));
}

// What the watcher saw of the dialog.
struct Sighting {
    std::string status;
    std::string path;
    int itemsPosition = -1;
    int itemsRange = -1;
    int fileRange = -1;
    int filePosition = -1;
    bool visible = false;
    bool cancelEnabled = true;
};

// Runs beside the job: looks at the dialog until `act` returns true (or the job ends).
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
        while (!m_stop) {
            HWND dialog = FindProgressDialog();
            if (dialog && ::IsWindowVisible(dialog)) {
                Sighting seen;
                seen.status = TextOf(::GetDlgItem(dialog, IDC_STATUS));
                seen.path = TextOf(::GetDlgItem(dialog, IDC_PATH));
                seen.itemsPosition = BarPosition(dialog, IDC_ITEMS_BAR);
                seen.itemsRange = BarRange(dialog, IDC_ITEMS_BAR);
                seen.fileRange = BarRange(dialog, IDC_FILE_BAR);
                seen.filePosition = BarPosition(dialog, IDC_FILE_BAR);
                seen.visible = ::IsWindowVisible(dialog) != FALSE;
                // Read while the job was closing the dialog (hidden, then its controls
                // destroyed before it): not a sighting.
                if (!seen.visible || !::IsWindowVisible(dialog)) continue;
                {
                    std::lock_guard<std::mutex> lock(m_mutex);
                    m_seen.push_back(seen);
                }
                if (m_act && m_act(dialog, seen)) m_act = nullptr;
            }
            ::Sleep(5);
        }
    }

    Act m_act;
    std::atomic<bool> m_stop{false};
    std::mutex m_mutex;
    std::vector<Sighting> m_seen;
    std::thread m_thread;
};

// The invoking window: records the WM_ENABLE notifications the job posts it.
class OwnerWindow {
public:
    OwnerWindow() {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = &OwnerWindow::Proc;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "VeltraneTestOwner";
        ::RegisterClassA(&windowClass);
        m_hwnd = ::CreateWindowA("VeltraneTestOwner", "Owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                 0, 0, 640, 480, nullptr, nullptr, windowClass.hInstance, nullptr);
        ::SetWindowLongPtrA(m_hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~OwnerWindow() {
        if (::IsWindow(m_hwnd)) ::DestroyWindow(m_hwnd);
    }
    HWND Handle() const { return m_hwnd; }
    // Notifications seen so far, after handing the ones still queued to the window.
    std::vector<WPARAM> Enables() {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&msg);
        return m_enables;
    }

private:
    static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<OwnerWindow*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA));
        if (self && message == WM_ENABLE) self->m_enables.push_back(wParam);
        return ::DefWindowProcA(hwnd, message, wParam, lParam);
    }

    HWND m_hwnd = nullptr;
    std::vector<WPARAM> m_enables;
};

class RunWipeJobTest : public ::testing::Test {
protected:
    void SetUp() override {
        tree.WriteFile("canary\\one.txt", "canary one");
        tree.WriteFile("canary\\nested\\two.bin", std::string(70000, '\x5A'));
        canary = tree.Snapshot("canary");
        settings.walk.debugSink = [this](const std::string& line) { debugLines.push_back(line); };
    }
    void TearDown() override {
        EXPECT_EQ(tree.Snapshot("canary"), canary);
        EXPECT_EQ(FindProgressDialog(), nullptr);  // every job closed its dialog
    }

    HRESULT Run(const std::vector<std::string>& relatives, std::uint32_t method = Random) {
        std::vector<std::string> selection;
        for (const auto& relative : relatives) selection.push_back(tree.Path(relative));
        return RunWipeJob(owner.Handle(), method, selection, settings);
    }

    // The second of three items is being overwritten when `cancel` acts on the dialog.
    // Returns what the watcher saw after the request.
    std::vector<Sighting> CancelDuringSecondOfThree(const std::function<void(HWND)>& cancel);

    WineTree tree{"job"};
    std::map<std::string, std::string> canary;
    OwnerWindow owner;
    JobSettings settings;
    std::vector<std::string> debugLines;
};

TEST_F(RunWipeJobTest, AnEmptySelectionShowsTheDialogAndEndsAtOnce) {
    EXPECT_EQ(RunWipeJob(owner.Handle(), Random, {}, settings), S_OK);
    EXPECT_EQ(owner.Enables(), (std::vector<WPARAM>{FALSE, TRUE}));
}

TEST_F(RunWipeJobTest, OneFileIsWipedWhileTheDialogShowsIt) {
    tree.WriteFileOfSize("work\\only.bin", 8 << 20);
    Watcher watcher(nullptr);

    EXPECT_EQ(Run({"work\\only.bin"}, Gutmann), S_OK);
    watcher.Stop();

    EXPECT_FALSE(tree.Exists("work\\only.bin"));
    EXPECT_TRUE(tree.List("work").empty());
    EXPECT_EQ(owner.Enables(), (std::vector<WPARAM>{FALSE, TRUE}));
    const auto seen = watcher.Seen();
    ASSERT_FALSE(seen.empty());
    int largest = -1;
    for (const Sighting& s : seen) {
        if (s.status.empty()) continue;  // before the first item's texts
        EXPECT_EQ(s.status, "Processing file 1 of 1");
        EXPECT_EQ(s.path, tree.Path("work\\only.bin"));
        EXPECT_EQ(s.itemsRange, 1);
        EXPECT_EQ(s.itemsPosition, 1);  // full from the start
        EXPECT_EQ(s.fileRange, 101);
        EXPECT_GE(s.filePosition, largest);  // the file bar follows the engine
        largest = std::max(largest, s.filePosition);
    }
    EXPECT_GT(largest, 0);
    EXPECT_LE(largest, 100);
}

TEST_F(RunWipeJobTest, ANestedTreeGoesCompletelyAndBottomUp) {
    tree.WriteFile("work\\sel\\a.txt", "alpha");
    tree.WriteFile("work\\sel\\sub\\b.txt", "bravo");
    tree.WriteFile("work\\sel\\sub\\deeper\\c.txt", "charlie");
    tree.WriteFile("work\\sel\\sub\\deeper\\..a", "two dots and a letter");
    tree.MakeFolder("work\\sel\\empty");
    tree.WriteFile("work\\single.txt", "single");

    EXPECT_EQ(Run({"work\\sel\\", "work\\single.txt"}, DoD), S_OK);

    EXPECT_TRUE(tree.List("work").empty());
    EXPECT_TRUE(debugLines.empty());
}

TEST_F(RunWipeJobTest, AFileThatCannotBeOpenedStaysWithItsFoldersAndTheJobGoesOn) {
    tree.WriteFile("work\\sel\\a.txt", "alpha");
    tree.WriteFile("work\\sel\\sub\\busy.txt", "held open");
    tree.WriteFile("work\\sel\\sub\\b.txt", "bravo");
    tree.WriteFile("work\\next.txt", "next");
    // Another process's exclusive open: Wine as root would open a read-only file.
    UniqueFile held(::CreateFileA(tree.Path("work\\sel\\sub\\busy.txt").c_str(), GENERIC_READ,
                                  0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(held);

    EXPECT_EQ(Run({"work\\sel", "work\\next.txt"}), S_OK);
    held.reset();

    EXPECT_EQ(tree.Read("work\\sel\\sub\\busy.txt"), "held open");
    EXPECT_EQ(tree.List("work\\sel"), std::vector<std::string>{"sub"});
    EXPECT_EQ(tree.List("work\\sel\\sub"), std::vector<std::string>{"busy.txt"});
    EXPECT_FALSE(tree.Exists("work\\next.txt"));
    EXPECT_EQ(debugLines, (std::vector<std::string>{
                              "Error 145 deleting " + tree.Path("work\\sel\\sub"),
                              "Error 145 deleting " + tree.Path("work\\sel")}));
}

TEST_F(RunWipeJobTest, ALinkedFolderInsideTheSelectionIsNeitherEnteredNorChanged) {
    // Non-empty target: Wine's RemoveDirectoryA on a link to an empty folder removes the
    // folder itself.
    tree.WriteFile("outside\\target\\keep.txt", "keep me");
    tree.WriteFile("outside\\target\\deep\\also.txt", "and me");
    tree.WriteFile("work\\sel\\a.txt", "alpha");
    ASSERT_TRUE(tree.Link("work\\sel\\link", "outside\\target"));
    ASSERT_EQ(::GetFileAttributesA(tree.Path("work\\sel\\link").c_str()) &
                  (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT),
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
    const auto before = tree.Snapshot("outside");

    EXPECT_EQ(Run({"work\\sel"}), S_OK);

    EXPECT_EQ(tree.Snapshot("outside"), before);
    EXPECT_FALSE(tree.Exists("work\\sel\\a.txt"));
    // Where the link could not be removed (Wine refuses one to a non-empty folder), that
    // is all that stays, and the failure went to the debugger output only.
    if (tree.Exists("work\\sel\\link")) {
        EXPECT_EQ(tree.List("work\\sel"), std::vector<std::string>{"link"});
        const auto endsWith = [](const std::string& text, const std::string& tail) {
            return text.size() >= tail.size() &&
                   text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
        };
        ASSERT_EQ(debugLines.size(), 2u);
        EXPECT_EQ(debugLines[0].rfind("Error ", 0), 0u);
        EXPECT_TRUE(endsWith(debugLines[0], " deleting RP " + tree.Path("work\\sel\\link")));
        EXPECT_TRUE(endsWith(debugLines[1], " deleting " + tree.Path("work\\sel")));
    } else {
        EXPECT_FALSE(tree.Exists("work\\sel"));
    }
}

std::vector<Sighting> RunWipeJobTest::CancelDuringSecondOfThree(
    const std::function<void(HWND)>& cancel) {
    tree.WriteFile("work\\first.txt", "first");
    tree.WriteFileOfSize("work\\second\\big.bin", 64 << 20);
    tree.WriteFile("work\\third.txt", "third");
    std::atomic<bool> cancelled{false};
    std::vector<Sighting> afterCancel;
    Watcher watcher([&](HWND dialog, const Sighting& seen) {
        if (seen.status != "Processing file 2 of 3" || seen.filePosition <= 0) return false;
        cancel(dialog);
        cancelled = true;
        // Keep asking: the job answers between its polls, so the dialog is seen after the
        // request took effect and before the worker has stopped.
        for (int i = 0; i < 1000 && ::IsWindow(dialog); ++i) {
            Sighting now;
            now.status = TextOf(::GetDlgItem(dialog, IDC_STATUS));
            now.itemsPosition = BarPosition(dialog, IDC_ITEMS_BAR);
            now.cancelEnabled = ::IsWindowEnabled(::GetDlgItem(dialog, IDCANCEL)) != FALSE;
            if (now.status == "Waiting for operation to complete." && ::IsWindow(dialog)) {
                afterCancel.push_back(now);
                break;
            }
        }
        return true;
    });

    EXPECT_EQ(Run({"work\\first.txt", "work\\second", "work\\third.txt"}, Gutmann), S_OK);
    watcher.Stop();

    EXPECT_TRUE(cancelled);
    EXPECT_FALSE(tree.Exists("work\\first.txt"));
    const auto left = tree.List("work\\second");
    EXPECT_EQ(left.size(), 1u);  // under its random name, partly overwritten
    if (left.size() == 1) {
        EXPECT_NE(left[0], "big.bin");
        EXPECT_EQ(
            left[0].find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
            std::string::npos);
        EXPECT_EQ(tree.Size("work\\second\\" + left[0]), 64u << 20);
    }
    EXPECT_EQ(tree.Read("work\\third.txt"), "third");
    return afterCancel;
}

TEST_F(RunWipeJobTest, CancelDuringTheSecondOfThreeItemsStopsAfterIt) {
    const auto afterCancel = CancelDuringSecondOfThree([](HWND dialog) {
        ::SendMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0);
    });
    ASSERT_FALSE(afterCancel.empty());  // the dialog stayed until the worker stopped
    EXPECT_EQ(afterCancel[0].itemsPosition, 2);
    EXPECT_FALSE(afterCancel[0].cancelEnabled);
}

TEST_F(RunWipeJobTest, EscActsAsCancel) {
    EXPECT_FALSE(CancelDuringSecondOfThree([](HWND dialog) {
                     ::PostMessageA(::GetDlgItem(dialog, IDCANCEL), WM_KEYDOWN, VK_ESCAPE,
                                    0x00010001);
                 }).empty());
}

TEST_F(RunWipeJobTest, TheCloseBoxActsAsCancel) {
    EXPECT_FALSE(CancelDuringSecondOfThree([](HWND dialog) {
                     ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
                 }).empty());
}

TEST_F(RunWipeJobTest, TheJobGoesOnWhenItsOwnerWindowIsDestroyedUnderIt) {
    tree.WriteFileOfSize("work\\first.bin", 16 << 20);
    tree.WriteFile("work\\second.txt", "second");
    HWND ownerWindow = owner.Handle();
    // Closing the owner destroys the dialog it owns, which frees itself.
    Watcher watcher([ownerWindow](HWND, const Sighting& seen) {
        if (seen.filePosition <= 0) return false;
        ::PostMessageA(ownerWindow, WM_CLOSE, 0, 0);
        return true;
    });

    EXPECT_EQ(Run({"work\\first.bin", "work\\second.txt"}, Gutmann), S_OK);
    watcher.Stop();

    EXPECT_FALSE(::IsWindow(ownerWindow));
    EXPECT_TRUE(tree.List("work").empty());
}

TEST_F(RunWipeJobTest, WithoutADialogWindowTheJobRunsAllTheSame) {
    tree.WriteFile("work\\a.txt", "a");
    tree.WriteFile("work\\b\\c.txt", "c");
    HWND gone = ::CreateWindowA("STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                                nullptr);
    ::DestroyWindow(gone);  // an owner that no longer exists: the dialog cannot be made
    std::atomic<bool> dialogSeen{false};
    Watcher watcher([&dialogSeen](HWND, const Sighting&) {
        dialogSeen = true;
        return true;
    });

    EXPECT_EQ(RunWipeJob(gone, Random, {tree.Path("work\\a.txt"), tree.Path("work\\b")}), S_OK);
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

}  // namespace
}  // namespace veltrane
