#include "cli/FreeSpaceCommand.h"

#include <chrono>

#include "cli/CliProgram.h"
#include "cli/JsonWriter.h"
#include "job/FreeSpaceReport.h"
#include "job/JobLock.h"
#include "job/PortableWorkerHost.h"
#include "job/WipeJob.h"
#include "wipe/FreeSpaceWipe.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

constexpr auto kPollInterval = std::chrono::milliseconds(100);

std::string JsonDocument(const CliOptions& options, const std::string& root,
                         const FreeSpaceResult& r) {
    JsonWriter json;
    json.BeginObject();
    json.Key("version").String(CommandLine::VersionText());
    json.Key("method").String(options.methodName);
    json.Key("freeSpace").BeginObject();
    json.Key("volume").String(root);
    json.Key("fileSystem").String(r.fileSystem);
    json.Key("wiped").Bool(FreeSpaceAllWiped(r));
    json.Key("finished").Bool(r.finished);
    json.Key("cancelled").Bool(r.cancelled);
    json.Key("refused").String(RefusalText(r.refusal));
    json.Key("error").Number(r.error);
    json.Key("freeBytesAtStart").Number(static_cast<std::int64_t>(r.freeAtStart));
    json.Key("bytesCovered").Number(static_cast<std::int64_t>(r.covered));
    json.Key("bytesWritten").Number(static_cast<std::int64_t>(r.bytesWritten));
    json.Key("passes").Number(r.passes);
    json.Key("passesDone").Number(r.passesDone);
    json.Key("fillFiles").Number(r.fillFiles);
    json.Key("recordFiles").Number(r.recordFiles);
    json.Key("recordsFilled").Bool(r.recordsFilled);
    json.Key("takenByOthers").Number(static_cast<std::int64_t>(r.takenByOthers));
    json.Key("quotaStopped").Bool(r.quotaStopped);
    json.Key("leftoversRemoved").Number(r.leftoversRemoved);
    json.Key("leftoverKept").String(r.leftoverKept);
    json.Key("leftBehind").String(r.leftBehind);
    json.Key("milliseconds").Number(static_cast<std::int64_t>(r.seconds * 1000));
    json.Key("firstPassMilliseconds").Number(static_cast<std::int64_t>(r.firstPassSeconds * 1000));
    json.EndObject();
    json.EndObject();
    return json.Text() + "\n";
}

}  // namespace

FreeSpaceCommand::FreeSpaceCommand(CliOutput& output, FileSystem& fs,
                                   const std::atomic<bool>& cancel)
    : m_output(output), m_fs(fs), m_cancel(cancel) {}

int FreeSpaceCommand::Run(const CliOptions& options, const std::string& root) {
    // The worker the shell's job runs, on a standard thread.
    WipeJob job;
    job.path = root;
    job.method = options.method;
    job.fileSystem = &m_fs;
    job.freeSpace = true;
    if (m_cancel.load()) job.cancel.store(1);
    PortableWorkerHost host(kPollInterval);
    if (!host.StartWorker(job)) {
        m_output.Err("veltrane: the wipe could not be started\n");
        return kExitNotAllWiped;
    }
    const bool show = !options.quiet && m_output.CanShowProgress();
    const std::int32_t passes = PassCount(options.method);
    while (!LockedGet(job.done)) {
        host.WaitBetweenPolls();
        if (m_cancel.load()) job.cancel.store(1);
        if (!show) continue;
        const auto stage = static_cast<FreeSpaceStage>(job.stage.load());
        std::string line = FreeSpaceStageText(stage);
        if (stage == FreeSpaceStage::Filling) {
            line += ", pass " + std::to_string(job.pass.load()) + " of " + std::to_string(passes) +
                    ": " + FreeSpaceAmountText(root, job.bytes.load(), job.totalBytes.load()) +
                    " (" + std::to_string(job.progress.load()) + " %)";
        } else {
            line += ": " + root;
        }
        m_output.Progress(line);
    }
    if (show) m_output.Progress(std::string());
    const FreeSpaceResult& result = job.freeSpaceResult;

    const std::vector<std::string> lines =
        FreeSpaceReportLines(root, MethodInfo(options.method).description, result);
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    if (options.json) {
        m_output.Out(JsonDocument(options, root, result));
        m_output.Err(text);
    } else if (FreeSpaceAllWiped(result)) {
        m_output.Out(text);
    } else {
        m_output.Err(text);
    }
    if (result.cancelled) return kExitCancelled;
    return FreeSpaceAllWiped(result) ? kExitAllWiped : kExitNotAllWiped;
}

}  // namespace veltrane
