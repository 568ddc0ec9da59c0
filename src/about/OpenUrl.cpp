#include "about/OpenUrl.h"

#include <windows.h>
#include <shellapi.h>

namespace veltrane {

bool OpenUrl(const std::string& url) {
    const HINSTANCE result =
        ::ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOW);
    // ShellExecute reports success as a value above 32.
    return reinterpret_cast<INT_PTR>(result) > 32;
}

}  // namespace veltrane
