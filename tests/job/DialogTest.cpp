// The framework's dialog, worker thread and message pump.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <thread>
#include <string>
#include <vector>

#include "TestResources.h"
#include "WineTree.h"
#include "framework/Dialog.h"
#include "framework/ExceptionReport.h"
#include "framework/MessagePump.h"
#include "framework/WorkerThread.h"

namespace veltrane {
namespace {

std::vector<std::string> g_reports;
void RecordReport(const char* text) {
    g_reports.push_back(text);
}

// A test dialog that records what reached it.
class CTestDlg : public CDialog {
public:
    explicit CTestDlg(std::vector<std::string>& events, bool selfDeleting = false)
        : CDialog(IDD_FRAMEWORK_TEST), m_events(events), m_selfDeleting(selfDeleting) {}
    ~CTestDlg() override { m_events.push_back("deleted"); }

    std::vector<std::string>& m_events;
    bool m_selfDeleting;
    bool m_destroyOnInit = false;
    bool m_throwOnMore = false;
    INT_PTR m_endOnMore = 0;
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
        m_events.push_back(dx->m_bSaveAndValidate ? "exchange save" : "exchange load");
        DDX_Control(dx, IDC_TEST_TEXT, m_text);
    }
    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_events.push_back("init");
        if (m_destroyOnInit) DestroyWindow();
        return TRUE;
    }
    void OnOK() override {
        m_events.push_back("ok");
        CDialog::OnOK();
    }
    void PostNcDestroy() override {
        m_events.push_back("post-nc-destroy");
        if (m_selfDeleting) delete this;
    }
    void OnMore() {
        m_events.push_back("more");
        if (m_throwOnMore) throw std::bad_alloc();
        if (m_endOnMore) EndDialog(m_endOnMore);
    }
    void OnTimer(UINT_PTR id) { m_events.push_back("timer " + std::to_string(id)); }
    void OnShowWindow(BOOL show, UINT) { m_events.push_back(show ? "shown" : "hidden"); }
};

void PumpFor(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    while (::GetTickCount() - start < milliseconds) {
        PumpPendingMessages();
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }
}

TEST(DialogTest, AModalRunRoutesButtonsThroughTheMessageMapsAndReturnsItsResult) {
    std::vector<std::string> events;
    {
        CTestDlg dialog(events);
        dialog.m_endOnMore = 42;
        // Press "More" and then, unheard, OK: the dialog has ended after "More".
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
    EXPECT_EQ(events[0], "exchange load");  // the base OnInitDialog's data exchange
    EXPECT_EQ(events[1], "init");
    EXPECT_EQ(std::count(events.begin(), events.end(), "more"), 1);
    EXPECT_EQ(events[events.size() - 2], "post-nc-destroy");
    EXPECT_EQ(events.back(), "deleted");
}

TEST(DialogTest, OkTakesTheDataBackAndEndsTheModalRunWithIdOk) {
    std::vector<std::string> events;
    CTestDlg dialog(events);
    std::thread presser([] {
        HWND found = nullptr;
        while (!(found = test::FindOwnWindow("#32770", "Framework test"))) ::Sleep(5);
        ::SendMessageA(::GetDlgItem(found, IDOK), BM_CLICK, 0, 0);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    presser.join();
    EXPECT_NE(std::find(events.begin(), events.end(), "ok"), events.end());
    EXPECT_NE(std::find(events.begin(), events.end(), "exchange save"), events.end());
}

TEST(DialogTest, AModelessDialogGetsItsTimerAndShowMessagesAndEscThroughThePump) {
    std::vector<std::string> events;
    auto* dialog = new CTestDlg(events, true);
    ASSERT_TRUE(dialog->Create(IDD_FRAMEWORK_TEST, nullptr));
    HWND hwnd = dialog->GetSafeHwnd();
    EXPECT_EQ(CDialog::FromHandle(hwnd), dialog);
    EXPECT_NE(dialog->m_text.GetSafeHwnd(), nullptr);  // bound by the data exchange
    EXPECT_TRUE(dialog->SetDlgItemText(IDC_TEST_TEXT, "typed"));
    EXPECT_EQ(dialog->m_text.GetWindowText(), "typed");

    dialog->ShowWindow(SW_SHOW);
    ::SetTimer(hwnd, 7, 10, nullptr);
    PumpFor(100);
    ::KillTimer(hwnd, 7);
    // Esc on a control reaches the dialog only through the pump's pre-translation; the
    // base OnCancel then destroys a modeless dialog, which deletes itself.
    ::PostMessageA(::GetDlgItem(hwnd, IDC_TEST_TEXT), WM_KEYDOWN, VK_ESCAPE, 0);
    PumpFor(50);

    EXPECT_FALSE(::IsWindow(hwnd));
    EXPECT_EQ(CDialog::FromHandle(hwnd), nullptr);
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(events[2], "shown");
    EXPECT_EQ(events[3], "timer 7");
    EXPECT_EQ(events.back(), "deleted");
    EXPECT_EQ(events[events.size() - 2], "post-nc-destroy");
}

TEST(DialogTest, AWindowThatCannotBeCreatedEndsTheObjectExactlyOnce) {
    std::vector<std::string> events;
    auto* missing = new CTestDlg(events, true);
    EXPECT_FALSE(missing->Create(IDD_MISSING_TEMPLATE, nullptr));
    EXPECT_EQ(events, (std::vector<std::string>{"post-nc-destroy", "deleted"}));

    events.clear();
    auto* destroyed = new CTestDlg(events, true);
    destroyed->m_destroyOnInit = true;
    EXPECT_FALSE(destroyed->Create(IDD_FRAMEWORK_TEST, nullptr));
    EXPECT_EQ(events, (std::vector<std::string>{"exchange load", "init", "post-nc-destroy",
                                                "deleted"}));

    EXPECT_EQ(CDialog(IDD_MISSING_TEMPLATE).DoModal(), -1);
}

TEST(DialogTest, AnExceptionInAHandlerIsReportedAndGoesNoFurther) {
    g_reports.clear();
    const FrameworkReportSink previous = SetFrameworkReportSink(&RecordReport);
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
    EXPECT_EQ(events.back(), "deleted");
}

TEST(DialogTest, ForeignWindowsAreNotTakenForDialogs) {
    HWND button = ::CreateWindowA("BUTTON", "x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(CDialog::FromHandle(button), nullptr);
    EXPECT_EQ(CDialog::FromHandle(nullptr), nullptr);
    MSG msg{button, WM_KEYDOWN, VK_ESCAPE, 0, 0, {}};
    EXPECT_FALSE(PreTranslateMessage(&msg));
    ::DestroyWindow(button);
}

// ---- message pump ----

LRESULT CALLBACK FloodProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        ::Sleep(20);
        ::PostMessageA(hwnd, WM_APP, wParam + 1, 0);  // the queue never runs dry
        *reinterpret_cast<int*>(::GetWindowLongPtrA(hwnd, GWLP_USERDATA)) += 1;
        return 0;
    }
    return ::DefWindowProcA(hwnd, message, wParam, lParam);
}

TEST(MessagePumpTest, AFloodedQueueIsLeftAfterTwoHundredMilliseconds) {
    WNDCLASSA flood{};
    flood.lpfnWndProc = &FloodProc;
    flood.hInstance = ::GetModuleHandleA(nullptr);
    flood.lpszClassName = "VeltraneFlood";
    ::RegisterClassA(&flood);
    HWND hwnd = ::CreateWindowA("VeltraneFlood", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                flood.hInstance, nullptr);
    int handled = 0;
    ::SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&handled));
    ::PostMessageA(hwnd, WM_APP, 0, 0);

    const DWORD start = ::GetTickCount();
    PumpPendingMessages();
    const DWORD took = ::GetTickCount() - start;

    EXPECT_GE(took, 200u);
    EXPECT_LT(took, 200u + 20u + 60u);  // one message may overrun the limit
    EXPECT_GE(handled, 8);
    ::DestroyWindow(hwnd);
    MSG msg;
    while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    }

    // An empty queue returns at once.
    const DWORD again = ::GetTickCount();
    PumpPendingMessages();
    EXPECT_LT(::GetTickCount() - again, 20u);
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

// ---- worker thread ----

struct ThreadProbe {
    std::atomic<DWORD> threadId{0};
    std::atomic<int> priority{0};
    HANDLE release = nullptr;
};

unsigned ProbeProc(void* param) {
    auto* probe = static_cast<ThreadProbe*>(param);
    ::WaitForSingleObject(probe->release, INFINITE);
    probe->priority = ::GetThreadPriority(::GetCurrentThread());
    probe->threadId = ::GetCurrentThreadId();
    return 0;
}

TEST(WorkerThreadTest, ASuspendedThreadRunsOnlyWhenResumedAndSignalsItsEnd) {
    ThreadProbe probe;
    UniqueHandle release(::CreateEventA(nullptr, TRUE, TRUE, nullptr));
    UniqueHandle ended(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    probe.release = release.get();

    WorkerThread* thread = WorkerThread::Begin(&ProbeProc, &probe, THREAD_PRIORITY_BELOW_NORMAL,
                                               0, CREATE_SUSPENDED, ended.get());
    ASSERT_NE(thread, nullptr);
    EXPECT_EQ(::WaitForSingleObject(ended.get(), 100), static_cast<DWORD>(WAIT_TIMEOUT));
    EXPECT_EQ(probe.threadId.load(), 0u);
    const DWORD id = thread->ThreadId();

    EXPECT_EQ(thread->Resume(), 1u);  // the object is the thread's from here on
    ended.reset(ended.release());  // the caller may keep or close its handle
    EXPECT_EQ(::WaitForSingleObject(ended.get(), 5000), WAIT_OBJECT_0);
    EXPECT_EQ(probe.threadId.load(), id);
    EXPECT_EQ(probe.priority.load(), THREAD_PRIORITY_BELOW_NORMAL);
}

TEST(WorkerThreadTest, TheEndSignalOutlivesTheCallersHandle) {
    ThreadProbe probe;
    UniqueHandle release(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    probe.release = release.get();
    HANDLE ended = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE watch = nullptr;
    ::DuplicateHandle(::GetCurrentProcess(), ended, ::GetCurrentProcess(), &watch, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    UniqueHandle watched(watch);

    WorkerThread* thread = WorkerThread::Begin(&ProbeProc, &probe, THREAD_PRIORITY_NORMAL, 0,
                                               CREATE_SUSPENDED, ended);
    ASSERT_NE(thread, nullptr);
    thread->Resume();
    ::CloseHandle(ended);  // the job may close its own handle while the worker runs
    ::SetEvent(release.get());
    EXPECT_EQ(::WaitForSingleObject(watched.get(), 5000), WAIT_OBJECT_0);
}

}  // namespace
}  // namespace veltrane
