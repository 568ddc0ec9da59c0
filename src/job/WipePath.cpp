#include "job/WipePath.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <exception>
#include <utility>
#include <vector>

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

// An open enumeration of a folder, closed on every way out. Movable, so that the walk can
// keep one per open folder in a growing stack.
class FolderSearch {
public:
    FolderSearch(FileSystem& fs, const std::string& pattern, std::string& name)
        : m_fs(&fs), m_handle(fs.FindFirst(pattern, name)) {}
    ~FolderSearch() { Close(); }
    FolderSearch(FolderSearch&& other) noexcept
        : m_fs(other.m_fs), m_handle(other.m_handle) {
        other.m_handle = FileSystem::kInvalidFind;
    }
    FolderSearch& operator=(FolderSearch&& other) noexcept {
        if (this != &other) {
            Close();
            m_fs = other.m_fs;
            m_handle = other.m_handle;
            other.m_handle = FileSystem::kInvalidFind;
        }
        return *this;
    }
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    bool Valid() const { return m_handle != FileSystem::kInvalidFind; }
    bool Next(std::string& name) { return m_fs->FindNext(m_handle, name); }
    // A folder whose listing is open cannot be removed on Windows.
    void Close() noexcept {
        if (m_handle != FileSystem::kInvalidFind) m_fs->FindEnd(m_handle);
        m_handle = FileSystem::kInvalidFind;
    }

private:
    FileSystem* m_fs;
    FileSystem::FindHandle m_handle;
};

// One item's walk. Folders are entered through an explicit stack of open listings, so its
// memory grows with the depth of the tree, never the thread's stack: a path of 32,767
// characters can hold some 16,000 levels.
class Walk {
public:
    Walk(WipeJob& job, FileSystem& fs) : m_job(job), m_fs(fs) {}

    std::int32_t Run(const std::string& top) {
        // Nothing is touched once a cancel request is seen: it is checked before each
        // entry, file, link or folder alike, and before each folder's removal.
        if (Cancelled(m_job)) return kWalkCancelled;
        Visit(top);
        while (!m_stack.empty()) {
            if (Cancelled(m_job)) {
                m_stack.clear();  // closes every listing; no folder above is removed
                return kWalkCancelled;
            }
            std::string name;
            if (!m_stack.back().NextName(name)) {
                const std::uint32_t error = m_fs.LastError();
                Frame done = std::move(m_stack.back());
                m_stack.pop_back();
                done.search.Close();
                Leave(done, error);
                continue;
            }
            Frame& frame = m_stack.back();
            if (IsDotEntry(name)) continue;
            if (!IsPlainEntryName(name)) {
                // Joined, such a name would address something else, possibly outside
                // this folder: it is left, and so is the folder.
                const bool exact = name.find(kUnreadableNameMark) == std::string::npos;
                RecordRefusal(m_job, JoinPath(frame.path, name),
                              exact ? WipeProblem::NameLeavesFolder : WipeProblem::NameNotExact);
                continue;
            }
            // Joined to the frame's own copy of its folder's path: the record's path
            // changes below it.
            const std::string child = JoinPath(frame.path, name);
            LockedSet(m_job.path, child);
            Visit(child);
        }
        return Cancelled(m_job) ? kWalkCancelled : kWalkFinished;
    }

private:
    // An open folder: the path its entries join to, the name it is removed by, its listing
    // and the first name, which came with the listing's opening.
    struct Frame {
        std::string path;
        std::string bare;
        std::string first;
        bool firstTaken = false;
        FolderSearch search;

        bool NextName(std::string& name) {
            if (!firstTaken) {
                firstTaken = true;
                name = first;
                return true;
            }
            return search.Next(name);
        }
    };

    // Everything but a folder's entries: refusals, links, files; a folder is opened and
    // pushed, to be listed by Run.
    void Visit(const std::string& p) {
        if (const std::optional<WipeProblem> refusal = WholePathRefusal(p)) {
            RecordRefusal(m_job, p, *refusal);
            return;
        }
        const std::string bare = StripSeparator(p);
        const std::uint32_t attributes = m_fs.Attributes(bare);
        if (attributes == kInvalidAttributes) {
            // Not even its attributes could be read. Removing it anyway could delete a
            // file that was never overwritten and count it as wiped.
            Record(m_job, bare, WipeProblem::NotFound, m_fs.LastError());
            ReportToDebugger(m_job, "Not wiped: " + DescribeFailure(m_job.failures.back()));
        } else if ((attributes & kAttrReparsePoint) && IsWalkLink(m_fs, bare)) {
            // A link is removed itself: overwriting or entering through it would reach
            // its target, which may lie outside the selection.
            const bool folder = (attributes & kAttrDirectory) != 0;
            if (!(folder ? m_fs.RemoveFolder(bare) : m_fs.Remove(bare))) {
                const std::uint32_t error = m_fs.LastError();
                ReportFailedRemoval(m_job, m_fs, " deleting RP ", bare);
                Record(m_job, bare, WipeProblem::LinkNotRemoved, error);
            }
        } else if (!(attributes & kAttrDirectory)) {
            WipeFile(bare, attributes);
        } else {
            // A folder, or a filter's reparse point on one (cloud, deduplication): its
            // entries are its own.
            Enter(p, bare);
        }
    }

    void WipeFile(const std::string& bare, std::uint32_t attributes) {
        if (attributes & (kAttrOffline | kAttrRecallOnDataAccess)) {
            // Opening would download the data; the copy elsewhere stays out of reach.
            RecordRefusal(m_job, bare, WipeProblem::NotLocal);
            return;
        }
        ShredderFile file(bare, m_fs);
        file.cancelFlag = &m_job.cancel;
        file.progress = &m_job.progress;
        file.currentPass = &m_job.pass;
        file.passPercent = &m_job.passPercent;
        const bool wiped = file.Wipe(m_job.method);
        if (wiped) {
            if (file.NameKept()) {
                Record(m_job, bare, WipeProblem::WipedUnderOwnName, file.RenameError());
            }
            return;
        }
        // A file that stays keeps its folders too. One that a cancel stopped is listed as
        // soon as anything of it changed: under a random name nobody would find it again,
        // and under its own it is partly overwritten. Only one the cancel left as it was
        // goes unmentioned.
        const bool cancelled = Cancelled(m_job);
        if (cancelled && !file.Touched()) return;
        Record(m_job, bare, cancelled ? WipeProblem::Cancelled : WipeProblem::FileNotWiped,
               cancelled ? 0 : file.FailureCode());
        if (file.CurrentPath() != bare) m_job.failures.back().leftAs = file.CurrentPath();
        m_job.failures.back().passesDone = file.PassesCompleted();
    }

    void Enter(const std::string& p, const std::string& bare) {
        std::string first;
        FolderSearch search(m_fs, JoinPath(p, "*"), first);
        if (!search.Valid()) {
            // Neither walked nor removed.
            Record(m_job, bare, WipeProblem::FolderNotOpened, m_fs.LastError());
            return;
        }
        m_stack.push_back(Frame{p, bare, std::move(first), false, std::move(search)});
    }

    // A folder's listing has ended, its entries done: the folder goes too, unless its
    // listing failed or a cancel request came up.
    void Leave(const Frame& frame, std::uint32_t listingError) {
        if (listingError != kErrorNoMoreFiles) {
            // The entries after the failure were never reached: the folder is kept, with
            // the listing's own reason rather than "not empty".
            Record(m_job, frame.bare, WipeProblem::FolderNotListed, listingError);
            return;
        }
        if (Cancelled(m_job)) return;
        // NTFS lets a folder hold named streams of its own; they go with the folder, so
        // they are overwritten first.
        ShredderFile streams(frame.bare, m_fs);
        streams.cancelFlag = &m_job.cancel;
        if (!streams.WipeStreamsOnly(m_job.method)) {
            if (Cancelled(m_job) && !streams.Touched()) return;
            Record(m_job, frame.bare, WipeProblem::FolderStreamsNotWiped, streams.FailureCode());
            return;
        }
        if (Cancelled(m_job)) return;
        if (!m_fs.RemoveFolder(frame.bare)) {
            const std::uint32_t error = m_fs.LastError();
            ReportFailedRemoval(m_job, m_fs, " deleting ", frame.bare);
            Record(m_job, frame.bare, WipeProblem::FolderNotRemoved, error);
        }
    }

    WipeJob& m_job;
    FileSystem& m_fs;
    std::vector<Frame> m_stack;
};

}  // namespace

std::optional<WipeProblem> WholePathRefusal(const std::string& p) {
    // A name the shell did not deliver: opened as it is, it would mean the current folder
    // of whatever process runs the job.
    if (p.empty()) return WipeProblem::NameMissing;
    if (p.find(kUnreadableNameMark) != std::string::npos) return WipeProblem::NameNotExact;
    if (NamesFolderStream(p)) return WipeProblem::FolderStream;
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
    return Walk(job, fs).Run(LockedGet(job.path));
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
