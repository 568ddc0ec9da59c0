#pragma once
// The About dialog: the version line, the notice line with the current year, and
// "Latest Info", which opens the information page.

#include <windows.h>

#include <string>

#include "framework/Dialog.h"

class About : public veltrane::CDialog {
public:
    // Where the dialog reads the current time (UTC). A test may stand in its own clock.
    using SystemClock = void(WINAPI*)(LPSYSTEMTIME);

    explicit About(HWND parent = nullptr, SystemClock clock = &::GetSystemTime);

protected:
    const veltrane::MessageMap* GetMessageMap() const override;
    BOOL OnInitDialog() override;

private:
    void OnLatestInfo();

    std::string m_infoUrl;
    SystemClock m_clock;
};

namespace veltrane {

// The year the notice line shows for a UTC year: never one before 2006.
int NoticeYear(int utcYear);

}  // namespace veltrane
