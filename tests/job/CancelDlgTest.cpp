// The progress dialog on its own: the template's controls, what OnInitDialog sets, the
// bars, and Cancel by button, Esc and close box.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/MessagePump.h"
#include "job/CCancelDlg.h"
#include "job/JobLock.h"
#include "resource.h"

namespace veltrane {
namespace {

std::string TextOf(HWND hwnd) {
    char text[512] = {};
    ::GetWindowTextA(hwnd, text, sizeof text);
    return text;
}

std::string ClassOf(HWND hwnd) {
    char name[64] = {};
    ::GetClassNameA(hwnd, name, sizeof name);
    return name;
}

void PumpFor(DWORD milliseconds) {
    const DWORD start = ::GetTickCount();
    do {
        PumpPendingMessages();
        ::MsgWaitForMultipleObjectsEx(0, nullptr, 10, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    } while (::GetTickCount() - start < milliseconds);
}

class CancelDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog = new CCancelDlg;
        ASSERT_TRUE(dialog->Create(nullptr));
        hwnd = dialog->GetSafeHwnd();
    }
    void TearDown() override {
        if (::IsWindow(hwnd)) dialog->DestroyWindow();  // it deletes itself
    }
    HWND Item(int id) const { return ::GetDlgItem(hwnd, id); }
    RECT DialogUnits(int x, int y, int width, int height) const {
        RECT rect{x, y, x + width, y + height};
        ::MapDialogRect(hwnd, &rect);
        return rect;
    }
    RECT ClientRectOf(HWND control) const {
        RECT rect{};
        ::GetWindowRect(control, &rect);
        ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    }

    CCancelDlg* dialog = nullptr;
    HWND hwnd = nullptr;
};

TEST_F(CancelDlgTest, TheTemplateMakesTheDocumentedControls) {
    EXPECT_FALSE(::IsWindowVisible(hwnd));  // hidden until the job shows it
    const LONG style = ::GetWindowLongA(hwnd, GWL_STYLE);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME);

    struct Expected {
        int id;
        const char* className;
        LONG styleBits;
        int x, y, width, height;
    };
    const Expected controls[] = {
        {IDCANCEL, "Button", WS_TABSTOP, 238, 6, 50, 14},
        {IDC_STATUS, "Static", WS_GROUP, 6, 73, 86, 8},
        {IDC_PATH, "Static", WS_GROUP | SS_CENTER, 6, 44, 282, 8},
        {IDC_ITEMS_BAR, "msctls_progress32", WS_BORDER | PBS_SMOOTH, 215, 71, 73, 11},
        {IDC_FILE_BAR, "msctls_progress32", WS_BORDER | PBS_SMOOTH, 215, 55, 73, 11},
    };
    for (const Expected& expected : controls) {
        SCOPED_TRACE(expected.id);
        HWND control = Item(expected.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(ClassOf(control), expected.className);
        EXPECT_EQ(::GetWindowLongA(control, GWL_STYLE) & expected.styleBits, expected.styleBits);
        const RECT want = DialogUnits(expected.x, expected.y, expected.width, expected.height);
        const RECT got = ClientRectOf(control);
        EXPECT_EQ(got.left, want.left);
        EXPECT_EQ(got.top, want.top);
        EXPECT_EQ(got.right, want.right);
        EXPECT_EQ(got.bottom, want.bottom);
    }
    HWND animation = Item(IDC_ANIMATE);
    ASSERT_NE(animation, nullptr);
    EXPECT_EQ(ClassOf(animation), "SysAnimate32");
    EXPECT_EQ(::GetWindowLongA(animation, GWL_STYLE) & (ACS_TRANSPARENT | ACS_AUTOPLAY),
              ACS_TRANSPARENT | ACS_AUTOPLAY);
    EXPECT_TRUE(::GetWindowLongA(animation, GWL_EXSTYLE) & WS_EX_TRANSPARENT);

    LOGFONTA font{};
    ::GetObjectA(reinterpret_cast<HFONT>(::SendMessageA(hwnd, WM_GETFONT, 0, 0)), sizeof font,
                 &font);
    EXPECT_STREQ(font.lfFaceName, "Verdana");
}

TEST_F(CancelDlgTest, InitialisationSetsTitleTextsBarAndAnimation) {
    EXPECT_EQ(TextOf(hwnd), "Veltrane");
    EXPECT_EQ(TextOf(Item(IDC_STATUS)), "");
    EXPECT_EQ(TextOf(Item(IDC_PATH)), "path");
    EXPECT_EQ(LockedGet(dialog->m_bCancel), 0);
    EXPECT_EQ(::SendMessageA(Item(IDC_FILE_BAR), PBM_GETRANGE, FALSE, 0), 101);
    EXPECT_EQ(::SendMessageA(Item(IDC_FILE_BAR), PBM_GETPOS, 0, 0), 0);
    // pencil.avi lies beside the test program: the control takes the clip's size.
    RECT clip{};
    ::GetClientRect(Item(IDC_ANIMATE), &clip);
    EXPECT_EQ(clip.right, 64);
    EXPECT_EQ(clip.bottom, 48);
}

TEST_F(CancelDlgTest, TheItemsBarCoversMoreThanSixteenBitsOfItems) {
    const int count = 70000;
    dialog->SetItemCount(count);
    HWND bar = Item(IDC_ITEMS_BAR);
    PBRANGE range{};
    ::SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, count);
    EXPECT_EQ(::SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
    for (int i = 0; i < count - 1; ++i) dialog->StepItem();
    EXPECT_EQ(::SendMessageA(bar, PBM_GETPOS, 0, 0), count - 1);
    dialog->StepItem();
    EXPECT_EQ(::SendMessageA(bar, PBM_GETPOS, 0, 0), count);  // full at the last item

    dialog->SetFileProgress(100);
    EXPECT_EQ(::SendMessageA(Item(IDC_FILE_BAR), PBM_GETPOS, 0, 0), 100);  // short of 101
    dialog->SetStatusText("Processing file 3 of 7");
    dialog->SetPathText("C:\\some\\where");
    EXPECT_EQ(TextOf(Item(IDC_STATUS)), "Processing file 3 of 7");
    EXPECT_EQ(TextOf(Item(IDC_PATH)), "C:\\some\\where");
}

// Each way of cancelling, on a fresh dialog: the button greys out, the status line says
// so, the request is recorded, and the dialog stays.
TEST_F(CancelDlgTest, CancelButtonEscAndCloseBoxOnlyRecordARequest) {
    const auto pressButton = [](HWND dlg) {
        ::SendMessageA(::GetDlgItem(dlg, IDCANCEL), BM_CLICK, 0, 0);
    };
    const auto pressEsc = [](HWND dlg) {
        ::PostMessageA(::GetDlgItem(dlg, IDCANCEL), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    };
    const auto closeBox = [](HWND dlg) { ::PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0); };
    const struct {
        const char* name;
        void (*press)(HWND);
    } ways[] = {{"button", pressButton}, {"esc", pressEsc}, {"close box", closeBox}};

    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        if (!::IsWindow(hwnd)) SetUp();
        dialog->ShowWindow(SW_SHOW);
        way.press(hwnd);
        PumpFor(50);
        ASSERT_TRUE(::IsWindow(hwnd));
        EXPECT_FALSE(::IsWindowEnabled(Item(IDCANCEL)));
        EXPECT_EQ(TextOf(Item(IDC_STATUS)), "Waiting for operation to complete.");
        EXPECT_EQ(LockedGet(dialog->m_bCancel), 1);
        // Again: nothing changes.
        way.press(hwnd);
        PumpFor(20);
        EXPECT_TRUE(::IsWindow(hwnd));
        EXPECT_EQ(LockedGet(dialog->m_bCancel), 1);
        dialog->ShowWindow(SW_HIDE);
        dialog->DestroyWindow();
    }
}

TEST_F(CancelDlgTest, TheTimerTicksOnlyWhileTheDialogIsShown) {
    const auto timerPending = [this](DWORD waitMs) {
        const DWORD start = ::GetTickCount();
        MSG msg{};
        while (::GetTickCount() - start < waitMs) {
            if (::PeekMessageA(&msg, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE) && msg.wParam == 10) {
                return true;
            }
            ::Sleep(10);
        }
        return false;
    };
    EXPECT_FALSE(timerPending(600));
    dialog->ShowWindow(SW_SHOW);
    EXPECT_TRUE(timerPending(1000));
    dialog->ShowWindow(SW_HIDE);
    MSG msg{};
    while (::PeekMessageA(&msg, hwnd, WM_TIMER, WM_TIMER, PM_REMOVE)) {
    }
    EXPECT_FALSE(timerPending(600));
}

}  // namespace
}  // namespace veltrane
