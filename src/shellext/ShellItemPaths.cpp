#include "shellext/ShellItemPaths.h"

#include "framework/Handles.h"
#include "framework/WideText.h"
#include "wipe/FileSystem.h"

namespace veltrane {

namespace {

std::string ItemPath(IShellItemArray* items, DWORD index) {
    ComPtr<IShellItem> item;
    if (FAILED(items->GetItemAt(index, item.Put())) || !item) return std::string();
    UniqueCoTaskMem<wchar_t> path;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, path.put())) || !path) {
        return std::string();
    }
    std::string text;
    // A name with no exact UTF-8 form is kept marked, for the job to refuse and show.
    if (!WideToUtf8(path.get(), text)) {
        text = std::string(1, kUnreadableNameMark) + WideToShown(path.get());
    }
    return text;
}

}  // namespace

bool WideToUtf8(const wchar_t* text, std::string& out) {
    out.clear();
    if (!text || !*text) return true;
    // Without WC_ERR_INVALID_CHARS an unpaired surrogate would silently become U+FFFD.
    const int size = ::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, nullptr, 0,
                                           nullptr, nullptr);
    if (size <= 1) return false;
    std::string converted(static_cast<std::size_t>(size), '\0');
    if (::WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, -1, &converted[0], size, nullptr,
                              nullptr) != size) {
        return false;
    }
    converted.pop_back();  // the terminator
    out.swap(converted);
    return true;
}

std::vector<std::string> ShellItemPaths(IShellItemArray* items) {
    std::vector<std::string> paths;
    DWORD count = 0;
    if (!items || FAILED(items->GetCount(&count))) return paths;
    paths.reserve(count);
    for (DWORD i = 0; i < count; ++i) paths.push_back(ItemPath(items, i));
    return paths;
}

}  // namespace veltrane
