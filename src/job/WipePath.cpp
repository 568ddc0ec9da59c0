#include "job/WipePath.h"

#ifdef _WIN32
#include <windows.h>
#endif

#include <exception>

#include "job/JobLock.h"
#include "wipe/Paths.h"
#include "wipe/ShredderFile.h"

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
        if (!search.Valid()) return result;  // neither walked nor removed
        do {
            if (IsDotEntry(name)) continue;
            // p is this frame's own copy: entries join to this folder even though the
            // record's path changes below it.
            LockedSet(job.path, JoinPath(p, name));
            result = WipePath(job);
            if (result != kWalkFinished) break;
        } while (search.Next(name));
    }
    if (result == kWalkFinished && !fs.RemoveFolder(bare)) {
        ReportFailedRemoval(job, fs, " deleting ", bare);
    }
    return result;
}

}  // namespace

std::int32_t WipePath(WipeJob& job) {
    FileSystem& fs = job.fileSystem ? *job.fileSystem : PlatformFileSystem();
    const std::string p = LockedGet(job.path);
    const std::string bare = StripSeparator(p);
    const std::uint32_t attributes = fs.Attributes(bare);

    std::int32_t result = kWalkFinished;
    if (!(attributes & kAttrDirectory)) {
        if (attributes & kAttrReparsePoint) {
            // A link to a file: overwriting through it would wipe its target, which may
            // lie outside the selection. Remove the link alone.
            if (!fs.Remove(bare)) ReportFailedRemoval(job, fs, " deleting RP ", bare);
        } else {
            ShredderFile file(bare, fs);
            file.cancelFlag = &job.cancel;
            file.progress = &job.progress;
            file.Wipe(job.method);  // a file that stays keeps its folders too
        }
    } else if (attributes & kAttrReparsePoint) {
        // A junction or a link to a folder (or attributes that could not be read, which
        // read as all bits set): the link is removed, its target never entered.
        if (!fs.RemoveFolder(bare)) ReportFailedRemoval(job, fs, " deleting RP ", bare);
    } else {
        result = WipeFolder(job, fs, p, bare);
    }

    if (LockedGet(job.cancel) == 1) result = kWalkCancelled;
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
    ::OutputDebugStringA((line + "\n").c_str());
#else
    (void)line;
#endif
}

}  // namespace veltrane
