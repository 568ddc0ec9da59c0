#include "job/RunWipeJob.h"

#include <exception>
#include <string>
#include <utility>

#include "framework/ExceptionReport.h"
#include "framework/Handles.h"
#include "framework/MessagePump.h"
#include "framework/WinApp.h"
#include "framework/WorkerThread.h"
#include "job/CCancelDlg.h"
#include "job/CReportDlg.h"
#include "job/ReportText.h"
#include "job/JobLock.h"
#include "job/WipePath.h"

namespace veltrane {

namespace {

// The progress dialog behind the job's view. The dialog deletes itself when its window
// goes, which may happen during the job (its owner window is destroyed while we pump):
// every use first checks that the window still belongs to the same object.
class CancelDialogView final : public JobProgressView {
public:
    CancelDialogView(CCancelDlg* dialog, HWND owner) noexcept
        : m_dialog(dialog), m_window(dialog ? dialog->GetSafeHwnd() : nullptr), m_owner(owner) {}

    CCancelDlg* Live() noexcept {
        if (m_dialog && CDialog::FromHandle(m_window) != m_dialog) m_dialog = nullptr;
        return m_dialog;
    }

    void SetItemCount(std::int32_t count) override {
        if (CCancelDlg* dialog = Live()) dialog->SetItemCount(count);
    }
    void StepItem() override {
        if (CCancelDlg* dialog = Live()) dialog->StepItem();
    }
    void SetStatusText(std::string text) override {
        if (CCancelDlg* dialog = Live()) dialog->SetStatusText(std::move(text));
    }
    void SetPathText(std::string text) override {
        if (CCancelDlg* dialog = Live()) dialog->SetPathText(std::move(text));
    }
    void SetFileProgress(std::int32_t percent) noexcept override {
        if (CCancelDlg* dialog = Live()) dialog->SetFileProgress(percent);
    }
    std::int32_t CancelRequest() noexcept override {
        // A request made before the window went away still counts.
        if (CCancelDlg* dialog = Live()) m_cancel = LockedGet(dialog->m_bCancel);
        return m_cancel;
    }
    bool ContinueAfterResult(std::int32_t result) override {
        CCancelDlg* dialog = Live();
        if (dialog) dialog->ShowWindow(SW_HIDE);
        char text[64];
        wsprintfA(text, "Veltrane\nQ7 Error : %d", static_cast<int>(result));
        const CWinApp* app = CurrentApp();
        const std::string caption = app ? app->AppName() : std::string("Veltrane");
        if (::MessageBoxA(m_owner, text, caption.c_str(), MB_OKCANCEL) != IDOK) return false;
        if ((dialog = Live())) dialog->ShowWindow(SW_SHOW);
        return true;
    }

    // End of the job: hide and destroy the window; the object deletes itself.
    void Close() noexcept {
        if (CCancelDlg* dialog = Live()) {
            dialog->ShowWindow(SW_HIDE);
            dialog->DestroyWindow();
        }
        m_dialog = nullptr;
    }

private:
    CCancelDlg* m_dialog;
    HWND m_window;
    HWND m_owner;
    std::int32_t m_cancel = 0;
};

// One worker thread per item through the framework's thread object. The worker sets an
// event as it ends, which the wait between polls watches together with the input queue,
// so neither a worker's end nor a key press waits for a timeout.
class ThreadWorkerHost final : public JobWorkerHost {
public:
    explicit ThreadWorkerHost(bool waitBetweenPolls) noexcept : m_wait(waitBetweenPolls) {}

    bool StartWorker(WipeJob& job) override {
        // Without an event the wait falls back to its timeout.
        m_workerEnded.reset(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
        WorkerThread* thread = WorkerThread::Begin(&WipeThreadProc, &job, THREAD_PRIORITY_NORMAL, 0,
                                                   CREATE_SUSPENDED, m_workerEnded.get());
        if (!thread) return false;
        return thread->Resume() != static_cast<DWORD>(-1);
    }

    void PumpPendingMessages() noexcept override {
        // The pump dispatches to windows; nothing they raise may end the wait while the
        // worker still uses the job's storage.
        try {
            veltrane::PumpPendingMessages();
        } catch (...) {
        }
    }

    void WaitBetweenPolls() noexcept override {
        if (!m_wait) return;
        HANDLE ended = m_workerEnded.get();
        ::MsgWaitForMultipleObjectsEx(ended ? 1 : 0, ended ? &ended : nullptr, kPollIntervalMs,
                                      QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    }

private:
    bool m_wait;
    UniqueHandle m_workerEnded;
};

}  // namespace

void ShowJobReport(HWND owner, const WipeFailures& failures) {
    CReportDlg report(owner, ReportSummary(failures.size()), ReportLines(failures));
    report.DoModal();
}

namespace {

void PostEnable(HWND owner, BOOL enable) noexcept {
    // A null owner would make this a message to the thread itself, which nobody reads.
    if (owner) ::PostMessageA(owner, WM_ENABLE, static_cast<WPARAM>(enable), 0);
}

}  // namespace

HRESULT RunWipeJob(HWND owner, UINT method, const std::vector<std::string>& selection,
                   const JobSettings& settings) noexcept {
    PostEnable(owner, FALSE);

    CCancelDlg* dialog = nullptr;
    try {
        dialog = new CCancelDlg;
    } catch (const std::exception& e) {
        ReportFrameworkException(e);
        return S_OK;
    }
    // A dialog whose window cannot be made has already freed itself; the job runs all
    // the same, its texts and bars going nowhere.
    if (dialog->Create(owner)) {
        if (::IsWindow(dialog->GetSafeHwnd())) dialog->ShowWindow(SW_SHOW);
    } else {
        dialog = nullptr;
    }

    CancelDialogView view(dialog, owner);
    ThreadWorkerHost host(settings.waitBetweenPolls);
    WipeFailures failures;
    WalkSettings walk = settings.walk;
    if (!walk.failures) walk.failures = &failures;
    GuardFrameworkCall([&] { RunJobItems(selection, method, view, host, walk); });

    view.Close();
    if (!walk.failures->empty()) {
        GuardFrameworkCall([&] {
            if (settings.report) {
                settings.report(owner, *walk.failures);
            } else {
                ShowJobReport(owner, *walk.failures);
            }
        });
    }
    PostEnable(owner, TRUE);
    RepostQuitMessage();
    return S_OK;
}

}  // namespace veltrane
