#include "cli/DryRun.h"

#include <optional>

#include "job/WipePath.h"
#include "wipe/Paths.h"

namespace veltrane {
namespace {

void Refuse(std::vector<PlannedItem>& plan, const std::string& path, WipeProblem problem) {
    std::string shown;
    for (char c : path) {
        if (c != kUnreadableNameMark) shown += c;
    }
    plan.push_back(PlannedItem{shown, PlannedAction::Refuse, problem});
}

void PlanFolder(FileSystem& fs, const std::string& p, const std::string& bare,
                std::vector<PlannedItem>& plan) {
    std::string name;
    const FileSystem::FindHandle find = fs.FindFirst(JoinPath(p, "*"), name);
    if (find == FileSystem::kInvalidFind) {
        Refuse(plan, bare, WipeProblem::FolderNotOpened);
        return;
    }
    bool leftSomething = false;
    do {
        if (name == "." || name == "..") continue;
        if (!IsPlainEntryName(name)) {
            const bool exact = name.find(kUnreadableNameMark) == std::string::npos;
            Refuse(plan, JoinPath(p, name),
                   exact ? WipeProblem::NameLeavesFolder : WipeProblem::NameNotExact);
            leftSomething = true;
            continue;
        }
        const std::size_t before = plan.size();
        PlanPath(fs, JoinPath(p, name), plan);
        for (std::size_t i = before; i < plan.size(); ++i) {
            if (plan[i].action == PlannedAction::Refuse) leftSomething = true;
        }
    } while (fs.FindNext(find, name));
    fs.FindEnd(find);
    // A folder that keeps something cannot be removed: say so rather than promise it.
    if (leftSomething) {
        Refuse(plan, bare, WipeProblem::FolderNotRemoved);
    } else {
        plan.push_back(PlannedItem{bare, PlannedAction::RemoveFolder});
    }
}

}  // namespace

void PlanPath(FileSystem& fs, const std::string& p, std::vector<PlannedItem>& plan) {
    if (const std::optional<WipeProblem> refusal = WholePathRefusal(p)) {
        Refuse(plan, p, *refusal);
        return;
    }
    const std::string bare = StripSeparator(p);
    const std::uint32_t attributes = fs.Attributes(bare);
    if (attributes == kInvalidAttributes) {
        Refuse(plan, bare, WipeProblem::NotFound);
    } else if ((attributes & kAttrReparsePoint) && IsWalkLink(fs, bare)) {
        plan.push_back(PlannedItem{bare, PlannedAction::RemoveLink});
    } else if (!(attributes & kAttrDirectory)) {
        if (attributes & (kAttrOffline | kAttrRecallOnDataAccess)) {
            Refuse(plan, bare, WipeProblem::NotLocal);
        } else {
            plan.push_back(PlannedItem{bare, PlannedAction::WipeFile});
        }
    } else {
        PlanFolder(fs, p, bare, plan);
    }
}

const char* ActionText(PlannedAction action) {
    switch (action) {
        case PlannedAction::WipeFile:
            return "wipe";
        case PlannedAction::RemoveLink:
            return "remove link";
        case PlannedAction::RemoveFolder:
            return "remove folder";
        case PlannedAction::Refuse:
            return "leave";
    }
    return "leave";
}

}  // namespace veltrane
