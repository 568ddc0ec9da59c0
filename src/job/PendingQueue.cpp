#include "job/PendingQueue.h"

#include <cinttypes>
#include <cstdio>
#include <sstream>

namespace veltrane {

std::string FormatPending(const std::vector<PendingWipe>& queue) {
    std::string text;
    for (const PendingWipe& entry : queue) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, "%" PRIx64 " %" PRIx64 " %" PRIx32 " %" PRIx32 " ",
                      entry.identity.volume, entry.identity.file, entry.method, entry.tries);
        text += numbers + entry.path + "\n";
    }
    return text;
}

bool ParsePending(const std::string& text, std::vector<PendingWipe>& queue) {
    queue.clear();
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        PendingWipe entry;
        int consumed = 0;
        if (std::sscanf(line.c_str(), "%" SCNx64 " %" SCNx64 " %" SCNx32 " %" SCNx32 " %n",
                        &entry.identity.volume, &entry.identity.file, &entry.method, &entry.tries,
                        &consumed) != 4 ||
            consumed <= 0 || static_cast<std::size_t>(consumed) >= line.size()) {
            queue.clear();
            return false;
        }
        entry.path = line.substr(static_cast<std::size_t>(consumed));
        queue.push_back(std::move(entry));
    }
    return true;
}

void QueuePaths(FileSystem& fs, const std::vector<std::string>& paths, std::uint32_t method,
                std::vector<PendingWipe>& queue, WipeFailures& refused) {
    for (const std::string& path : paths) {
        PendingWipe entry;
        entry.path = path;
        entry.method = method;
        if (!fs.IdentifyPath(path, entry.identity)) {
            WipeFailure failure;
            failure.path = path;
            failure.problem = WipeProblem::NotFound;
            failure.error = fs.LastError();
            refused.push_back(std::move(failure));
            continue;
        }
        bool known = false;
        for (PendingWipe& queued : queue) {
            if (queued.path == path) {
                queued = entry;
                known = true;
            }
        }
        if (!known) queue.push_back(std::move(entry));
    }
}

std::vector<PendingWipe> StillTheSameFiles(FileSystem& fs, const std::vector<PendingWipe>& queue,
                                           WipeFailures& replaced) {
    std::vector<PendingWipe> same;
    for (const PendingWipe& entry : queue) {
        FileIdentity now;
        if (fs.IdentifyPath(entry.path, now) && now == entry.identity) {
            same.push_back(entry);
            continue;
        }
        WipeFailure failure;
        failure.path = entry.path;
        failure.problem = WipeProblem::ReplacedSinceQueued;
        replaced.push_back(std::move(failure));
    }
    return same;
}

}  // namespace veltrane
