#include "cli/CliProgram.h"

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "cli/DryRun.h"
#include "cli/FreeSpaceCommand.h"
#include "cli/JsonWriter.h"
#include "job/JobDriver.h"
#include "job/JobLock.h"
#include "job/PortableWorkerHost.h"
#include "job/WipePath.h"
#include "wipe/WipeMethod.h"
#include "wipe/Paths.h"

namespace veltrane {

// What became of one argument.
struct CliItemReport {
    std::string path;
    std::string outcome;  // "wiped", "not wiped", "cancelled", "would wipe", "would not wipe"
    std::string reason;   // empty when there is none
    bool wiped = false;
    WipeFailures failures;
    std::vector<PlannedItem> plan;
};

namespace {

constexpr auto kProgressInterval = std::chrono::milliseconds(100);  // ten a second at most

const char kFolderNeedsRecursive[] =
    "it is a folder; use -r to wipe it with everything in it (nothing was touched)";
const char kDotRefused[] = "'.' and '..' are never wiped; name the folder itself";
const char kNotStarted[] = "not started: the wipe was cancelled before it";

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

void WriteJson(CliOutput& output, const CliOptions& options,
               const std::vector<CliItemReport>& items, int wiped, int notWiped, bool cancelled,
               int notStarted) {
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
    for (const CliItemReport& item : items) {
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

// The job as the console shows it: one progress line, "[3/10] pass 2/7 40% <name>",
// replaced as the job goes, and the cancel request of Ctrl+C.
class ConsoleJobView final : public JobProgressView {
public:
    ConsoleJobView(CliOutput& output, const std::atomic<bool>& cancel, bool showProgress,
                   std::uint32_t method, std::size_t count)
        : m_output(output),
          m_cancel(cancel),
          m_show(showProgress),
          m_method(method),
          m_count(count) {}

    // The number of each item of the run among all the arguments, from 1.
    std::vector<std::size_t> numbers;
    std::function<void(std::size_t item, const WipeJob& record)> onItemEnded;

    void SetItemCount(std::int32_t) override {}
    void GrowItemCount(std::int32_t) override {}
    void StepItem() override {
        if (m_started >= numbers.size()) return;
        m_counter =
            "[" + std::to_string(numbers[m_started++]) + "/" + std::to_string(m_count) + "] ";
        // Every item shows at least once, however quickly it goes.
        if (m_show) m_output.Progress(ForTerminal(m_counter + "0% " + m_path));
    }
    void SetStatusText(std::string) override {}
    void SetPathText(std::string text) override { m_path = std::move(text); }
    void SetFileProgress(std::int32_t) noexcept override {}
    std::int32_t CancelRequest() noexcept override { return m_cancel.load() ? 1 : 0; }
    void ClearCancelRequest() noexcept override {}
    bool ContinueAfterResult(std::int32_t) override { return true; }

    void ShowRecord(const WipeJob& record) noexcept override {
        if (!m_show) return;
        try {
            // The pass under way and how far it is, then the file's original name.
            const std::int32_t pass = record.pass.load(std::memory_order_relaxed);
            const std::string passText =
                pass > 0
                    ? "pass " + std::to_string(pass) + "/" + std::to_string(PassCount(m_method)) +
                          " " + std::to_string(record.passPercent.load(std::memory_order_relaxed)) +
                          "% "
                    : std::string("0% ");
            m_output.Progress(ForTerminal(m_counter + passText + LockedGet(record.path)));
        } catch (...) {
            // A progress line that cannot be made is skipped.
        }
    }
    void ItemEnded(std::size_t item, const WipeJob& record) override {
        if (m_show) m_output.Progress(std::string());
        if (onItemEnded) onItemEnded(item, record);
    }

private:
    CliOutput& m_output;
    const std::atomic<bool>& m_cancel;
    bool m_show;
    std::uint32_t m_method;
    std::size_t m_count;
    std::size_t m_started = 0;
    std::string m_counter;
    std::string m_path;
};

void ReportItem(CliOutput& output, const CliOptions& options, const CliItemReport& item) {
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
    // The job reads the request at its next poll, which this starts at once.
    std::lock_guard<std::mutex> guard(m_hostLock);
    if (m_host != nullptr) m_host->Wake();
}

int CliProgram::Run(const CliOptions& options) {
    InitializeJobLock();
    FileSystem& fs = m_fs ? *m_fs : PlatformFileSystem();
    if (options.freeSpace) {
        return FreeSpaceCommand(m_output, fs, m_cancel).Run(options, options.paths.front());
    }
    const bool showProgress = !options.quiet && !options.dryRun && m_output.CanShowProgress();
    const std::size_t count = options.paths.size();
    std::vector<CliItemReport> items(count);
    bool cancelled = false;

    // Items that pass the checks below go to the job in runs, each run ended by an item
    // the checks keep back, so that every item's lines come in the order given.
    std::vector<std::size_t> run;
    const auto wipeRun = [&] {
        if (run.empty()) return;
        if (WipeItems(options, run, items, showProgress)) cancelled = true;
        run.clear();
    };

    for (std::size_t i = 0; i < count; ++i) {
        CliItemReport& item = items[i];
        item.path = options.paths[i];
        if (cancelled || m_cancel.load()) {
            wipeRun();
            cancelled = true;
            item.outcome = "not wiped";
            item.reason = kNotStarted;
        } else if (IsDotName(item.path)) {
            item.outcome = options.dryRun ? "would not wipe" : "not wiped";
            item.reason = kDotRefused;
        } else if (!options.recursive && ClassifyEntry(fs, item.path).kind == EntryClass::Folder) {
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
            run.push_back(i);
            continue;
        }
        wipeRun();
        ReportItem(m_output, options, item);
    }
    wipeRun();

    int wiped = 0;
    int notStarted = 0;
    for (const CliItemReport& item : items) {
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

bool CliProgram::WipeItems(const CliOptions& options, const std::vector<std::size_t>& run,
                           std::vector<CliItemReport>& items, bool showProgress) {
    PortableWorkerHost host(kProgressInterval);
    {
        std::lock_guard<std::mutex> guard(m_hostLock);
        m_host = &host;
    }
    ConsoleJobView view(m_output, m_cancel, showProgress, options.method, items.size());
    view.onItemEnded = [&](std::size_t k, const WipeJob& record) {
        CliItemReport& item = items[run[k]];
        item.failures = record.failures;
        if (LockedGet(record.result) == kWalkCancelled) {
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
        // Its lines at once, as it ends: a long job shows what stays as it goes.
        ReportItem(m_output, options, item);
    };
    std::vector<std::string> paths;
    for (const std::size_t i : run) {
        paths.push_back(items[i].path);
        view.numbers.push_back(i + 1);
    }
    WalkSettings settings;
    settings.fileSystem = m_fs;
    settings.debugSink = [](const std::string&) {};  // failures are reported item by item
    JobDriver driver(view, host, settings);
    driver.Append(paths, options.method);
    try {
        driver.Run();
    } catch (...) {
        std::lock_guard<std::mutex> guard(m_hostLock);
        m_host = nullptr;
        throw;
    }
    {
        std::lock_guard<std::mutex> guard(m_hostLock);
        m_host = nullptr;
    }
    if (showProgress) m_output.Progress(std::string());
    // What the cancel left: never started.
    for (const std::size_t i : run) {
        if (items[i].outcome.empty()) {
            items[i].outcome = "not wiped";
            items[i].reason = kNotStarted;
            ReportItem(m_output, options, items[i]);
        }
    }
    return driver.Cancelled();
}

}  // namespace veltrane
