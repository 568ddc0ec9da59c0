#pragma once
// What one user's Recycle Bin folder holds, found by name so that it can be wiped. Windows
// keeps each deleted item as two entries of `<drive>\$Recycle.Bin\<SID>`: `$R<id><ext>`,
// the data (a folder for a deleted folder), and `$I<id><ext>`, a small record of the
// original path, size and time. Both must go: the record alone still tells what was there.

#include <cstdint>
#include <string>
#include <vector>

#include "wipe/FileSystem.h"

namespace veltrane {

struct RecycledItem {
    std::string dataPath;    // the $R file or folder; empty when only the record is left
    std::string recordPath;  // the matching $I record; empty when it is missing
};

// Lists `binFolder` (one user's bin folder on one volume) and pairs each $R entry with the
// $I entry that shares the rest of its name (ASCII letters compared without case, as the
// file system does); a lone entry of either kind is an item of its own, and other names
// (desktop.ini) are no items. Ordered by that shared rest of the name. False, with the
// file system's error, when the folder cannot be listed to its end: an unlisted bin is
// never taken for an empty one.
bool ListRecycleBinFolder(FileSystem& fs, const std::string& binFolder,
                          std::vector<RecycledItem>& items, std::uint32_t& error);

// Lists a freedesktop.org trash (`trash` holds `files` and `info`): each entry of `files`
// with its `info\<name>.trashinfo`, and each record whose data is gone as an item of its
// own. False, with the error, when either folder cannot be listed to its end (a missing
// folder is an empty one).
bool ListTrashFolder(FileSystem& fs, const std::string& trash, std::vector<RecycledItem>& items,
                     std::uint32_t& error);

// The item whose data is at `dataPath`, with its record where the layout keeps one:
// `$I<rest>` beside a `$R<rest>` (Windows), `..\info\<name>.trashinfo` for
// `...\files\<name>` (the freedesktop.org trash that Wine's bin is); none otherwise.
RecycledItem RecycledItemOf(const std::string& dataPath);

// A selection made inside a Recycle Bin folder: each `$R` entry of a `$Recycle.Bin\<SID>`
// folder followed by its `$I` record where that exists, every other path as it is.
std::vector<std::string> WithRecycledRecords(FileSystem& fs, const std::vector<std::string>& paths);

// The paths a wipe of `items` takes, each item's data before its record; an item with
// neither (the shell gave no path) as an empty path, for the job to report.
std::vector<std::string> RecycledItemPaths(const std::vector<RecycledItem>& items);

// Whether `name` (a last path component) is a bin entry, and which: 'R' for data, 'I' for a
// record, 0 for anything else. `rest` gets what follows the two characters.
char RecycleBinEntryKind(const std::string& name, std::string& rest);

}  // namespace veltrane
