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
    return SelectedPath(path.get());
}

}  // namespace

bool WideToUtf8(const wchar_t* text, std::string& out) {
    out.clear();
    return !text || ToUtf8(text, out);
}

std::string SelectedPath(const std::wstring& path) {
    std::string utf8;
    if (ToUtf8(path, utf8)) return utf8;
    return std::string(1, kUnreadableNameMark) + WideToShown(path);
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
