#include "job/FreeSpaceReport.h"

#include <cstdio>

namespace veltrane {
namespace {

std::string Grouped(std::uint64_t value) {
    std::string digits = std::to_string(value);
    for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
    return digits;
}

std::string Seconds(double seconds) {
    char text[32];
    if (seconds < 60) {
        std::snprintf(text, sizeof text, "%.1f s", seconds);
    } else {
        const auto whole = static_cast<unsigned long long>(seconds + 0.5);
        std::snprintf(text, sizeof text, "%llu min %02llu s", whole / 60, whole % 60);
    }
    return text;
}

}  // namespace

const char kFreeSpaceOutOfReach[] =
    "Out of reach of any free-space wipe: on an SSD or a memory card, the blocks the drive "
    "keeps aside for wear levelling (the system's TRIM, or the drive's own secure erase, is "
    "the tool there); shadow copies, restore points and backups; free space inside other "
    "volumes' disk images; and the file names the NTFS journal keeps.";

std::string SizeText(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    if (bytes < (10u << 20)) return Grouped((bytes + 512) / 1024) + " KB";
    return Grouped((bytes + (1u << 19)) >> 20) + " MB";
}

std::string RefusalText(FreeSpaceRefusal refusal) {
    switch (refusal) {
        case FreeSpaceRefusal::None:
            return std::string();
        case FreeSpaceRefusal::NoVolume:
            return "it cannot be read as a drive";
        case FreeSpaceRefusal::Remote:
            return "it is a network drive, whose free space only its server can wipe";
        case FreeSpaceRefusal::Optical:
            return "it is a CD, DVD or Blu-ray drive";
        case FreeSpaceRefusal::ReadOnly:
            return "it is read-only";
    }
    return std::string();
}

const char* FreeSpaceStageText(FreeSpaceStage stage) {
    switch (stage) {
        case FreeSpaceStage::Starting:
            return "Preparing";
        case FreeSpaceStage::Filling:
            return "Writing free space";
        case FreeSpaceStage::Records:
            return "Filling free file records";
        case FreeSpaceStage::Removing:
        case FreeSpaceStage::Ended:
            return "Removing the fill files";
    }
    return "";
}

std::string FreeSpaceAmountText(const std::string& volume, std::uint64_t bytes,
                                std::uint64_t total) {
    return volume + "  " + SizeText(bytes) + " of " + SizeText(total);
}

bool FreeSpaceAllWiped(const FreeSpaceResult& r) {
    return r.finished && !r.quotaStopped;
}

std::vector<std::string> FreeSpaceReportLines(const std::string& volume, const std::string& method,
                                              const FreeSpaceResult& r) {
    std::vector<std::string> lines;
    if (r.refusal != FreeSpaceRefusal::None) {
        std::string line =
            "The free space of " + volume + " was not wiped: " + RefusalText(r.refusal);
        if (r.error != 0) line += " (error " + std::to_string(r.error) + ")";
        lines.push_back(line + ".");
        return lines;
    }
    const std::string passes = std::to_string(r.passes) + (r.passes == 1 ? " pass" : " passes");
    if (r.finished) {
        lines.push_back("The free space of " + volume + " was overwritten: " + SizeText(r.covered) +
                        ", " + passes + " (" + method + ").");
    } else if (r.cancelled) {
        lines.push_back("Cancelled. The fill files were removed: the free space of " + volume +
                        " is as it was, overwritten only as far as the wipe came (" +
                        std::to_string(r.passesDone) + " of " + passes + ").");
    } else {
        lines.push_back("The free-space wipe of " + volume +
                        " stopped: the system reported error " + std::to_string(r.error) +
                        " after " + std::to_string(r.passesDone) + " of " + passes + ".");
    }
    std::string written = "Written: " + SizeText(r.bytesWritten) + " in " + Grouped(r.fillFiles) +
                          (r.fillFiles == 1 ? " fill file" : " fill files");
    if (r.recordFiles > 0) {
        written +=
            " and " + Grouped(r.recordFiles) + " small files that took the free file records";
    }
    lines.push_back(written + ", in " + Seconds(r.seconds) + ".");
    if (r.takenByOthers > 0) {
        lines.push_back("Other programs took " + SizeText(r.takenByOthers) +
                        " of the free space while the wipe ran; that part holds their data now "
                        "and was not overwritten by this wipe.");
    }
    if (r.quotaStopped) {
        lines.push_back("Your disk quota ended the fill after " + SizeText(r.covered) + " of the " +
                        SizeText(r.freeAtStart) +
                        " free: the rest can only be wiped by an account without a quota.");
    }
    if (!r.leftBehind.empty()) {
        lines.push_back("The fill folder " + r.leftBehind +
                        " could not be removed: delete it to give its space back (the next "
                        "free-space wipe removes it too).");
    }
    if (r.leftoversRemoved > 0) {
        lines.push_back(
            std::string(r.leftoversRemoved == 1
                            ? "A fill folder left by an earlier wipe that never ended was"
                            : "Fill folders left by earlier wipes that never ended were") +
            " found and removed first.");
    }
    if (!r.leftoverKept.empty()) {
        lines.push_back("The fill folder " + r.leftoverKept +
                        " was kept: it holds files this wipe did not make.");
    }
    lines.push_back(kFreeSpaceOutOfReach);
    return lines;
}

}  // namespace veltrane
