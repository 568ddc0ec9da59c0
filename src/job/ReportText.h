#pragma once
// The words of the report at the end of a job: one line per item that could not be wiped,
// with the system's own message for its error.

#include <string>
#include <vector>

#include "job/WipeReport.h"

namespace veltrane {

// "1 item could not be wiped." or "<n> items could not be wiped.", and what follows; after
// a cancel, first that what the job had not reached was left as it was, and how many of the
// selected items it never started (`untouched`). `count` holds the failures only: with
// none, the lines are notes on items that were wiped.
std::wstring ReportSummary(std::size_t count, bool cancelled, std::size_t untouched = 0);

// One row of the report: the item, what became of it ("left as it was", "kept", "left
// partly wiped as <its random name>, after 2 complete passes", ...), and why, in the user's
// words.
struct ReportRow {
    std::wstring item;
    std::wstring outcome;
    std::wstring why;
};
std::vector<ReportRow> ReportRows(const WipeFailures& failures);

// Every row in full, its three columns separated by tabs and the rows ended by CR LF: what
// the Copy button puts on the clipboard.
std::wstring ReportLines(const std::vector<ReportRow>& rows);

// FormatMessageW's text for a system error code, without its trailing line break; empty
// when the system has none.
std::wstring SystemMessage(std::uint32_t code);

}  // namespace veltrane
