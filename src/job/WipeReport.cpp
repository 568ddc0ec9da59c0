#include "job/WipeReport.h"

namespace veltrane {
namespace {

struct ProblemRow {
    WipeProblem problem;
    const char* text;
};

constexpr ProblemRow kProblems[] = {
    {WipeProblem::NameMissing, "the shell gave no name for it, so nothing was touched"},
    {WipeProblem::NotAbsolute,
     "it is not a full path from a drive or share, so what it names is not certain; nothing "
     "was touched"},
    {WipeProblem::NameNotExact,
     "its name has no exact Unicode form, so it cannot be reached safely; rename it and try "
     "again"},
    {WipeProblem::NameLeavesFolder,
     "its name as the system lists it would lead outside its folder, so it was not touched"},
    {WipeProblem::VolumeRoot,
     "a whole drive or share is never wiped; select the files and folders on it instead"},
    {WipeProblem::DevicePath, "it names a device, not a file"},
    {WipeProblem::NotLocal,
     "its data is not on this computer (a cloud or offline file); opening it would download "
     "it, and the copy elsewhere cannot be wiped from here"},
    {WipeProblem::NotFound, "it could not be found or read"},
    {WipeProblem::FileNotWiped, "the file could not be wiped"},
    {WipeProblem::FolderNotOpened, "the folder could not be opened"},
    {WipeProblem::FolderNotRemoved, "the folder could not be removed"},
    {WipeProblem::LinkNotRemoved, "the link could not be removed (its target was not touched)"},
    {WipeProblem::FolderNotListed,
     "the folder could not be listed to its end, so what it still holds was not reached and "
     "it was kept"},
    {WipeProblem::FolderStream,
     "it names a part of a folder's own index, not a file or a folder, so nothing was touched"},
    {WipeProblem::FolderStreamsNotWiped,
     "the folder's own named streams could not all be listed or wiped, so the folder was kept"},
    {WipeProblem::ReplacedSinceQueued,
     "it was to be wiped at this sign-in, but the name now belongs to another file (or to "
     "none), so nothing was touched"},
    {WipeProblem::Cancelled, "the wipe was cancelled while this file was being overwritten"},
    {WipeProblem::WipedUnderOwnName,
     "wiped under its own name: it was overwritten and deleted, but it could not be renamed "
     "first, so its name was not hidden"},
};

}  // namespace

bool IsFailure(const WipeFailure& record) {
    return record.problem != WipeProblem::WipedUnderOwnName;
}

std::size_t FailureCount(const WipeFailures& records) {
    std::size_t count = 0;
    for (const WipeFailure& record : records) {
        if (IsFailure(record)) ++count;
    }
    return count;
}

const char* ProblemText(WipeProblem problem) {
    for (const ProblemRow& row : kProblems) {
        if (row.problem == problem) return row.text;
    }
    return "it could not be wiped";
}

std::string DescribeFailure(const WipeFailure& failure) {
    std::string line = failure.path + ": " + ProblemText(failure.problem);
    if (failure.error != 0) line += " (error " + std::to_string(failure.error) + ")";
    const std::string passes = std::to_string(failure.passesDone) + " complete pass" +
                               (failure.passesDone == 1 ? "" : "es");
    if (!failure.leftAs.empty()) {
        line += "; it is now " + failure.leftAs + ", after " + passes;
    } else if (failure.passesDone > 0) {
        line += "; it keeps its name, after " + passes;
    }
    return line;
}

}  // namespace veltrane
