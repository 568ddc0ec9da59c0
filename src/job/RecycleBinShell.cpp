#include "job/RecycleBinShell.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>

#include "framework/ExceptionReport.h"
#include "framework/Handles.h"
#include "framework/WideText.h"
#include "job/WipeConfirmation.h"
#include "wipe/Paths.h"
#include "wipe/Unicode.h"

namespace veltrane {
namespace {

using UniquePidl = UniqueCoTaskMem<ITEMIDLIST>;

std::string Utf8(const wchar_t* text) {
    std::string out;
    if (!text) return out;
    const std::wstring wide(text);
    if (!Utf16ToUtf8(std::u16string(wide.begin(), wide.end()), out)) out.clear();
    return out;
}

std::string DisplayName(IShellFolder* folder, PCUITEMID_CHILD child, SHGDNF flags) {
    STRRET ret{};
    if (FAILED(folder->GetDisplayNameOf(child, flags, &ret))) return std::string();
    UniqueCoTaskMem<wchar_t> text;
    if (FAILED(::StrRetToStrW(&ret, child, text.put()))) return std::string();
    return Utf8(text.get());
}

// Under Wine the bin is the freedesktop.org trash of the Unix user: its folder as a
// Windows path, empty elsewhere.
std::string WineTrashFolder() {
    using DosName = WCHAR*(CDECL*)(const char*);
    const auto dosName = reinterpret_cast<DosName>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_dos_file_name")));
    if (!dosName) return std::string();
    std::string unix;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data == '/') {
        unix = std::string(data) + "/Trash";
    } else if (const char* home = std::getenv("HOME"); home && *home == '/') {
        unix = std::string(home) + "/.local/share/Trash";
    } else {
        return std::string();
    }
    WCHAR* dos = dosName(unix.c_str());
    if (!dos) return std::string();
    const std::string folder = Utf8(dos);
    ::HeapFree(::GetProcessHeap(), 0, dos);
    return folder;
}

bool IsFullPath(const std::string& path) {
    const PathKind kind = ClassifyPath(path);
    return kind == PathKind::DriveAbsolute || kind == PathKind::Unc || kind == PathKind::Extended;
}

UniquePidl RecycleBinLocation() {
    UniquePidl bin;
    if (FAILED(::SHGetSpecialFolderLocation(nullptr, CSIDL_BITBUCKET, bin.put()))) bin.reset();
    return bin;
}

}  // namespace

void UpdateRecycleBinIcon() noexcept {
    // Not in every SDK's headers, but in every shell32 since Windows 2000.
    using Update = void(WINAPI*)();
    const auto update = reinterpret_cast<Update>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleA("shell32.dll"), "SHUpdateRecycleBinIcon")));
    if (update) {
        update();
        return;
    }
    const UniquePidl bin = RecycleBinLocation();
    if (bin) ::SHChangeNotify(SHCNE_UPDATEITEM, SHCNF_IDLIST, bin.get(), nullptr);
}

bool ReadRecycleBin(RecycleBinContents& contents) {
    contents = RecycleBinContents{};
    ComPtr<IShellFolder> desktop;
    if (FAILED(::SHGetDesktopFolder(desktop.Put()))) return false;
    const UniquePidl bin = RecycleBinLocation();
    ComPtr<IShellFolder> folder;
    if (!bin ||
        FAILED(desktop->BindToObject(bin.get(), nullptr, IID_IShellFolder, folder.PutVoid()))) {
        return false;
    }
    ComPtr<IEnumIDList> items;
    const HRESULT listed = folder->EnumObjects(
        nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, items.Put());
    if (listed == S_FALSE || (SUCCEEDED(listed) && !items)) return true;  // an empty bin
    if (FAILED(listed)) return false;
    const std::string trash = WineTrashFolder();
    bool trashNames = false;  // items named as Wine's trash names them
    for (;;) {
        UniqueCoTaskMem<ITEMID_CHILD> child;
        ULONG fetched = 0;
        const HRESULT next = items->Next(1, child.put(), &fetched);
        if (next == S_FALSE || fetched == 0) break;
        if (FAILED(next)) return false;
        const std::string parsing = DisplayName(folder.Get(), child.get(), SHGDN_FORPARSING);
        RecycledItem item;
        if (IsFullPath(parsing)) {
            item = RecycledItemOf(parsing);
        } else if (!trash.empty()) {
            trashNames = true;
        }
        // No path: the job reports the item as one the shell could not name.
        if (!item.recordPath.empty() &&
            PlatformFileSystem().Attributes(item.recordPath) == kInvalidAttributes) {
            item.recordPath.clear();
        }
        std::string shown = DisplayName(folder.Get(), child.get(), SHGDN_NORMAL);
        contents.names.push_back(shown.empty() ? parsing : shown);
        contents.items.push_back(std::move(item));
    }
    if (trashNames) {
        // Wine names an item by its original name, which two items may share: the trash
        // itself says which files they are.
        std::uint32_t error = 0;
        std::vector<RecycledItem> items;
        if (!ListTrashFolder(PlatformFileSystem(), trash, items, error)) return false;
        contents = RecycleBinContents{};
        for (RecycledItem& item : items) {
            contents.names.push_back(
                LastComponent(item.dataPath.empty() ? item.recordPath : item.dataPath));
            contents.items.push_back(std::move(item));
        }
    }
    return true;
}

bool IsRecycleBinObject(IDataObject* data) {
    if (!data) return false;
    static const CLIPFORMAT format =
        static_cast<CLIPFORMAT>(::RegisterClipboardFormatW(L"Shell IDList Array"));
    FORMATETC request = {format, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};
    STGMEDIUM medium = {};
    if (FAILED(data->GetData(&request, &medium))) return false;
    bool bin = false;
    if (medium.tymed == TYMED_HGLOBAL && medium.hGlobal) {
        const SIZE_T size = ::GlobalSize(medium.hGlobal);
        const auto* ida = static_cast<const CIDA*>(::GlobalLock(medium.hGlobal));
        // Only a selection of one item can be the bin; most menus stop here.
        if (ida && size >= sizeof(UINT) * 3 && ida->cidl == 1 && ida->aoffset[1] < size &&
            ida->aoffset[0] < size) {
            const UniquePidl location = RecycleBinLocation();
            const auto* base = reinterpret_cast<const BYTE*>(ida);
            const auto parent = reinterpret_cast<PCIDLIST_ABSOLUTE>(base + ida->aoffset[0]);
            const auto child = reinterpret_cast<PCUIDLIST_RELATIVE>(base + ida->aoffset[1]);
            UniquePidl full(::ILCombine(parent, child));
            bin = location && full && ::ILIsEqual(full.get(), location.get());
        }
        if (ida) ::GlobalUnlock(medium.hGlobal);
    }
    ::ReleaseStgMedium(&medium);
    return bin;
}

HRESULT WipeRecycleBin(HWND owner, UINT method, bool ask, const JobSettings& settings) {
    RecycleBinContents contents;
    if (!ReadRecycleBin(contents)) {
        ::MessageBoxW(owner,
                      L"The Recycle Bin could not be read to its end, so nothing was wiped: "
                      L"what it holds is not known.",
                      L"Veltrane", MB_OK | MB_ICONWARNING);
        return S_OK;
    }
    if (contents.items.empty()) {
        ::MessageBoxW(owner, L"The Recycle Bin is empty: there is nothing to wipe.", L"Veltrane",
                      MB_OK | MB_ICONINFORMATION);
        return S_OK;
    }
    if (ask && !AskBeforeWipe(owner, method, contents.names)) return S_OK;
    const HRESULT result = RunWipeJob(owner, method, RecycledItemPaths(contents.items), settings);
    UpdateRecycleBinIcon();
    return result;
}

}  // namespace veltrane
