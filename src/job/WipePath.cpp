#include "job/WipePath.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <exception>
#include <utility>

#include "job/JobLock.h"
#include "wipe/Paths.h"
#include "wipe/ShredderFile.h"
#include "wipe/Unicode.h"

namespace veltrane {

namespace {

bool IsDotEntry(const std::string& name) {
    return name == "." || name == "..";
}

void ReportToDebugger(const WipeJob& job, const std::string& line) {
    if (job.debugSink) {
        job.debugSink(line);
    } else {
        DebugOutput(line);
    }
}

void ReportFailedRemoval(const WipeJob& job, FileSystem& fs, const char* what,
                         const std::string& path) {
    ReportToDebugger(job, "Error " + std::to_string(fs.LastError()) + what + path);
}

// A name the system holds without an exact UTF-8 form, as it may be shown.
std::string Shown(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c != kUnreadableNameMark) out += c;
    }
    return out;
}

void Record(WipeJob& job, const std::string& path, WipeProblem problem, std::uint32_t error) {
    WipeFailure failure;
    failure.path = Shown(path);
    failure.problem = problem;
    failure.error = error;
    job.failures.push_back(std::move(failure));
}

// Record, and tell the debugger: items refused or left untouched on purpose.
void RecordRefusal(WipeJob& job, const std::string& path, WipeProblem problem) {
    Record(job, path, problem, 0);
    ReportToDebugger(job, "Not wiped: " + DescribeFailure(job.failures.back()));
}

bool Cancelled(WipeJob& job) {
    return LockedGet(job.cancel) == 1;
}

// An open enumeration of a folder, closed on every way out.
class FolderSearch {
public:
    FolderSearch(FileSystem& fs, const std::string& pattern, std::string& name)
        : m_fs(fs), m_handle(fs.FindFirst(pattern, name)) {}
    ~FolderSearch() {
        if (m_handle != FileSystem::kInvalidFind) m_fs.FindEnd(m_handle);
    }
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    bool Valid() const { return m_handle != FileSystem::kInvalidFind; }
    bool Next(std::string& name) { return m_fs.FindNext(m_handle, name); }

private:
    FileSystem& m_fs;
    FileSystem::FindHandle m_handle;
};

// A folder: its entries depth-first, then the folder itself unless a cancel came up.
std::int32_t WipeFolder(WipeJob& job, FileSystem& fs, const std::string& p,
                        const std::string& bare) {
    std::int32_t result = kWalkFinished;
    {
        std::string name;
        FolderSearch search(fs, JoinPath(p, "*"), name);
        if (!search.Valid()) {
            // Neither walked nor removed.
            Record(job, bare, WipeProblem::FolderNotOpened, fs.LastError());
            return result;
        }
        do {
            if (IsDotEntry(name)) continue;
            if (!IsPlainEntryName(name)) {
                // Joined, such a name would address something else, possibly outside
                // this folder: it is left, and so is the folder.
                const bool exact = name.find(kUnreadableNameMark) == std::string::npos;
                RecordRefusal(job, JoinPath(p, name),
                              exact ? WipeProblem::NameLeavesFolder : WipeProblem::NameNotExact);
                continue;
            }
            // p is this frame's own copy: entries join to this folder even though the
            // record's path changes below it.
            LockedSet(job.path, JoinPath(p, name));
            result = WipePath(job);
            if (result != kWalkFinished) break;
        } while (search.Next(name));
    }
    if (result == kWalkFinished && !fs.RemoveFolder(bare)) {
        const std::uint32_t error = fs.LastError();
        ReportFailedRemoval(job, fs, " deleting ", bare);
        Record(job, bare, WipeProblem::FolderNotRemoved, error);
    }
    return result;
}

}  // namespace

std::optional<WipeProblem> WholePathRefusal(const std::string& p) {
    // A name the shell did not deliver: opened as it is, it would mean the current folder
    // of whatever process runs the job.
    if (p.empty()) return WipeProblem::NameMissing;
    if (p.find(kUnreadableNameMark) != std::string::npos) return WipeProblem::NameNotExact;
    if (IsVolumeRoot(p)) return WipeProblem::VolumeRoot;
    switch (ClassifyPath(p)) {
        case PathKind::Device:
            return WipeProblem::DevicePath;
        case PathKind::Relative:
        case PathKind::DriveRelative:
            // What it names depends on the current folder, which the user never chose.
            return WipeProblem::NotAbsolute;
        default:
            return std::nullopt;
    }
}

bool IsWalkLink(FileSystem& fs, const std::string& path) {
    std::uint32_t tag = 0;
    if (!fs.ReparseTag(path, tag)) return true;
    return tag == 0 || IsNameSurrogateTag(tag);
}

std::int32_t WipePath(WipeJob& job) {
    FileSystem& fs = job.fileSystem ? *job.fileSystem : PlatformFileSystem();
    const std::string p = LockedGet(job.path);

    if (const std::optional<WipeProblem> refusal = WholePathRefusal(p)) {
        RecordRefusal(job, p, *refusal);
        return Cancelled(job) ? kWalkCancelled : kWalkFinished;
    }

    const std::string bare = StripSeparator(p);
    const std::uint32_t attributes = fs.Attributes(bare);
    const bool readable = attributes != kInvalidAttributes;

    std::int32_t result = kWalkFinished;
    if (!readable) {
        // Not even its attributes could be read. Removing it anyway could delete a file
        // that was never overwritten and count it as wiped.
        Record(job, bare, WipeProblem::NotFound, fs.LastError());
        ReportToDebugger(job, "Not wiped: " + DescribeFailure(job.failures.back()));
    } else if ((attributes & kAttrReparsePoint) && IsWalkLink(fs, bare)) {
        // A link is removed itself: overwriting or entering through it would reach its
        // target, which may lie outside the selection.
        const bool folder = (attributes & kAttrDirectory) != 0;
        if (!(folder ? fs.RemoveFolder(bare) : fs.Remove(bare))) {
            const std::uint32_t error = fs.LastError();
            ReportFailedRemoval(job, fs, " deleting RP ", bare);
            Record(job, bare, WipeProblem::LinkNotRemoved, error);
        }
    } else if (!(attributes & kAttrDirectory)) {
        if (attributes & (kAttrOffline | kAttrRecallOnDataAccess)) {
            // Opening would download the data; the copy elsewhere stays out of reach.
            RecordRefusal(job, bare, WipeProblem::NotLocal);
        } else {
            ShredderFile file(bare, fs);
            file.cancelFlag = &job.cancel;
            file.progress = &job.progress;
            file.currentPass = &job.pass;
            file.passPercent = &job.passPercent;
            // A file that stays keeps its folders too. One that a cancel stopped after its
            // rename is listed as well: under its random name nobody would find it again.
            const bool wiped = file.Wipe(job.method);
            const bool renamed = file.CurrentPath() != bare;
            const bool cancelled = Cancelled(job);
            if (wiped && file.NameKept()) {
                Record(job, bare, WipeProblem::WipedUnderOwnName, file.RenameError());
            } else if (!wiped && (!cancelled || renamed)) {
                Record(job, bare, cancelled ? WipeProblem::Cancelled : WipeProblem::FileNotWiped,
                       cancelled ? 0 : file.FailureCode());
                if (renamed) {
                    job.failures.back().leftAs = file.CurrentPath();
                    job.failures.back().passesDone = file.PassesCompleted();
                }
            }
        }
    } else {
        // A folder, or a filter's reparse point on one (cloud, deduplication): its entries
        // are its own.
        result = WipeFolder(job, fs, p, bare);
    }

    if (Cancelled(job)) result = kWalkCancelled;
    return result;
}

unsigned WipeThreadProc(void* param) {
    WipeJob& job = *static_cast<WipeJob*>(param);
    LockedSet(job.done, false);
    LockedSet(job.result, 0);
    std::int32_t result = kWalkFinished;
    try {
        result = WipePath(job);
    } catch (const std::exception& e) {
        // Out of memory for a path: this item ends here, the job goes on. The worker
        // touches no window, so the line goes to the debugger.
        try {
            ReportToDebugger(job, std::string("Walk stopped: ") + e.what());
        } catch (...) {
        }
        if (LockedGet(job.cancel) == 1) result = kWalkCancelled;
    } catch (...) {
        if (LockedGet(job.cancel) == 1) result = kWalkCancelled;
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
