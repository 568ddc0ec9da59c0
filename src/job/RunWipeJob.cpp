#include "job/RunWipeJob.h"

#include <algorithm>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "framework/ExceptionReport.h"
#include "framework/Handles.h"
#include "framework/MessagePump.h"
#include "framework/ModuleActivity.h"
#include "framework/ModuleStateScope.h"
#include "framework/WinApp.h"
#include "framework/WorkerThread.h"
#include "job/CCancelDlg.h"
#include "job/CancelDialogView.h"
#include "job/CReportDlg.h"
#include "job/PendingStore.h"
#include "job/ReportText.h"
#include "job/JobLock.h"
#include "job/ThreadWorkerHost.h"
#include "job/WipePath.h"

namespace veltrane {

void PostEnable(HWND owner, BOOL enable) noexcept {
    // A null owner would make this a message to the thread itself, which nobody reads.
    if (owner) ::PostMessageA(owner, WM_ENABLE, static_cast<WPARAM>(enable), 0);
}

void ShowJobReport(HWND owner, const WipeFailures& failures, const JobEnd& end,
                   const PendingPlace& pending) {
    // Files another program held open can be finished at the next sign-in.
    std::map<std::uint32_t, std::vector<std::string>> held;
    for (const WipeFailure& failure : failures) {
        if (HeldByAnotherProgram(failure) && failure.method != 0) {
            held[failure.method].push_back(failure.path);
        }
    }
    std::function<bool()> later;
    if (!held.empty()) {
        later = [held, pending] {
            bool queued = true;
            for (const auto& [method, paths] : held) {
                WipeFailures refused;
                queued = QueueForNextSignIn(paths, method, refused, pending) && queued &&
                         refused.empty();
            }
            return queued;
        };
    }
    // The rows once: each asks the system for its error's message.
    std::vector<ReportRow> rows = ReportRows(failures);
    std::wstring copyText = ReportLines(rows);
    CReportDlg report(owner, ReportSummary(FailureCount(failures), end.cancelled, end.untouched),
                      std::move(rows), std::move(copyText), std::move(later));
    report.DoModal();
}

namespace {

class ActiveJob;

// The job running on this thread, if any. The shell runs its menus on the thread that
// pumps the job's messages, so a further command reaches us from inside that pump.
thread_local ActiveJob* t_activeJob = nullptr;

// One job on the shell's thread: its dialog, its workers, its driver, and a timer that
// keeps it going while a message loop nested in its pump (About, a menu) holds the
// wait loop up. While it exists the module counts as busy.
class ActiveJob {
public:
    ActiveJob(CCancelDlg* dialog, HWND owner, const JobSettings& settings)
        : m_walk(WithFailures(settings.walk, m_failures)),
          m_report(settings.report),
          m_pending(settings.pending),
          m_view(dialog, owner, settings.dialogDelayMs),
          m_host(settings.waitBetweenPolls),
          m_driver(m_view, m_host, m_walk),
          m_owner(owner) {}
    ~ActiveJob() { End(); }
    ActiveJob(const ActiveJob&) = delete;
    ActiveJob& operator=(const ActiveJob&) = delete;

    void Run(const std::vector<std::string>& selection, UINT method) {
        m_driver.Append(selection, method);
        t_activeJob = this;
        // Without the timer the job still runs; it only waits out nested loops.
        m_timer = ::SetTimer(nullptr, 0, kPollIntervalMs, &ActiveJob::OnPollTimer);
        m_driver.Run();
    }

    // A further command from this thread while the job runs.
    void Join(HWND owner, UINT method, const std::vector<std::string>& selection) {
        if (owner && owner != m_owner &&
            std::find(m_owners.begin(), m_owners.end(), owner) == m_owners.end()) {
            m_owners.push_back(owner);
            PostEnable(owner, FALSE);
        }
        m_driver.Append(selection, method);
    }

    // Once, when the driver has finished: the dialog goes and the owners hear of it.
    void End() noexcept {
        if (m_ended) return;
        m_ended = true;
        if (t_activeJob == this) t_activeJob = nullptr;
        if (m_timer) ::KillTimer(nullptr, m_timer);
        m_view.Close();
        // What could not be done, once, after the dialog has gone and before the owners
        // are told the job has ended.
        if (!m_walk.failures->empty() || m_driver.Untouched() != 0) {
            GuardFrameworkCall([this] {
                const JobEnd end{m_driver.Cancelled(), m_driver.Untouched()};
                if (m_report) {
                    m_report(m_owner, *m_walk.failures, end);
                } else {
                    ShowJobReport(m_owner, *m_walk.failures, end, m_pending);
                }
            });
        }
        PostEnable(m_owner, TRUE);
        for (HWND owner : m_owners) PostEnable(owner, TRUE);
    }

private:
    static void CALLBACK OnPollTimer(HWND, UINT, UINT_PTR timer, DWORD) {
        ActiveJob* job = t_activeJob;
        if (!job || job->m_timer != timer) return;
        // Dispatched by the job's own pump: the wait loop polls anyway.
        const MSG* pumped = MessageBeingDispatched();
        if (pumped && pumped->message == WM_TIMER && !pumped->hwnd && pumped->wParam == timer) {
            return;
        }
        ModuleStateScope scope;
        GuardFrameworkCall([job] { job->m_driver.PollNested(); });
        if (job->m_driver.Finished()) job->End();
    }

    // The caller's walk settings, with a place for the failures if it gave none.
    static WalkSettings WithFailures(WalkSettings walk, WipeFailures& own) {
        if (!walk.failures) walk.failures = &own;
        return walk;
    }

    WipeFailures m_failures;
    WalkSettings m_walk;
    JobReport m_report;
    PendingPlace m_pending;
    CancelDialogView m_view;
    ThreadWorkerHost m_host;
    JobDriver m_driver;
    HWND m_owner;
    std::vector<HWND> m_owners;  // owners of the commands that joined, m_owner aside
    UINT_PTR m_timer = 0;
    bool m_ended = false;
    ModuleActivity m_activity;
};

}  // namespace

bool WipeJobRunning() noexcept {
    return t_activeJob != nullptr;
}

HRESULT RunWipeJob(HWND owner, UINT method, const std::vector<std::string>& selection,
                   const JobSettings& settings) noexcept {
    if (ActiveJob* running = t_activeJob) {
        // From inside the running job's pump: its items join that job, and the command
        // returns at once instead of running a second job inside the first one's wait.
        GuardFrameworkCall([&] { running->Join(owner, method, selection); });
        return S_OK;
    }

    PostEnable(owner, FALSE);

    CCancelDlg* dialog = CCancelDlg::New();
    if (!dialog) return S_OK;
    // Copying the caller's settings may run out of memory: then the job does not start.
    std::unique_ptr<ActiveJob> job;
    if (!GuardFrameworkCall([&] { job = std::make_unique<ActiveJob>(dialog, owner, settings); })) {
        delete dialog;  // its window is made only once the job runs
        PostEnable(owner, TRUE);
        return S_OK;
    }
    GuardFrameworkCall([&] { job->Run(selection, method); });
    job->End();
    job.reset();
    RepostQuitMessage();
    return S_OK;
}

}  // namespace veltrane
