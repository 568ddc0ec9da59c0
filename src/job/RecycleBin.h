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

// Whether `name` (a last path component) is a bin entry, and which: 'R' for data, 'I' for a
// record, 0 for anything else. `rest` gets what follows the two characters.
char RecycleBinEntryKind(const std::string& name, std::string& rest);

}  // namespace veltrane
