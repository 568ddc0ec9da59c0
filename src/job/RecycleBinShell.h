#pragma once
// The current user's Recycle Bin as the shell shows it, and the command that wipes it:
// every item the bin's own folder lists, on every volume, with its record.

#include <windows.h>
#include <objidl.h>

#include <string>
#include <vector>

#include "job/RecycleBin.h"
#include "job/RunWipeJob.h"

namespace veltrane {

struct RecycleBinContents {
    std::vector<RecycledItem> items;  // an item the job cannot reach has no paths
    std::vector<std::string> names;   // as the bin shows them, for the question
};

// Lists the bin through its shell folder: each item's file-system path (Windows gives the
// $R entry; Wine's bin, the freedesktop.org trash, gives a name that is looked up in the
// trash's files folder) and the record beside it when there is one. False when the bin
// could not be read to its end.
bool ReadRecycleBin(RecycleBinContents& contents);

// Whether the shell's data object holds the Recycle Bin itself (its icon was selected).
bool IsRecycleBinObject(IDataObject* data);

// Has the shell redraw the bin's icon (empty or full).
void UpdateRecycleBinIcon() noexcept;

// Reads the bin and wipes everything in it with `method` as a file command does (asking
// first when `ask`, naming the count of items), then has the shell update the bin's icon.
// An empty bin, and one that cannot be read to its end (nothing is wiped then), are said
// so in a box.
HRESULT WipeRecycleBin(HWND owner, UINT method, bool ask, const JobSettings& settings = {});

}  // namespace veltrane
