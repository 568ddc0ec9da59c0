// The edge every call from the shell enters through: what an exception becomes there.
#include <windows.h>

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/ExceptionReport.h"
#include "support/RecordedReports.h"
#include "shellext/ShellEntry.h"

namespace {

using ShellEntryTest = test::RecordedReportsTest;
using test::g_reports;

TEST_F(ShellEntryTest, AShellQueryAnswersAnErrorWithoutABoxAndOnlyAClickShowsOne) {
    using veltrane::EdgeReport;
    // Asked while the user hovers over the menu: an error code, no report.
    EXPECT_EQ(veltrane::ShellEntry(E_FAIL, []() -> HRESULT { throw std::out_of_range("at"); }),
              E_FAIL);
    EXPECT_EQ(veltrane::ShellEntry(E_FAIL, []() -> HRESULT { throw std::bad_alloc(); }),
              E_OUTOFMEMORY);
    EXPECT_EQ(veltrane::ShellEntry(E_FAIL, []() -> HRESULT { throw 42; }), E_FAIL);
    EXPECT_TRUE(g_reports.empty());
    EXPECT_EQ(veltrane::ShellEntry(E_FAIL, [] { return S_FALSE; }), S_FALSE);

    // A command the user chose: the report says what went wrong.
    EXPECT_EQ(veltrane::ShellEntry(
                  E_FAIL, []() -> HRESULT { throw std::bad_alloc(); }, EdgeReport::Show),
              E_OUTOFMEMORY);
    EXPECT_EQ(g_reports, std::vector<std::string>{"Out of memory."});
}

}  // namespace
