#include "job/WipePath.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <exception>
#include <utility>

#include "job/JobLock.h"
#include "wipe/ShredderFile.h"
#include "wipe/Unicode.h"

namespace veltrane {

namespace {

void ReportToDebugger(const WipeJob& job, const std::string& line) {
    if (job.debugSink) {
        job.debugSink(line);
    } else {
        DebugOutput(line);
    }
}

bool Cancelled(WipeJob& job) {
    return LockedGet(job.cancel) == 1;
}

// The wipe's side of the walk: each file through the engine, links and folders removed,
// and what stays in the job's record.
class WipeActions : public WalkActions {
public:
    WipeActions(WipeJob& job, FileSystem& fs) : m_job(job), m_fs(fs) {}

    bool Cancelled() override { return veltrane::Cancelled(m_job); }

    void Reached(const std::string& path) override { LockedSet(m_job.path, path); }

    void Leave(const std::string& path, WipeProblem problem, std::uint32_t error) override {
        Record(path, problem, error);
        // A folder that could not be opened or listed is the system's doing, not a rule's.
        if (problem != WipeProblem::FolderNotOpened && problem != WipeProblem::FolderNotListed) {
            ReportToDebugger(m_job, "Not wiped: " + DescribeFailure(m_job.failures.back()));
        }
    }

    bool RemoveLink(const std::string& bare, bool folder) override {
        if (folder ? m_fs.RemoveFolder(bare) : m_fs.Remove(bare)) return true;
        const std::uint32_t error = m_fs.LastError();
        ReportToDebugger(m_job, "Error " + std::to_string(error) + " deleting RP " + bare);
        Record(bare, WipeProblem::LinkNotRemoved, error);
        return false;
    }

    bool WipeFile(const std::string& bare) override {
        ShredderFile file(bare, m_fs);
        file.cancelFlag = &m_job.cancel;
        file.progress = &m_job.progress;
        file.currentPass = &m_job.pass;
        file.passPercent = &m_job.passPercent;
        if (file.Wipe(m_job.method)) {
            if (file.NameKept()) Record(bare, WipeProblem::WipedUnderOwnName, file.RenameError());
            return true;
        }
        // A file that stays keeps its folders too. One that a cancel stopped is listed as
        // soon as anything of it changed: under a random name nobody would find it again,
        // and under its own it is partly overwritten. Only one the cancel left as it was
        // goes unmentioned.
        const bool cancelled = Cancelled();
        if (cancelled && !file.Touched()) return false;
        Record(bare, cancelled ? WipeProblem::Cancelled : WipeProblem::FileNotWiped,
               cancelled ? 0 : file.FailureCode());
        if (file.CurrentPath() != bare) m_job.failures.back().leftAs = file.CurrentPath();
        m_job.failures.back().passesDone = file.PassesCompleted();
        return false;
    }

    bool EndFolder(const std::string& bare, bool) override {
        // NTFS lets a folder hold named streams of its own; they go with the folder, so
        // they are overwritten first.
        ShredderFile streams(bare, m_fs);
        streams.cancelFlag = &m_job.cancel;
        if (!streams.WipeStreamsOnly(m_job.method)) {
            if (Cancelled() && !streams.Touched()) return false;
            Record(bare, WipeProblem::FolderStreamsNotWiped, streams.FailureCode());
            return false;
        }
        if (Cancelled()) return false;
        // Tried even when something below stayed: the system says best whether it can go.
        if (m_fs.RemoveFolder(bare)) return true;
        const std::uint32_t error = m_fs.LastError();
        ReportToDebugger(m_job, "Error " + std::to_string(error) + " deleting " + bare);
        Record(bare, WipeProblem::FolderNotRemoved, error);
        return false;
    }

private:
    void Record(const std::string& path, WipeProblem problem, std::uint32_t error) {
        WipeFailure failure;
        failure.path = path;
        failure.problem = problem;
        failure.error = error;
        failure.method = m_job.method;
        m_job.failures.push_back(std::move(failure));
    }

    WipeJob& m_job;
    FileSystem& m_fs;
};

}  // namespace

std::int32_t WipePath(WipeJob& job) {
    FileSystem& fs = job.fileSystem ? *job.fileSystem : PlatformFileSystem();
    WipeActions actions(job, fs);
    return RunFolderWalk(fs, LockedGet(job.path), actions) ? kWalkFinished : kWalkCancelled;
}

std::int32_t WipeFreeSpace(WipeJob& job) {
    FreeSpaceWipe wipe(job.path, job.fileSystem ? *job.fileSystem : PlatformFileSystem());
    wipe.cancelFlag = &job.cancel;
    wipe.currentPass = &job.pass;
    wipe.passPercent = &job.progress;
    wipe.passBytes = &job.bytes;
    wipe.passTotal = &job.totalBytes;
    wipe.stage = &job.stage;
    job.freeSpaceResult = wipe.Run(job.method);
    return job.freeSpaceResult.cancelled ? kWalkCancelled : kWalkFinished;
}

unsigned WipeThreadProc(void* param) {
    WipeJob& job = *static_cast<WipeJob*>(param);
    LockedSet(job.done, false);
    LockedSet(job.result, 0);
    std::int32_t result = kWalkFinished;
    try {
        result = job.freeSpace ? WipeFreeSpace(job) : WipePath(job);
    } catch (const std::exception& e) {
        // Out of memory for a path: this item ends here, the job goes on. The worker
        // touches no window, so the line goes to the debugger.
        try {
            ReportToDebugger(job, std::string("Walk stopped: ") + e.what());
        } catch (...) {
        }
        if (Cancelled(job)) result = kWalkCancelled;
    } catch (...) {
        if (Cancelled(job)) result = kWalkCancelled;
    }
    LockedSet(job.result, result);
    LockedSet(job.done, true);  // last access to the record
    return 0;
}

void DebugOutput(const std::string& line) {
#ifdef _WIN32
    std::u16string wide;
    if (Utf8ToUtf16(line + "\n", wide)) {
        ::OutputDebugStringW(std::wstring(wide.begin(), wide.end()).c_str());
    } else {
        ::OutputDebugStringA((line + "\n").c_str());
    }
#else
    (void)line;
#endif
}

}  // namespace veltrane
