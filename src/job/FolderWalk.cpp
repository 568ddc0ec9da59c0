#include "job/FolderWalk.h"

#include <utility>

#include "wipe/FolderSearch.h"
#include "wipe/Paths.h"

namespace veltrane {

namespace {

// A name the system holds without an exact UTF-8 form, as it may be shown.
std::string Shown(const std::string& path) {
    std::string out;
    for (char c : path) {
        if (c != kUnreadableNameMark) out += c;
    }
    return out;
}

class Walk {
public:
    Walk(FileSystem& fs, WalkActions& actions) : m_fs(fs), m_actions(actions) {}

    bool Run(const std::string& top) {
        // Nothing is touched once a cancel request is seen: it is checked before each
        // entry, file, link or folder alike, and before each folder's end.
        if (m_actions.Cancelled()) return false;
        Visit(top);
        while (!m_stack.empty()) {
            if (m_actions.Cancelled()) {
                m_stack.clear();  // closes every listing; no folder above is removed
                return false;
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
            WipeProblem problem = WipeProblem::NameLeavesFolder;
            switch (JudgeEntryName(name, problem)) {
                case NameVerdict::Skip:
                    continue;
                case NameVerdict::Refuse:
                    // Joined, such a name would address something else, possibly outside
                    // this folder: it is left, and so is the folder.
                    m_actions.Leave(Shown(JoinPath(frame.path, name)), problem, 0);
                    frame.keptInside = true;
                    continue;
                case NameVerdict::Walk:
                    break;
            }
            // Joined to the frame's own copy of its folder's path: what the actions are
            // told may change below it.
            const std::string child = JoinPath(frame.path, name);
            m_actions.Reached(child);
            if (!Visit(child)) m_stack.back().keptInside = true;
        }
        return !m_actions.Cancelled();
    }

private:
    // An open folder: the path its entries join to, the name it is removed by, its listing
    // and the first name, which came with the listing's opening.
    struct Frame {
        std::string path;
        std::string bare;
        std::string first;
        bool firstTaken = false;
        bool keptInside = false;
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

    // Everything but a folder's entries; a folder is opened and pushed, to be listed by
    // Run. False when the entry stays.
    bool Visit(const std::string& p) {
        const EntryClass entry = ClassifyEntry(m_fs, p);
        switch (entry.kind) {
            case EntryClass::Refused:
                m_actions.Leave(Shown(entry.bare.empty() ? p : entry.bare), entry.problem,
                                entry.error);
                return false;
            case EntryClass::Link:
                return m_actions.RemoveLink(entry.bare, entry.folderLink);
            case EntryClass::File:
                return m_actions.WipeFile(entry.bare);
            case EntryClass::Folder:
                return Enter(p, entry.bare);
        }
        return false;
    }

    bool Enter(const std::string& p, const std::string& bare) {
        std::string first;
        FolderSearch search(m_fs, JoinPath(p, "*"), first);
        if (!search.Valid()) {
            // Neither walked nor removed.
            m_actions.Leave(bare, WipeProblem::FolderNotOpened, m_fs.LastError());
            return false;
        }
        m_stack.push_back(Frame{p, bare, std::move(first), false, false, std::move(search)});
        return true;  // its end decides; a frame that stays marks its parent itself
    }

    // A folder's listing has ended: the folder goes too, unless its listing failed or a
    // cancel request came up.
    void Leave(const Frame& frame, std::uint32_t listingError) {
        bool gone = false;
        if (listingError != kErrorNoMoreFiles) {
            // The entries after the failure were never reached: the folder is kept, with
            // the listing's own reason rather than "not empty".
            m_actions.Leave(frame.bare, WipeProblem::FolderNotListed, listingError);
        } else if (!m_actions.Cancelled()) {
            gone = m_actions.EndFolder(frame.bare, frame.keptInside);
        }
        if (!gone && !m_stack.empty()) m_stack.back().keptInside = true;
    }

    FileSystem& m_fs;
    WalkActions& m_actions;
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

EntryClass ClassifyEntry(FileSystem& fs, const std::string& p) {
    EntryClass entry;
    if (const std::optional<WipeProblem> refusal = WholePathRefusal(p)) {
        entry.problem = *refusal;
        return entry;
    }
    entry.bare = StripSeparator(p);
    const std::uint32_t attributes = fs.Attributes(entry.bare);
    if (attributes == kInvalidAttributes) {
        entry.problem = WipeProblem::NotFound;
        entry.error = fs.LastError();
    } else if ((attributes & kAttrReparsePoint) && IsWalkLink(fs, entry.bare)) {
        entry.kind = EntryClass::Link;
        entry.folderLink = (attributes & kAttrDirectory) != 0;
    } else if (attributes & kAttrDirectory) {
        entry.kind = EntryClass::Folder;
    } else if (attributes & (kAttrOffline | kAttrRecallOnDataAccess)) {
        entry.problem = WipeProblem::NotLocal;
    } else {
        entry.kind = EntryClass::File;
    }
    return entry;
}

NameVerdict JudgeEntryName(const std::string& name, WipeProblem& problem) {
    if (name == "." || name == "..") return NameVerdict::Skip;
    if (IsPlainEntryName(name)) return NameVerdict::Walk;
    problem = name.find(kUnreadableNameMark) == std::string::npos ? WipeProblem::NameLeavesFolder
                                                                  : WipeProblem::NameNotExact;
    return NameVerdict::Refuse;
}

bool RunFolderWalk(FileSystem& fs, const std::string& top, WalkActions& actions) {
    return Walk(fs, actions).Run(top);
}

}  // namespace veltrane
