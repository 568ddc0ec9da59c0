#include "cli/DryRun.h"

#include "job/FolderWalk.h"

namespace veltrane {
namespace {

// The walk's findings written down instead of carried out: the same entries in the same
// order, with what a wipe would do to each.
class PlanActions : public WalkActions {
public:
    explicit PlanActions(std::vector<PlannedItem>& plan) : m_plan(plan) {}

    bool Cancelled() override { return false; }
    void Reached(const std::string&) override {}
    void Leave(const std::string& path, WipeProblem problem, std::uint32_t) override {
        m_plan.push_back(PlannedItem{path, PlannedAction::Refuse, problem});
    }
    bool RemoveLink(const std::string& bare, bool) override {
        m_plan.push_back(PlannedItem{bare, PlannedAction::RemoveLink});
        return true;
    }
    bool WipeFile(const std::string& bare) override {
        m_plan.push_back(PlannedItem{bare, PlannedAction::WipeFile});
        return true;
    }
    bool EndFolder(const std::string& bare, bool keptInside) override {
        // A folder that keeps something cannot be removed: say so rather than promise it.
        if (keptInside) {
            Leave(bare, WipeProblem::FolderNotRemoved, 0);
            return false;
        }
        m_plan.push_back(PlannedItem{bare, PlannedAction::RemoveFolder});
        return true;
    }

private:
    std::vector<PlannedItem>& m_plan;
};

}  // namespace

void PlanPath(FileSystem& fs, const std::string& p, std::vector<PlannedItem>& plan) {
    PlanActions actions(plan);
    RunFolderWalk(fs, p, actions);
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
