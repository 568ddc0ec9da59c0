#pragma once
// The progress dialog as a job's view (JobProgressView), for the file job and the
// free-space job alike.

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>

#include "framework/ExceptionReport.h"
#include "framework/WinApp.h"
#include "job/CCancelDlg.h"
#include "job/JobDriver.h"
#include "job/JobLock.h"

namespace veltrane {

// The progress dialog behind the job's view. Its window appears only once the job has
// lasted `delayMs` (checked at every poll): a window that flashes up for a few
// milliseconds tells nothing, and making, showing, hiding and destroying it costs most of
// a small command's time. Until then the view keeps what the window would show, and the
// window comes up showing it. The dialog deletes itself when its window goes, which may
// happen during the job (its owner window is destroyed while we pump): every use first
// checks that the window still belongs to the same object.
class CancelDialogView final : public JobProgressView {
public:
    CancelDialogView(CCancelDlg* dialog, HWND owner, DWORD delayMs) noexcept
        : m_waiting(dialog), m_owner(owner), m_delayMs(delayMs), m_start(::GetTickCount()) {
        AppearWhenDue();
    }
    ~CancelDialogView() override { Close(); }
    CancelDialogView(const CancelDialogView&) = delete;
    CancelDialogView& operator=(const CancelDialogView&) = delete;

    CCancelDlg* Live() noexcept {
        if (m_dialog && CDialog::FromHandle(m_window) != m_dialog) m_dialog = nullptr;
        return m_dialog;
    }

    void SetItemCount(std::int32_t count) override {
        m_count = count;
        m_steps = 0;
        if (CCancelDlg* dialog = Live()) dialog->SetItemCount(count);
    }
    void GrowItemCount(std::int32_t count) override {
        m_count = count;
        if (CCancelDlg* dialog = Live()) dialog->SetItemRange(count);
    }
    void StepItem() override {
        ++m_steps;
        if (CCancelDlg* dialog = Live()) dialog->StepItem();
    }
    void SetStatusText(std::string text) override {
        m_status = text;
        if (CCancelDlg* dialog = Live()) dialog->SetStatusText(std::move(text));
    }
    void SetPathText(std::string text) override {
        m_path = text;
        if (CCancelDlg* dialog = Live()) dialog->SetPathText(std::move(text));
    }
    void SetFileProgress(std::int32_t percent) noexcept override {
        m_progress = percent;
        if (CCancelDlg* dialog = Live()) dialog->SetFileProgress(percent);
    }
    std::int32_t CancelRequest() noexcept override {
        AppearWhenDue();
        // A request made before the window went away still counts.
        if (CCancelDlg* dialog = Live()) m_cancel = LockedGet(dialog->m_bCancel);
        return m_cancel;
    }
    void ClearCancelRequest() noexcept override {
        m_cancel = 0;
        if (CCancelDlg* dialog = Live()) dialog->ClearCancel();
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

    // End of the job: hide and destroy the window; the object deletes itself. One whose
    // window never came is deleted here.
    void Close() noexcept {
        delete std::exchange(m_waiting, nullptr);
        if (CCancelDlg* dialog = Live()) {
            dialog->ShowWindow(SW_HIDE);
            dialog->DestroyWindow();
        }
        m_dialog = nullptr;
    }

private:
    void AppearWhenDue() noexcept {
        if (!m_waiting || ::GetTickCount() - m_start < m_delayMs) return;
        // A dialog whose window cannot be made has freed itself; the job runs all the
        // same, its texts and bars going nowhere.
        CCancelDlg* dialog = std::exchange(m_waiting, nullptr);
        if (!dialog->Create(m_owner)) return;
        m_dialog = dialog;
        m_window = dialog->GetSafeHwnd();
        GuardFrameworkCall([this, dialog] {
            dialog->SetItemCount(m_count);
            for (std::int32_t i = 0; i < m_steps; ++i) dialog->StepItem();
            dialog->SetStatusText(m_status);
            dialog->SetPathText(m_path);
            dialog->SetFileProgress(m_progress);
        });
        if (::IsWindow(m_window)) dialog->ShowWindow(SW_SHOW);
    }

    CCancelDlg* m_waiting;  // allocated, its window not made yet
    CCancelDlg* m_dialog = nullptr;
    HWND m_window = nullptr;
    HWND m_owner;
    DWORD m_delayMs;
    DWORD m_start;
    // What the window shows, for when it appears.
    std::int32_t m_count = 0;
    std::int32_t m_steps = 0;
    std::string m_status;
    std::string m_path;
    std::int32_t m_progress = 0;
    std::int32_t m_cancel = 0;
};

}  // namespace veltrane
