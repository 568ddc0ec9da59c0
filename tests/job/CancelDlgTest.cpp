// The progress dialog on its own: its template, what OnInitDialog sets, the items bar.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <cstring>
#include <iterator>
#include <string>
#include <vector>

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

class CancelDlgTest : public ::testing::Test {
protected:
    void SetUp() override {
        dialog = new CCancelDlg;
        ASSERT_TRUE(dialog->Create(nullptr));
        hwnd = dialog->GetSafeHwnd();
    }
    void TearDown() override { dialog->DestroyWindow(); }  // it deletes itself
    HWND Item(int id) const { return ::GetDlgItem(hwnd, id); }
    LRESULT Send(int id, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
        return ::SendMessageA(Item(id), message, wParam, lParam);
    }

    CCancelDlg* dialog = nullptr;
    HWND hwnd = nullptr;
};

TEST_F(CancelDlgTest, EveryControlTheJobWritesToIsThereVisibleAndClearOfTheOthers) {
    dialog->ShowWindow(SW_SHOW);
    const struct {
        int id;
        const char* kind;
    } written[] = {
        {IDCANCEL, "Button"},
        {IDC_STATUS, "Static"},
        {IDC_PATH, "Static"},
        {IDC_ITEMS_BAR, "msctls_progress32"},
        {IDC_FILE_BAR, "msctls_progress32"},
        {IDC_ANIMATE, "SysAnimate32"},
    };
    RECT client{};
    ::GetClientRect(hwnd, &client);
    std::vector<RECT> places;
    for (const auto& control : written) {
        SCOPED_TRACE(control.id);
        const HWND item = Item(control.id);
        ASSERT_NE(item, nullptr);
        char kind[64] = {};
        ::GetClassNameA(item, kind, sizeof kind);
        EXPECT_STRCASEEQ(kind, control.kind);
        EXPECT_TRUE(::IsWindowVisible(item));
        RECT place{};
        ::GetWindowRect(item, &place);
        ::MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT*>(&place), 2);
        EXPECT_GE(place.left, client.left);
        EXPECT_GE(place.top, client.top);
        EXPECT_LE(place.right, client.right);
        EXPECT_LE(place.bottom, client.bottom);
        for (const RECT& other : places) {
            RECT overlap{};
            EXPECT_FALSE(::IntersectRect(&overlap, &place, &other));
        }
        places.push_back(place);
    }
    // Cancel is a push button the keyboard reaches.
    EXPECT_TRUE(::GetWindowLongA(Item(IDCANCEL), GWL_STYLE) & WS_TABSTOP);
}

TEST_F(CancelDlgTest, InitialisationSetsTitleTextsFileBarAndAnimation) {
    EXPECT_FALSE(::IsWindowVisible(hwnd));  // until the job shows it
    EXPECT_EQ(TextOf(hwnd), "Veltrane");
    EXPECT_EQ(TextOf(Item(IDC_STATUS)), "");
    EXPECT_EQ(TextOf(Item(IDC_PATH)), "path");
    EXPECT_EQ(LockedGet(dialog->m_bCancel), 0);
    EXPECT_EQ(Send(IDC_FILE_BAR, PBM_GETRANGE, FALSE), 101);
    EXPECT_EQ(Send(IDC_FILE_BAR, PBM_GETPOS), 0);
    // pencil.avi lies beside the test program: the control takes the clip's size.
    RECT clip{};
    ::GetClientRect(Item(IDC_ANIMATE), &clip);
    EXPECT_EQ(clip.right, 64);
    EXPECT_EQ(clip.bottom, 48);
}

TEST_F(CancelDlgTest, TheItemsBarCoversMoreThanSixteenBitsOfItemsAndFillsAtTheLast) {
    const int count = 70000;
    Send(IDC_ITEMS_BAR, PBM_SETPOS, 5);
    dialog->SetItemCount(count);
    PBRANGE range{};
    Send(IDC_ITEMS_BAR, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, count);
    EXPECT_EQ(Send(IDC_ITEMS_BAR, PBM_GETPOS), 0);
    dialog->StepItem();
    EXPECT_EQ(Send(IDC_ITEMS_BAR, PBM_GETPOS), 1);
    // On to the second-to-last item at once rather than through 70000 repaints.
    Send(IDC_ITEMS_BAR, PBM_SETPOS, count - 1);
    dialog->StepItem();
    EXPECT_EQ(Send(IDC_ITEMS_BAR, PBM_GETPOS), count);

    dialog->SetFileProgress(100);
    EXPECT_EQ(Send(IDC_FILE_BAR, PBM_GETPOS), 100);  // short of the range's 101
}

}  // namespace
}  // namespace veltrane
