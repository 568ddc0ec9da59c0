#pragma once
// The one place that decides what each entry of a selection is and in which order the
// walk meets it. The wipe and the dry run both run this walk; they differ only in what
// they do with what it finds (WalkActions).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "job/WipeReport.h"
#include "wipe/FileSystem.h"

namespace veltrane {

// Why `path` is refused as a whole, before anything is looked at: no name, a name without
// an exact Unicode form, a folder's own index (NamesFolderStream), a drive or share root, a
// device, or a path that depends on the current folder. Nothing when it may be walked.
std::optional<WipeProblem> WholePathRefusal(const std::string& path);

// Whether the walk takes `path`, a reparse point, for a link: a name surrogate, or a tag
// that reads 0 or cannot be read (some systems, Wine among them, report their symbolic
// links that way, and walking into an unknown reparse point could leave the selection).
bool IsWalkLink(FileSystem& fs, const std::string& path);

// What one path is, as the walk treats it.
struct EntryClass {
    enum Kind : std::uint8_t {
        Refused,  // left as it is: `problem` (and `error`) say why
        Link,     // removed itself; what it points to is never reached
        File,     // wiped
        Folder,   // entered, then removed (a filter's reparse point on one included)
    };
    Kind kind = Refused;
    std::string bare;  // the path without a trailing separator
    WipeProblem problem = WipeProblem::NotFound;
    std::uint32_t error = 0;
    bool folderLink = false;  // a Link to a folder, removed as a folder
};

// - WholePathRefusal's paths are refused, nothing looked at;
// - one whose attributes cannot be read is refused (NotFound): removing it anyway could
//   delete a file that was never overwritten;
// - a link: overwriting or entering through it would reach its target, which may lie
//   outside the selection. Other reparse points (cloud, deduplication) are files and
//   folders;
// - a file whose data is not local (offline, recalled on access) is refused: opening it
//   would download it, and the copy elsewhere stays out of reach.
EntryClass ClassifyEntry(FileSystem& fs, const std::string& path);

// Whether an enumerated name is walked: "." and ".." are skipped (nothing); a name that,
// joined to its folder, would address something else (a separator, a colon) or that has
// no exact form is refused with its problem.
enum class NameVerdict : std::uint8_t { Walk, Skip, Refuse };
NameVerdict JudgeEntryName(const std::string& name, WipeProblem& problem);

// What the wipe, or the dry run, does with what the walk finds. Each action returns true
// when the entry is gone (or would be), so that the walk knows whether its folder keeps
// something.
class WalkActions {
public:
    virtual ~WalkActions() = default;
    // Checked before each entry and before each folder's end: once true, nothing more is
    // touched and no open folder is removed.
    virtual bool Cancelled() = 0;
    // The entry the walk is about to look at.
    virtual void Reached(const std::string& path) = 0;
    // Left as it is. `path` is shown as the user may see it (an unreadable name's marks
    // taken out).
    virtual void Leave(const std::string& path, WipeProblem problem, std::uint32_t error) = 0;
    virtual bool RemoveLink(const std::string& bare, bool folder) = 0;
    virtual bool WipeFile(const std::string& bare) = 0;
    // A folder's listing ran to its end; `keptInside`: something below it stays.
    virtual bool EndFolder(const std::string& bare, bool keptInside) = 0;
};

// Walks `top` depth-first in the system's order, each folder ended after its contents.
// Folders are entered through an explicit stack of open listings, so its memory grows
// with the depth of the tree, never the thread's stack: a path of 32,767 characters can
// hold some 16,000 levels. A folder that cannot be listed is left (FolderNotOpened); one
// whose listing fails part-way is left with the listing's own error (FolderNotListed), the
// entries after the failure never reached. Returns false when a cancel stopped it.
bool RunFolderWalk(FileSystem& fs, const std::string& top, WalkActions& actions);

}  // namespace veltrane
