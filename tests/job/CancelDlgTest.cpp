// The progress dialog on its own: the template's controls, what OnInitDialog sets, the
// bars, and Cancel by button, Esc and close box.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cctype>
#include <cstring>
#include <iterator>
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

    CCancelDlg* dialog = nullptr;
    HWND hwnd = nullptr;
};

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Template 130 as the resource holds it, read field by field (DLGTEMPLATEEX).
class TemplateReader {
public:
    explicit TemplateReader(const BYTE* data) : m_at(data), m_start(data) {}
    WORD Word() {
        WORD value;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    DWORD Dword() {
        DWORD value;
        std::memcpy(&value, m_at, sizeof value);
        m_at += sizeof value;
        return value;
    }
    short Short() { return static_cast<short>(Word()); }
    BYTE Byte() { return *m_at++; }
    // A string or an ordinal ("#n").
    std::string NameOrOrdinal() {
        if (*reinterpret_cast<const WORD*>(m_at) == 0xFFFF) {
            Word();
            return "#" + std::to_string(Word());
        }
        std::string text;
        for (WORD c = Word(); c != 0; c = Word()) text += static_cast<char>(c);
        return text;
    }
    void AlignDword() {
        while ((m_at - m_start) % 4) ++m_at;
    }
    void Skip(std::size_t bytes) { m_at += bytes; }

private:
    const BYTE* m_at;
    const BYTE* m_start;
};

TEST(CancelDialogTemplateTest, TemplateHoldsExactlyTheDocumentedDialog) {
    HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(IDD_CANCEL), RT_DIALOG);
    ASSERT_NE(found, nullptr);
    TemplateReader in(static_cast<const BYTE*>(::LockResource(::LoadResource(nullptr, found))));
    EXPECT_EQ(in.Word(), 1);       // DIALOGEX
    EXPECT_EQ(in.Word(), 0xFFFF);
    in.Dword();                    // help id
    EXPECT_EQ(in.Dword(), 0u);     // no extended style
    EXPECT_EQ(in.Dword(), static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU |
                                             DS_MODALFRAME | DS_SETFONT));
    const WORD count = in.Word();
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 0);
    EXPECT_EQ(in.Short(), 295);
    EXPECT_EQ(in.Short(), 92);
    EXPECT_EQ(in.NameOrOrdinal(), "");  // no menu
    EXPECT_EQ(in.NameOrOrdinal(), "");  // no class
    EXPECT_EQ(in.NameOrOrdinal(), "Veltrane");
    EXPECT_EQ(in.Word(), 8);  // points
    EXPECT_EQ(in.Word(), 0);  // weight
    EXPECT_EQ(in.Byte(), 0);  // not italic
    EXPECT_EQ(in.Byte(), 0);  // character set
    EXPECT_EQ(in.NameOrOrdinal(), "Verdana");

    struct Control {
        int id;
        std::string className;
        std::string text;
        DWORD style;
        DWORD exStyle;
        short x, y, width, height;
    };
    const DWORD visibleChild = WS_CHILD | WS_VISIBLE;
    const Control expected[] = {
        {IDCANCEL, "#128", "Cancel", visibleChild | WS_TABSTOP | BS_PUSHBUTTON, 0, 238, 6, 50, 14},
        {IDC_STATUS, "#130", "10 of 43 files processed", visibleChild | WS_GROUP | SS_LEFT, 0, 6,
         73, 86, 8},
        {IDC_PATH, "#130", "path", visibleChild | WS_GROUP | SS_CENTER, 0, 6, 44, 282, 8},
        {IDC_ITEMS_BAR, "msctls_progress32", "Progress1", visibleChild | WS_BORDER | PBS_SMOOTH, 0,
         215, 71, 73, 11},
        {IDC_FILE_BAR, "msctls_progress32", "Progress1", visibleChild | WS_BORDER | PBS_SMOOTH, 0,
         215, 55, 73, 11},
        {-1, "#130", "Processing", visibleChild | WS_GROUP | SS_LEFT, 0, 6, 57, 57, 8},
        {IDC_ANIMATE, "SysAnimate32", "",
         visibleChild | WS_TABSTOP | ACS_TRANSPARENT | ACS_AUTOPLAY, WS_EX_TRANSPARENT, 6, 6, 45,
         34},
    };
    ASSERT_EQ(count, std::size(expected));
    for (const Control& want : expected) {
        SCOPED_TRACE(want.id);
        in.AlignDword();
        in.Dword();  // help id
        EXPECT_EQ(in.Dword(), want.exStyle);
        EXPECT_EQ(in.Dword(), want.style);
        EXPECT_EQ(in.Short(), want.x);
        EXPECT_EQ(in.Short(), want.y);
        EXPECT_EQ(in.Short(), want.width);
        EXPECT_EQ(in.Short(), want.height);
        EXPECT_EQ(static_cast<int>(in.Dword()), want.id);
        EXPECT_EQ(Lower(in.NameOrOrdinal()), Lower(want.className));  // rc writes upper case
        EXPECT_EQ(in.NameOrOrdinal(), want.text);
        in.Skip(in.Word());  // creation data
    }
}

TEST_F(CancelDlgTest, TheWindowIsMadeFromTheTemplateHiddenWithItsFont) {
    EXPECT_FALSE(::IsWindowVisible(hwnd));  // hidden until the job shows it
    const struct {
        int id;
        const char* className;
    } controls[] = {{IDCANCEL, "Button"},
                    {IDC_STATUS, "Static"},
                    {IDC_PATH, "Static"},
                    {IDC_ITEMS_BAR, "msctls_progress32"},
                    {IDC_FILE_BAR, "msctls_progress32"},
                    {IDC_ANIMATE, "SysAnimate32"}};
    for (const auto& control : controls) {
        ASSERT_NE(Item(control.id), nullptr) << control.id;
        EXPECT_EQ(ClassOf(Item(control.id)), control.className);
    }
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
    HWND bar = Item(IDC_ITEMS_BAR);
    ::SendMessageA(bar, PBM_SETPOS, 5, 0);
    dialog->SetItemCount(count);
    PBRANGE range{};
    ::SendMessageA(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, count);
    EXPECT_EQ(::SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
    dialog->StepItem();
    EXPECT_EQ(::SendMessageA(bar, PBM_GETPOS, 0, 0), 1);  // step 1
    // Jump to the second-to-last item rather than stepping through 70000 repaints.
    ::SendMessageA(bar, PBM_SETPOS, count - 1, 0);
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
