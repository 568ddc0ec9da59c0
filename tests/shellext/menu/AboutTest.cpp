// The About dialog made in this process on its real template with a stand-in UTC clock, read
// back from its controls by another thread while it runs.

#include <gtest/gtest.h>

#include <thread>

#include "MenuTestSupport.h"
#include "about/About.h"
#include "resource.h"

namespace {

WORD g_utcYear;

void WINAPI StandInClock(LPSYSTEMTIME now) {
    *now = SYSTEMTIME{};
    now->wYear = g_utcYear;
    now->wMonth = 12;
    now->wDay = 31;
    now->wHour = 23;  // a local clock east of Greenwich would already be in the next year
}

TEST(AboutDialog, NoticeYearFollowsTheUtcClockButNeverGoesBefore2006) {
    const std::pair<WORD, const char*> cases[] = {
        {2005, "Copyright (C) 2006 The Veltrane project"},
        {2006, "Copyright (C) 2006 The Veltrane project"},
        {2007, "Copyright (C) 2007 The Veltrane project"},
        {2031, "Copyright (C) 2031 The Veltrane project"},
        {12345, "Copyright (C) 12345 The Veltrane project"}};  // no digit grouping
    for (const auto& [year, notice] : cases) {
        g_utcYear = year;
        std::string version, seen;
        std::thread watcher([&] {
            const HWND dialog = menutest::WaitForWindow("#32770", "About...", 10000);
            version = menutest::ControlText(dialog, IDC_VERSION);
            seen = menutest::ControlText(dialog, IDC_NOTICE);
            // The focus is on OK, so Enter would close the dialog. It is closed by its OK
            // command all the same: another program's window on the shared test desktop
            // may hold the keyboard meanwhile.
            // (A thread whose window is not the active one has no focus at all: then only
            // the default button can be checked.)
            const HWND focus = menutest::FocusOfThread(dialog);
            if (focus) {
                EXPECT_EQ(::GetDlgItem(dialog, IDOK), focus);
            }
            EXPECT_EQ(IDOK, LOWORD(::SendMessageA(dialog, DM_GETDEFID, 0, 0)));
            ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
        });
        About about(nullptr, &StandInClock);
        EXPECT_EQ(IDOK, about.DoModal());
        watcher.join();
        EXPECT_EQ("Veltrane v1.0 build 6", version);
        EXPECT_EQ(notice, seen);
    }
}

}  // namespace
