#include "about/OpenUrl.h"

#include <windows.h>
#include <shellapi.h>

namespace veltrane {

bool OpenUrl(std::string url) {
    // The result is deliberately ignored: there is nothing useful to tell the user, and the
    // About dialog must stay usable whatever the browser does.
    ::ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOW);
    return true;
}

}  // namespace veltrane
