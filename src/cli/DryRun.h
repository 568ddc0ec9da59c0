#pragma once
// What a wipe of one path would do, found by looking only: attributes, reparse tags and
// folder listings through the FileSystem interface, never an open for writing, a rename
// or a removal. It is the wipe's own walk (RunFolderWalk) with its findings written down.

#include <string>
#include <vector>

#include "job/WipeReport.h"
#include "wipe/FileSystem.h"

namespace veltrane {

enum class PlannedAction {
    WipeFile,
    RemoveLink,    // the link itself; its target is not touched
    RemoveFolder,  // after everything in it
    Refuse,        // left as it is; `problem` says why
};

struct PlannedItem {
    std::string path;
    PlannedAction action;
    WipeProblem problem = WipeProblem::NotFound;  // for Refuse
};

// Appends what wiping `path` would do, in the order the walk would do it.
void PlanPath(FileSystem& fs, const std::string& path, std::vector<PlannedItem>& plan);

// "wipe", "remove link", "remove folder", "leave".
const char* ActionText(PlannedAction action);

}  // namespace veltrane
