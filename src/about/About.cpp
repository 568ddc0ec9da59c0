#include "about/About.h"

#include <locale>
#include <sstream>

#include "about/InfoUrl.h"
#include "about/OpenUrl.h"
#include "about/QXVersion.h"
#include "Version.h"
#include "resource.h"

namespace {

// The version shown, as the module's version resource has it.
constexpr int kMajor = VELTRANE_VERSION_MAJOR;
constexpr int kMinor = VELTRANE_VERSION_MINOR;
constexpr int kBuild = VELTRANE_VERSION_BUILD;

constexpr int kFirstNoticeYear = 2006;
constexpr char kNoticeLead[] = "Copyright (C) ";
constexpr char kNoticeTail[] = " The Veltrane project";

}  // namespace

namespace veltrane {

int NoticeYear(int utcYear) {
    return utcYear > kFirstNoticeYear ? utcYear : kFirstNoticeYear;
}

}  // namespace veltrane

About::About(HWND parent, SystemClock clock) : CDialog(IDD_ABOUT, parent), m_clock(clock) {}

const veltrane::MessageMap* About::GetMessageMap() const {
    static const veltrane::MessageMapEntry entries[] = {
        veltrane::MapClicked<&About::OnLatestInfo>(IDC_LATEST_INFO),
    };
    static const veltrane::MessageMap map =
        veltrane::MakeMessageMap(CDialog::GetMessageMap(), entries);
    return &map;
}

BOOL About::OnInitDialog() {
    CDialog::OnInitDialog();
    m_infoUrl = veltrane::kInfoUrl;

    CQXVersion version(kMajor, kMinor, kBuild);
    std::ostringstream versionLine;
    versionLine << "Veltrane v" << version.GetMajorText() << "." << version.GetMinorText()
                << " build " << version.GetBuildText();
    SetDlgItemText(IDC_VERSION, versionLine.str().c_str());

    // UTC, not the local date: the year may differ around midnight on New Year's Eve.
    SYSTEMTIME now = {};
    m_clock(&now);
    std::ostringstream notice;
    notice.imbue(std::locale::classic());  // no digit grouping in the year
    notice << kNoticeLead << veltrane::NoticeYear(now.wYear) << kNoticeTail;
    SetDlgItemText(IDC_NOTICE, notice.str().c_str());

    return TRUE;  // the focus goes to the first tab stop, OK
}

void About::OnLatestInfo() {
    // Whatever the browser does, the dialog stays open so the button can be pressed again.
    veltrane::OpenUrl(m_infoUrl);
}
