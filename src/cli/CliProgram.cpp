#include "cli/CliProgram.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "cli/DryRun.h"
#include "cli/JsonWriter.h"
#include "job/JobLock.h"
#include "job/WipePath.h"
#include "wipe/WipeMethod.h"
#include "wipe/Paths.h"

namespace veltrane {
namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);  // ten a second at most

const char kFolderNeedsRecursive[] =
    "it is a folder; use -r to wipe it with everything in it (nothing was touched)";
const char kDotRefused[] = "'.' and '..' are never wiped; name the folder itself";
const char kNotStarted[] = "not started: the wipe was cancelled before it";

// What became of one argument.
struct ItemReport {
    std::string path;
    std::string outcome;  // "wiped", "not wiped", "cancelled", "would wipe", "would not wipe"
    std::string reason;   // empty when there is none
    bool wiped = false;
    WipeFailures failures;
    std::vector<PlannedItem> plan;
};

// Text for a terminal: a control character in a file's name (ESC above all, which would
// drive the terminal) is shown as \xHH, C1 controls as \u00HH; the line's own '\n' stays.
std::string ForTerminal(const std::string& text) {
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if ((c < 0x20 && c != '\n') || c == 0x7f) {
            out += "\\x";
            out += kHex[c >> 4];
            out += kHex[c & 15];
        } else if (c == 0xc2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            const auto c1 = static_cast<unsigned char>(text[++i]);
            out += "\\u00";
            out += kHex[c1 >> 4];
            out += kHex[c1 & 15];
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

bool IsDotName(const std::string& path) {
    const std::string last = LastComponent(StripSeparator(path));
    return last == "." || last == "..";
}

void WriteJson(CliOutput& output, const CliOptions& options, const std::vector<ItemReport>& items,
               int wiped, int notWiped, bool cancelled, int notStarted) {
    JsonWriter json;
    json.BeginObject();
    json.Key("version").String(CommandLine::VersionText());
    json.Key("method").String(options.methodName);
    json.Key("dryRun").Bool(options.dryRun);
    json.Key("cancelled").Bool(cancelled);
    json.Key("wiped").Number(wiped);
    json.Key("notWiped").Number(notWiped);
    json.Key("notStarted").Number(notStarted);
    json.Key("items").BeginArray();
    for (const ItemReport& item : items) {
        json.BeginObject();
        json.Key("path").String(item.path);
        json.Key("outcome").String(item.outcome);
        json.Key("reason");
        if (item.reason.empty()) {
            json.Null();
        } else {
            json.String(item.reason);
        }
        if (options.dryRun) {
            json.Key("plan").BeginArray();
            for (const PlannedItem& planned : item.plan) {
                json.BeginObject();
                json.Key("path").String(planned.path);
                json.Key("action").String(ActionText(planned.action));
                if (planned.action == PlannedAction::Refuse) {
                    json.Key("reason").String(ProblemText(planned.problem));
                }
                json.EndObject();
            }
            json.EndArray();
        } else {
            // What was left (with where a partly wiped file is now), then notes on what
            // was wiped all the same.
            for (const bool failures : {true, false}) {
                json.Key(failures ? "failures" : "notes").BeginArray();
                for (const WipeFailure& record : item.failures) {
                    if (IsFailure(record) != failures) continue;
                    json.BeginObject();
                    json.Key("path").String(record.path);
                    json.Key("reason").String(ProblemText(record.problem));
                    json.Key("error").Number(record.error);
                    if (failures) {
                        json.Key("leftAs");
                        if (record.leftAs.empty()) {
                            json.Null();
                        } else {
                            json.String(record.leftAs);
                        }
                        json.Key("passesDone").Number(record.passesDone);
                    }
                    json.EndObject();
                }
                json.EndArray();
            }
        }
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    output.Out(json.Text() + "\n");
}

void ReportItem(CliOutput& output, const CliOptions& options, const ItemReport& item) {
    // Each item that stays: its line, with the walk's own reasons.
    if (options.dryRun && !options.json) {
        for (const PlannedItem& planned : item.plan) {
            std::string line = std::string(ActionText(planned.action)) + ": " + planned.path;
            if (planned.action == PlannedAction::Refuse) {
                line += ": " + std::string(ProblemText(planned.problem));
            }
            output.Out(ForTerminal(line) + "\n");
        }
    }
    if (!item.failures.empty()) {
        for (const WipeFailure& failure : item.failures) {
            output.Err(ForTerminal("veltrane: " + DescribeFailure(failure)) + "\n");
        }
    } else if (!item.wiped && !item.reason.empty()) {
        output.Err(ForTerminal("veltrane: " + item.path + ": " + item.reason) + "\n");
    }
}

}  // namespace

CliProgram::CliProgram(CliOutput& output, FileSystem* fs) : m_output(output), m_fs(fs) {}

void CliProgram::Cancel() {
    m_cancel.store(true);
    std::lock_guard<std::mutex> guard(m_currentLock);
    if (m_current != nullptr) LockedSet(m_current->cancel, 1);
}

int CliProgram::Run(const CliOptions& options) {
    InitializeJobLock();
    FileSystem& fs = m_fs ? *m_fs : PlatformFileSystem();
    const bool showProgress = !options.quiet && !options.dryRun && m_output.CanShowProgress();
    const std::size_t count = options.paths.size();
    std::vector<ItemReport> items;
    bool cancelled = false;

    for (std::size_t i = 0; i < count; ++i) {
        ItemReport item;
        item.path = options.paths[i];
        if (cancelled || m_cancel.load()) {
            cancelled = true;
            item.outcome = "not wiped";
            item.reason = kNotStarted;
        } else if (IsDotName(item.path)) {
            item.outcome = options.dryRun ? "would not wipe" : "not wiped";
            item.reason = kDotRefused;
        } else if (!options.recursive &&
                   ClassifyEntry(fs, item.path).kind == EntryClass::Folder) {
            item.outcome = options.dryRun ? "would not wipe" : "not wiped";
            item.reason = kFolderNeedsRecursive;
        } else if (options.dryRun) {
            PlanPath(fs, item.path, item.plan);
            item.wiped = true;
            for (const PlannedItem& planned : item.plan) {
                if (planned.action == PlannedAction::Refuse) item.wiped = false;
            }
            item.outcome = item.wiped ? "would wipe" : "would not wipe";
        } else {
            // The walk runs on a worker, as in the shell, so this thread can show its
            // progress and pass on a cancel request.
            auto job = std::make_unique<WipeJob>();
            job->path = item.path;
            job->method = options.method;
            job->fileSystem = m_fs;
            job->debugSink = [](const std::string&) {};  // failures are reported below
            bool started = false;
            {
                std::lock_guard<std::mutex> guard(m_currentLock);
                // Ctrl+C during the checks above: this item is not started either. From
                // here on Cancel reaches the record, which the walk reads first.
                if (!m_cancel.load()) {
                    m_current = job.get();
                    started = true;
                }
            }
            if (!started) {
                cancelled = true;
                item.outcome = "not wiped";
                item.reason = kNotStarted;
                ReportItem(m_output, options, item);
                items.push_back(std::move(item));
                continue;
            }
            const std::string counter =
                "[" + std::to_string(i + 1) + "/" + std::to_string(count) + "] ";
            // Every item shows at least once, however quickly it goes.
            if (showProgress) m_output.Progress(ForTerminal(counter + "0% " + item.path));
            // The worker says when it has ended, so that the next item starts at once; the
            // wait times out only to show progress.
            std::mutex endLock;
            std::condition_variable endSignal;
            bool ended = false;
            std::thread worker([&job, &endLock, &endSignal, &ended] {
                WipeThreadProc(job.get());
                std::lock_guard<std::mutex> guard(endLock);
                ended = true;
                endSignal.notify_one();
            });
            {
                std::unique_lock<std::mutex> lock(endLock);
                while (!endSignal.wait_for(lock, kProgressInterval, [&ended] { return ended; })) {
                    if (!showProgress) continue;
                    // The pass under way and how far it is, then the file's original name.
                    const std::int32_t pass = job->pass.load(std::memory_order_relaxed);
                    const std::string passText =
                        pass > 0 ? "pass " + std::to_string(pass) + "/" +
                                       std::to_string(PassCount(options.method)) + " " +
                                       std::to_string(job->passPercent.load(std::memory_order_relaxed)) + "% "
                                 : std::string("0% ");
                    m_output.Progress(ForTerminal(counter + passText + LockedGet(job->path)));
                }
            }
            worker.join();
            {
                std::lock_guard<std::mutex> guard(m_currentLock);
                m_current = nullptr;
            }
            if (showProgress) m_output.Progress(std::string());
            item.failures = job->failures;
            if (job->result == kWalkCancelled) {
                cancelled = true;
                item.outcome = "cancelled";
                item.reason = "cancelled while it was being wiped";
            } else if (FailureCount(item.failures) == 0) {
                item.wiped = true;
                item.outcome = "wiped";
            } else {
                item.outcome = "not wiped";
                item.reason = ProblemText(
                    std::find_if(item.failures.begin(), item.failures.end(), IsFailure)->problem);
            }
        }

        ReportItem(m_output, options, item);
        items.push_back(std::move(item));
    }

    int wiped = 0;
    int notStarted = 0;
    for (const ItemReport& item : items) {
        if (item.wiped) ++wiped;
        if (item.reason == kNotStarted) ++notStarted;
    }
    const int notWiped = static_cast<int>(items.size()) - wiped;
    std::string summary;
    if (options.dryRun) {
        summary = std::to_string(wiped) + " would be wiped, " + std::to_string(notWiped) +
                  " would not be wiped (dry run: nothing was changed)";
    } else {
        summary = std::to_string(wiped) + " wiped, " + std::to_string(notWiped) + " not wiped";
        if (cancelled) {
            summary += notStarted == 0 ? std::string(" (cancelled)")
                                       : " (cancelled; " + std::to_string(notStarted) +
                                             " not started, untouched)";
        }
    }
    if (options.json) {
        WriteJson(m_output, options, items, wiped, notWiped, cancelled, notStarted);
        // Standard output holds the one JSON document.
        m_output.Err(summary + "\n");
    } else {
        m_output.Out(summary + "\n");
    }
    if (cancelled) return kExitCancelled;
    return notWiped == 0 ? kExitAllWiped : kExitNotAllWiped;
}

}  // namespace veltrane
