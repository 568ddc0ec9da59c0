// The framework's dialog, message pump and worker thread.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "TestResources.h"
#include "framework/Dialog.h"
#include "framework/ExceptionReport.h"
#include "framework/MessagePump.h"
#include "framework/WorkerThread.h"
#include "support/WinTestSupport.h"
#include "framework/ModuleActivity.h"

namespace veltrane {
namespace {

// Records what reached it; with `selfDeleting` it deletes itself as a modeless dialog does.
class CTestDlg : public CDialog {
public:
    CTestDlg(std::vector<std::string>& events, bool selfDeleting)
        : CDialog(IDD_FRAMEWORK_TEST), m_events(events), m_selfDeleting(selfDeleting) {}
    ~CTestDlg() override { m_events.push_back("deleted"); }

    bool m_destroyOnInit = false;
    bool m_throwOnMore = false;
    CDialogItem m_text;

protected:
    const MessageMap* GetMessageMap() const override {
        static const MessageMapEntry entries[] = {
            MapClicked<&CTestDlg::OnMore>(IDC_TEST_MORE),
            MapTimer<&CTestDlg::OnTimer>(),
            MapShowWindow<&CTestDlg::OnShowWindow>(),
        };
        static const MessageMap map = MakeMessageMap(CDialog::GetMessageMap(), entries);
        return &map;
    }
    void DoDataExchange(CDataExchange* dx) override {
        m_events.push_back(dx->m_bSaveAndValidate ? "save" : "load");
        DDX_Control(dx, IDC_TEST_TEXT, m_text);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_events.push_back("init");
        if (m_destroyOnInit) DestroyWindow();
        return TRUE;
    }
    void PostNcDestroy() override {
        m_events.push_back("post-nc-destroy");
        if (m_selfDeleting) delete this;
    }
    void OnMore() {
        m_events.push_back("more");
        if (m_throwOnMore) throw std::bad_alloc();
        EndDialog(42);
    }
    void OnTimer(UINT_PTR id) { m_events.push_back("timer " + std::to_string(id)); }
    void OnShowWindow(BOOL show, UINT) { m_events.push_back(show ? "shown" : "hidden"); }

private:
    std::vector<std::string>& m_events;
    bool m_selfDeleting;
};

// Pumps until `done` holds, or 10 s at most: the deadline only keeps a broken test from
// hanging, and nothing is asserted of the time taken.
template <class Done>
bool PumpUntil(Done done) {
    const DWORD start = ::GetTickCount();
    while (!done()) {
        if (::GetTickCount() - start > 10000) return false;
        PumpPendingMessages();
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
    return true;
}

std::vector<std::string> g_reports;

TEST(DialogTest, AModalRunRoutesAControlsClickThroughTheMessageMap) {
    std::vector<std::string> events;
    {
        CTestDlg dialog(events, false);
        std::thread presser([] {
            HWND found = nullptr;
            while (!(found = test::FindOwnWindow("#32770", "Framework test"))) ::Sleep(5);
            ::PostMessageA(found, WM_COMMAND, MAKEWPARAM(IDC_TEST_MORE, BN_CLICKED), 0);
        });
        EXPECT_EQ(dialog.DoModal(), 42);
        presser.join();
        EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
    }
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events[0], "load");  // the base OnInitDialog's data exchange
    EXPECT_EQ(events[1], "init");
    EXPECT_EQ(std::count(events.begin(), events.end(), "more"), 1);
    EXPECT_EQ(events[events.size() - 2], "post-nc-destroy");
    EXPECT_EQ(events.back(), "deleted");
    EXPECT_EQ(CDialog(IDD_MISSING_TEMPLATE).DoModal(), -1);
}

TEST(DialogTest, AModelessDialogGetsTimerShowAndEscThroughThePumpAndThenDeletesItself) {
    std::vector<std::string> events;
    auto* dialog = new CTestDlg(events, true);
    ASSERT_TRUE(dialog->Create(IDD_FRAMEWORK_TEST, nullptr));
    HWND hwnd = dialog->GetSafeHwnd();
    EXPECT_EQ(CDialog::FromHandle(hwnd), dialog);
    EXPECT_TRUE(dialog->SetDlgItemText(IDC_TEST_TEXT, "typed"));
    EXPECT_EQ(dialog->m_text.GetWindowText(), "typed");  // bound by the data exchange

    dialog->ShowWindow(SW_SHOW);
    ::SetTimer(hwnd, 7, 10, nullptr);
    EXPECT_TRUE(PumpUntil(
        [&events] { return std::find(events.begin(), events.end(), "timer 7") != events.end(); }));
    ::KillTimer(hwnd, 7);
    // Esc on a control reaches the dialog only through the pump's pre-translation; the
    // base OnCancel then destroys a modeless dialog.
    ::PostMessageA(::GetDlgItem(hwnd, IDC_TEST_TEXT), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_TRUE(PumpUntil([hwnd] { return !::IsWindow(hwnd); }));

    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(CDialog::FromHandle(hwnd), nullptr);
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events[2], "shown");
    EXPECT_EQ(events[3], "timer 7");
    EXPECT_EQ(events[events.size() - 2], "post-nc-destroy");
    EXPECT_EQ(events.back(), "deleted");
}

TEST(DialogTest, AWindowThatCannotBeCreatedEndsTheObjectExactlyOnce) {
    std::vector<std::string> events;
    EXPECT_FALSE((new CTestDlg(events, true))->Create(IDD_MISSING_TEMPLATE, nullptr));
    EXPECT_EQ(events, (std::vector<std::string>{"post-nc-destroy", "deleted"}));

    events.clear();
    auto* destroyed = new CTestDlg(events, true);
    destroyed->m_destroyOnInit = true;
    EXPECT_FALSE(destroyed->Create(IDD_FRAMEWORK_TEST, nullptr));
    EXPECT_EQ(events, (std::vector<std::string>{"load", "init", "post-nc-destroy", "deleted"}));
}

TEST(DialogTest, AnExceptionInAHandlerIsReportedAndGoesNoFurther) {
    g_reports.clear();
    const FrameworkReportSink previous =
        SetFrameworkReportSink([](const char* text) { g_reports.push_back(text); });
    std::vector<std::string> events;
    auto* dialog = new CTestDlg(events, true);
    dialog->m_throwOnMore = true;
    ASSERT_TRUE(dialog->Create(IDD_FRAMEWORK_TEST, nullptr));
    HWND hwnd = dialog->GetSafeHwnd();

    ::SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(IDC_TEST_MORE, BN_CLICKED), 0);
    EXPECT_EQ(g_reports, std::vector<std::string>{"Out of memory."});
    EXPECT_TRUE(::IsWindow(hwnd));  // the dialog goes on
    dialog->DestroyWindow();
    SetFrameworkReportSink(previous);
}

LRESULT CALLBACK FloodProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_APP) return ::DefWindowProcA(hwnd, message, wParam, lParam);
    ::Sleep(20);
    ::PostMessageA(hwnd, WM_APP, 0, 0);  // the queue never runs dry
    return 0;
}

TEST(MessagePumpTest, AFloodedQueueIsLeftWithMessagesStillInItAndAnEmptyOneAtOnce) {
    WNDCLASSA flood{};
    flood.lpfnWndProc = &FloodProc;
    flood.lpszClassName = "VeltraneFlood";
    ::RegisterClassA(&flood);
    HWND hwnd = ::CreateWindowA("VeltraneFlood", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                nullptr, nullptr);
    // Every message handled posts the next: the pump returns all the same (its limit is
    // 200 ms), and the queue still holds work for the next poll.
    ::PostMessageA(hwnd, WM_APP, 0, 0);
    PumpPendingMessages();
    MSG msg;
    EXPECT_TRUE(::PeekMessageA(&msg, hwnd, WM_APP, WM_APP, PM_NOREMOVE));
    ::DestroyWindow(hwnd);
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }
    // An empty queue: the pump returns without waiting for any message.
    PumpPendingMessages();
    EXPECT_FALSE(::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE));
}

TEST(MessagePumpTest, AQuitRequestTakenByThePumpIsPutBack) {
    ::PostQuitMessage(5);
    PumpPendingMessages();
    MSG msg{};
    EXPECT_FALSE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
    RepostQuitMessage();
    ASSERT_TRUE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 5u);
    RepostQuitMessage();  // nothing left to put back
    EXPECT_FALSE(::PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE));
}

struct ThreadProbe {
    std::atomic<DWORD> threadId{0};
    std::atomic<int> priority{0};
};

TEST(WorkerThreadTest, ASuspendedThreadRunsWhenResumedAndSignalsItsEndThroughItsOwnHandle) {
    ThreadProbe probe;
    HANDLE ended = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE watch = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ended, ::GetCurrentProcess(), &watch, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    UniqueHandle watched(watch);
    const ThreadProc proc = [](void* param) -> unsigned {
        auto* p = static_cast<ThreadProbe*>(param);
        p->priority = ::GetThreadPriority(::GetCurrentThread());
        p->threadId = ::GetCurrentThreadId();
        return 0;
    };

    WorkerThread* thread =
        WorkerThread::Begin(proc, &probe, THREAD_PRIORITY_BELOW_NORMAL, 0, CREATE_SUSPENDED, ended);
    ASSERT_NE(thread, nullptr);
    ::CloseHandle(ended);  // the job may close its handle while the worker runs
    EXPECT_EQ(::WaitForSingleObject(watched.get(), 100), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(probe.threadId.load(), 0u);
    const DWORD id = thread->ThreadId();
    EXPECT_EQ(thread->Resume(), 1u);  // the object is the thread's from here on
    EXPECT_EQ(::WaitForSingleObject(watched.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(probe.threadId.load(), id);
    EXPECT_EQ(probe.priority.load(), THREAD_PRIORITY_BELOW_NORMAL);
}

// Only the worker keeps the module, from its start until it has left the module's code,
// ending with its procedure's exit code.
TEST(WorkerThreadTest, AWorkerKeepsTheModuleFromItsStartUntilItHasEnded) {
    // An earlier test's worker sets its event before it has left the module's code: give
    // it a moment to go (slow under emulation), then start from a module nobody holds.
    for (int i = 0; i < 500 && ModuleActivity::Count() != 0; ++i) ::Sleep(10);
    ASSERT_EQ(ModuleActivity::Count(), 0);
    UniqueHandle release(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    const ThreadProc proc = [](void* event) -> unsigned {
        ::WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
        return 7;
    };
    WorkerThread* thread =
        WorkerThread::Begin(proc, release.get(), THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    ASSERT_NE(thread, nullptr);
    EXPECT_NE(ModuleActivity::Count(), 0) << "a worker not yet resumed counts";
    UniqueHandle own(
        ::OpenThread(SYNCHRONIZE | THREAD_QUERY_INFORMATION, FALSE, thread->ThreadId()));
    ASSERT_TRUE(own);
    thread->Resume();
    EXPECT_NE(ModuleActivity::Count(), 0);
    ::SetEvent(release.get());
    ASSERT_EQ(::WaitForSingleObject(own.get(), 10000), WAIT_OBJECT_0);
    DWORD code = 0;
    EXPECT_TRUE(::GetExitCodeThread(own.get(), &code));
    EXPECT_EQ(code, 7u);
    EXPECT_EQ(ModuleActivity::Count(), 0);
}

}  // namespace
}  // namespace veltrane
