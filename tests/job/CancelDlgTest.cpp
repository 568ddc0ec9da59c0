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

// Template 130 as the resource holds it, read field by field (DLGTEMPLATEEX).
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : m_at(data), m_start(data) {}
    template <class T>
    T Read() {
        T value;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    // A string, or an ordinal as "#n"; lower case (the resource compiler writes upper).
    std::string Name() {
        if (Read<WORD>() == 0xFFFF) return "#" + std::to_string(Read<WORD>());
        m_at -= sizeof(WORD);
        std::string text;
        for (WORD c = Read<WORD>(); c != 0; c = Read<WORD>()) {
            text += static_cast<char>(std::tolower(c));
        }
        return text;
    }
    std::vector<short> Rect() {
        std::vector<short> rect;
        for (int i = 0; i < 4; ++i) rect.push_back(Read<short>());
        return rect;
    }
    void AlignDword() { m_at += (4 - (m_at - m_start) % 4) % 4; }
    void Skip(std::size_t bytes) { m_at += bytes; }

private:
    const BYTE* m_at;
    const BYTE* m_start;
};

TEST(CancelDialogTemplateTest, HoldsTheProgressDialogsControlsWithTheirStyles) {
    HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_CANCEL), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    TemplateReader in(static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, found))));
    EXPECT_EQ(in.Read<WORD>(), 1);  // DIALOGEX
    EXPECT_EQ(in.Read<WORD>(), 0xFFFF);
    in.Read<DWORD>();                 // help id
    EXPECT_EQ(in.Read<DWORD>(), 0u);  // no extended style
    EXPECT_EQ(in.Read<DWORD>(),
              DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    const WORD count = in.Read<WORD>();
    EXPECT_EQ(in.Rect(), (std::vector<short>{0, 0, 295, 92}));
    EXPECT_EQ(in.Name(), "");  // no menu
    EXPECT_EQ(in.Name(), "");  // no class
    EXPECT_EQ(in.Name(), "veltrane");
    EXPECT_EQ(in.Read<WORD>(), 8);  // points
    EXPECT_EQ(in.Read<WORD>(), 0);  // weight
    EXPECT_EQ(in.Read<WORD>(), 0);  // not italic, character set 0
    EXPECT_EQ(in.Name(), "verdana");

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const DWORD bar = child | WS_BORDER | PBS_SMOOTH;
    const struct {
        int id;
        const char* className;
        const char* text;
        DWORD style, exStyle;
        short x, y, width, height;
    } expected[] = {
        {IDCANCEL, "#128", "cancel", child | WS_TABSTOP | BS_PUSHBUTTON, 0, 238, 6, 50, 14},
        {IDC_STATUS, "#130", "10 of 43 files processed", child | WS_GROUP | SS_LEFT, 0, 6, 73, 86,
         8},
        {IDC_PATH, "#130", "path", child | WS_GROUP | SS_CENTER, 0, 6, 44, 282, 8},
        {IDC_ITEMS_BAR, "msctls_progress32", "progress1", bar, 0, 215, 71, 73, 11},
        {IDC_FILE_BAR, "msctls_progress32", "progress1", bar, 0, 215, 55, 73, 11},
        {-1, "#130", "processing", child | WS_GROUP | SS_LEFT, 0, 6, 57, 57, 8},
        {IDC_ANIMATE, "sysanimate32", "", child | WS_TABSTOP | ACS_TRANSPARENT | ACS_AUTOPLAY,
         WS_EX_TRANSPARENT, 6, 6, 45, 34},
    };
    ASSERT_EQ(count, std::size(expected));
    for (const auto& want : expected) {
        SCOPED_TRACE(want.id);
        in.AlignDword();
        in.Read<DWORD>();  // help id
        EXPECT_EQ(in.Read<DWORD>(), want.exStyle);
        EXPECT_EQ(in.Read<DWORD>(), want.style);
        EXPECT_EQ(in.Rect(), (std::vector<short>{want.x, want.y, want.width, want.height}));
        EXPECT_EQ(static_cast<int>(in.Read<DWORD>()), want.id);
        EXPECT_EQ(in.Name(), want.className);
        EXPECT_EQ(in.Name(), want.text);
        in.Skip(in.Read<WORD>());  // creation data
    }
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
