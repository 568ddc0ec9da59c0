#pragma once
// What a free-space wipe did, in words: the same lines for the progress dialog's end box
// and the command line.

#include <cstdint>
#include <string>
#include <vector>

#include "wipe/FreeSpaceWipe.h"

namespace veltrane {

// "1,234 MB", "512 KB", "0 bytes": binary units, as Explorer shows sizes.
std::string SizeText(std::uint64_t bytes);

// Why a volume is not wiped, as the end of "D:\ was not wiped: ..."; empty for None.
std::string RefusalText(FreeSpaceRefusal refusal);

// The progress dialog's status line for a stage: "Writing free space"...
const char* FreeSpaceStageText(FreeSpaceStage stage);

// "D:\  1,234 MB of 5,000 MB": the volume and what the pass under way has written.
std::string FreeSpaceAmountText(const std::string& volume, std::uint64_t bytes,
                                std::uint64_t total);

// What no free-space wipe reaches, one paragraph.
extern const char kFreeSpaceOutOfReach[];

// The report, one line each: first the outcome, then what was written and what it took,
// then anything the user must know (space taken meanwhile, a quota, a folder left, an
// earlier run's leftovers), the limits last. `method` is the method's description.
std::vector<std::string> FreeSpaceReportLines(const std::string& volume, const std::string& method,
                                              const FreeSpaceResult& result);

// Whether the run overwrote all the free space it was given (the exit status 0).
bool FreeSpaceAllWiped(const FreeSpaceResult& result);

}  // namespace veltrane
