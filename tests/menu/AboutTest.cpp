// The About dialog made in this process on its real template: its two lines read back from
// the controls while it runs, the year rule with a stand-in clock, the focus, and closing.

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "MenuTestSupport.h"
#include "about/About.h"
#include "about/OpenUrl.h"
#include "about/QXVersion.h"
#include "resource.h"

namespace {

std::atomic<WORD> g_utcYear{2007};

void WINAPI StandInClock(LPSYSTEMTIME now) {
    *now = SYSTEMTIME{};
    now->wYear = g_utcYear;
    now->wMonth = 12;
    now->wDay = 31;
    now->wHour = 23;
    now->wMinute = 59;
}

struct Seen {
    bool found = false;
    std::string caption;
    std::string version;
    std::string notice;
    bool focusOnOk = false;
};

// Runs the dialog modally on this thread while another thread finds it, reads it and then
// closes it with `close`. Returns the DoModal result.
INT_PTR RunAbout(About& about, Seen& seen, void (*close)(HWND dialog)) {
    std::thread watcher([&seen, close] {
        HWND dialog = menutest::WaitForWindow("#32770", "About...", 10000);
        if (!dialog) return;
        seen.found = true;
        char caption[64] = {};
        ::GetWindowTextA(dialog, caption, sizeof caption);
        seen.caption = caption;
        seen.version = menutest::ControlText(dialog, IDC_VERSION);
        seen.notice = menutest::ControlText(dialog, IDC_NOTICE);
        seen.focusOnOk = menutest::FocusOfThread(dialog) == ::GetDlgItem(dialog, IDOK);
        close(dialog);
    });
    const INT_PTR result = about.DoModal();
    watcher.join();
    return result;
}

void ClickOk(HWND dialog) {
    ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

TEST(AboutDialog, ShowsTheVersionLineAndGivesTheFocusToOk) {
    g_utcYear = 2031;
    About about(nullptr, &StandInClock);
    Seen seen;
    EXPECT_EQ(IDOK, RunAbout(about, seen, &ClickOk));
    ASSERT_TRUE(seen.found);
    EXPECT_EQ("About...", seen.caption);
    EXPECT_EQ("Veltrane v1.0 build 6", seen.version);
    EXPECT_TRUE(seen.focusOnOk);
}

TEST(AboutDialog, NoticeYearFollowsTheUtcClockButNeverGoesBefore2006) {
    const struct {
        WORD utcYear;
        const char* notice;
    } cases[] = {
        {2005, "Copyright (C) 2006 The Veltrane project"},
        {2006, "Copyright (C) 2006 The Veltrane project"},
        {2007, "Copyright (C) 2007 The Veltrane project"},
        {2031, "Copyright (C) 2031 The Veltrane project"},
        {12345, "Copyright (C) 12345 The Veltrane project"},  // no digit grouping
    };
    for (const auto& c : cases) {
        g_utcYear = c.utcYear;
        About about(nullptr, &StandInClock);
        Seen seen;
        RunAbout(about, seen, &ClickOk);
        EXPECT_EQ(c.notice, seen.notice) << c.utcYear;
    }
}

TEST(AboutDialog, EnterEscAndTheCloseBoxEndIt) {
    g_utcYear = 2024;
    struct Closing {
        void (*close)(HWND);
        INT_PTR result;
    };
    const Closing closings[] = {
        {[](HWND dialog) {
             // The focus is on OK: Enter presses it.
             const HWND focus = menutest::FocusOfThread(dialog);
             ::PostMessageA(focus, WM_KEYDOWN, VK_RETURN, 0);
             ::PostMessageA(focus, WM_KEYUP, VK_RETURN, 0);
         },
         IDOK},
        {[](HWND dialog) { ::PostMessageA(::GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0); },
         IDCANCEL},
        {[](HWND dialog) { ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); }, IDCANCEL},
    };
    for (const Closing& closing : closings) {
        About about(nullptr, &StandInClock);
        Seen seen;
        EXPECT_EQ(closing.result, RunAbout(about, seen, closing.close));
        EXPECT_TRUE(seen.found);
    }
}

TEST(AboutDialog, RealClockGivesTheCurrentUtcYear) {
    SYSTEMTIME now;
    ::GetSystemTime(&now);
    About about;
    Seen seen;
    RunAbout(about, seen, &ClickOk);
    EXPECT_EQ("Copyright (C) " + std::to_string(now.wYear) + " The Veltrane project", seen.notice);
}

TEST(QXVersion, TextsDoNotDependOnTheOrderOfTheCalls) {
    CQXVersion version(12, -3, 2147483647);
    const std::string build = version.GetBuildText();
    const std::string major = version.GetMajorText();
    const std::string minor = version.GetMinorText();
    EXPECT_EQ("12", major);
    EXPECT_EQ("-3", minor);
    EXPECT_EQ("2147483647", build);
}

TEST(OpenUrl, ReturnsTrueEvenWhenNothingCanOpenTheAddress) {
    EXPECT_TRUE(veltrane::OpenUrl("veltrane-no-such-scheme:nothing"));
}

}  // namespace
