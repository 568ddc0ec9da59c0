#include "job/RunFreeSpaceJob.h"

#include <exception>
#include <string>
#include <vector>

#include "framework/ExceptionReport.h"
#include "framework/MessagePump.h"
#include "framework/ModuleActivity.h"
#include "framework/WinApp.h"
#include "framework/WideText.h"
#include "job/CCancelDlg.h"
#include "job/CancelDialogView.h"
#include "job/FreeSpaceReport.h"
#include "job/JobLock.h"
#include "job/ThreadWorkerHost.h"
#include "job/WipeJob.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

std::wstring Caption() {
    const CWinApp* app = CurrentApp();
    return WideForDisplay(app ? app->AppName() : std::string("Veltrane"));
}

void ShowReport(HWND owner, const std::vector<std::string>& lines, bool allWiped) {
    std::wstring text;
    for (const std::string& line : lines) text += WideForDisplay(line) + L"\n\n";
    ::MessageBoxW(owner, text.c_str(), Caption().c_str(),
                  MB_OK | (allWiped ? MB_ICONINFORMATION : MB_ICONWARNING));
}

// What the dialog shows of the running worker, sent only when it changed.
class FreeSpaceProgress {
public:
    FreeSpaceProgress(CancelDialogView& view, const std::string& volume, std::int32_t passes)
        : m_view(view), m_volume(volume) {
        m_view.SetItemCount(passes);
        m_view.SetStatusText(FreeSpaceStageText(FreeSpaceStage::Starting));
        m_view.SetPathText(volume);
    }

    void Show(const WipeJob& job) {
        const auto stage = static_cast<FreeSpaceStage>(job.stage.load());
        if (stage != m_stage) {
            m_stage = stage;
            m_view.SetStatusText(FreeSpaceStageText(stage));
        }
        // The items bar counts the passes done.
        for (const std::int32_t pass = job.pass.load(); m_stepped + 1 < pass; ++m_stepped) {
            m_view.StepItem();
        }
        if (stage == FreeSpaceStage::Filling) {
            std::string amount =
                FreeSpaceAmountText(m_volume, job.bytes.load(), job.totalBytes.load());
            if (amount != m_amount) {
                m_amount = amount;
                m_view.SetPathText(std::move(amount));
            }
        }
        const std::int32_t percent = job.progress.load();
        if (percent != m_percent) {
            m_percent = percent;
            m_view.SetFileProgress(percent);
        }
    }

private:
    CancelDialogView& m_view;
    std::string m_volume;
    FreeSpaceStage m_stage = FreeSpaceStage::Starting;
    std::int32_t m_stepped = 0;
    std::int32_t m_percent = -1;
    std::string m_amount;
};

void RunJob(HWND owner, UINT method, const std::string& volume, const JobSettings& settings,
            CCancelDlg* dialog) {
    CancelDialogView view(dialog, owner, settings.dialogDelayMs);
    ThreadWorkerHost host(settings.waitBetweenPolls);
    ModuleActivity activity;
    WipeJob job;
    job.path = volume;
    job.method = method;
    job.fileSystem = settings.walk.fileSystem;
    job.freeSpace = true;
    FreeSpaceProgress progress(view, volume, PassCount(method));
    if (!host.StartWorker(job)) {
        view.Close();
        ShowReport(owner,
                   {"The free-space wipe could not be started: the system has no thread for it."},
                   false);
        return;
    }
    // The worker holds the record until `done`: nothing here may end the loop before.
    while (!LockedGet(job.done)) {
        if (view.CancelRequest() == 1) job.cancel.store(1);
        GuardFrameworkCall([&] { progress.Show(job); });
        host.PumpPendingMessages();
        if (LockedGet(job.done)) break;
        host.WaitBetweenPolls();
    }
    view.Close();
    const FreeSpaceResult& result = job.freeSpaceResult;
    GuardFrameworkCall([&] {
        const std::vector<std::string> lines =
            FreeSpaceReportLines(volume, MethodInfo(method).description, result);
        if (settings.freeSpaceReport) {
            settings.freeSpaceReport(owner, lines, FreeSpaceAllWiped(result));
        } else {
            ShowReport(owner, lines, FreeSpaceAllWiped(result) || result.cancelled);
        }
    });
}

}  // namespace

HRESULT RunFreeSpaceJob(HWND owner, UINT method, const std::string& volume,
                        const JobSettings& settings) noexcept {
    if (WipeJobRunning()) {
        GuardFrameworkCall([&] {
            ShowReport(owner,
                       {"Veltrane is wiping files now. Start the free-space wipe once that has "
                        "ended."},
                       false);
        });
        return S_OK;
    }
    CCancelDlg* dialog = CCancelDlg::New();
    if (!dialog) return S_OK;
    PostEnable(owner, FALSE);
    // The view owns the dialog from here; a failure to make a text only loses the text.
    GuardFrameworkCall([&] { RunJob(owner, method, volume, settings, dialog); });
    PostEnable(owner, TRUE);
    RepostQuitMessage();
    return S_OK;
}

}  // namespace veltrane
