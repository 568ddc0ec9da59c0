#include "wipe/Win32FileSystem.h"

#include <windows.h>
#include <shellapi.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "wipe/Paths.h"
#include "wipe/Unicode.h"

namespace veltrane {
namespace {

HANDLE Native(FileSystem::Handle h) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(h));
}

HANDLE Native(FileSystem::FindHandle h) {
    return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(h));
}

constexpr DWORD kMoveMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};

// FILE_ID_INFO and its class (Windows 8 and later), spelled here: the headers show them
// only to programs that require Windows 8.
struct FileIdInformation {
    ULONGLONG VolumeSerialNumber;
    BYTE FileId[16];
};
constexpr auto kFileIdInfo = static_cast<FILE_INFO_BY_HANDLE_CLASS>(18);

// FILE_DISPOSITION_INFO_EX and its class (Windows 10 1607 and later), likewise.
struct FileDispositionInformationEx {
    DWORD Flags;
};
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr DWORD kDispositionDelete = 0x1;
constexpr DWORD kDispositionPosixSemantics = 0x2;

std::wstring ToWide(const std::u16string& s) {
    return std::wstring(s.begin(), s.end());
}

// A name as the system holds it, in UTF-8; one with no exact form carries the mark.
std::string NameFromSystem(const wchar_t* name) {
    const std::u16string units(name, name + std::wcslen(name));
    std::string out;
    if (Utf16ToUtf8(units, out)) return out;
    // For showing only: every unit that does not convert becomes U+FFFD.
    std::string shown(1, kUnreadableNameMark);
    for (char16_t unit : units) {
        std::string one;
        shown += Utf16ToUtf8(std::u16string(1, unit), one) ? one : "\xEF\xBF\xBD";
    }
    return shown;
}

// A full folder path from the system (the current folder, or a drive's), in UTF-8.
bool SystemFolder(const wchar_t* of, std::string& folder) {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD n =
            ::GetFullPathNameW(of, static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (n == 0) return false;
        if (n < buffer.size()) break;
        buffer.resize(n + 1);
    }
    const std::wstring w(buffer.data());
    if (!Utf16ToUtf8(std::u16string(w.begin(), w.end()), folder)) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    return true;
}

// Whether the volume holding `path` can keep named streams; true when that cannot be read,
// so that a failed listing is never mistaken for an empty one.
bool VolumeKeepsStreams(const std::wstring& path) {
    std::vector<wchar_t> root(path.size() + 2);
    DWORD flags = 0;
    if (!::GetVolumePathNameW(path.c_str(), root.data(), static_cast<DWORD>(root.size())) ||
        !::GetVolumeInformationW(root.data(), nullptr, 0, nullptr, nullptr, &flags, nullptr, 0)) {
        return true;
    }
    return (flags & FILE_NAMED_STREAMS) != 0;
}

}  // namespace

bool Win32FileSystem::WidePath(const std::string& path, std::wstring& wide) {
    std::string absolute = path;
    switch (ClassifyPath(path)) {
        case PathKind::DriveAbsolute:
        case PathKind::Unc:
        case PathKind::Extended:
            break;
        case PathKind::Device:
            ::SetLastError(ERROR_INVALID_NAME);
            return false;
        case PathKind::Relative:
        case PathKind::Rooted: {
            std::string base;
            if (!SystemFolder(L".", base)) return false;
            absolute = ResolveAgainst(base, path);
            break;
        }
        case PathKind::DriveRelative: {
            const wchar_t drive[] = {static_cast<wchar_t>(path[0]), L':', L'\0'};
            std::string base;
            if (!SystemFolder(drive, base)) return false;
            absolute = ResolveAgainst(base, path);
            break;
        }
    }
    const std::string extended = ExtendedLengthPath(absolute);
    std::u16string units;
    if (extended.empty() || extended.find('\0') != std::string::npos) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    if (!Utf8ToUtf16(extended, units)) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    wide = ToWide(units);
    return true;
}

FileSystem::Handle Win32FileSystem::OpenExclusive(const std::string& path) {
    std::wstring wide;
    if (!WidePath(path, wide)) return kInvalidHandle;
    // A link swapped in under the name is opened as the link, never followed to its target.
    // DELETE: the wipe renames and deletes the file through this handle, never by name.
    HANDLE h =
        ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0, nullptr,
                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kInvalidHandle;
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        ::SetLastError(ERROR_ACCESS_DENIED);
        return kInvalidHandle;
    }
    return static_cast<Handle>(reinterpret_cast<std::intptr_t>(h));
}

bool Win32FileSystem::MoveOpen(Handle h, const std::string&, const std::string& to) {
    std::wstring wide;
    if (!WidePath(to, wide)) return false;
    // The structure ends in the name, which is stored with it.
    const std::size_t nameBytes = (wide.size() + 1) * sizeof(wchar_t);
    const std::size_t bytes = offsetof(FILE_RENAME_INFO, FileName) + nameBytes;
    std::vector<std::uint64_t> block((bytes + 7) / 8);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(block.data());
    info->ReplaceIfExists = FALSE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, wide.c_str(), nameBytes);
    if (::SetFileInformationByHandle(Native(h), FileRenameInfo, info, static_cast<DWORD>(bytes))) {
        return true;
    }
    if (::GetLastError() == ERROR_FILE_EXISTS) ::SetLastError(ERROR_ALREADY_EXISTS);
    return false;
}

bool Win32FileSystem::RemoveOpen(Handle h, const std::string&) {
    // POSIX semantics: the name goes at once, not when the last handle closes.
    FileDispositionInformationEx ex{kDispositionDelete | kDispositionPosixSemantics};
    if (::SetFileInformationByHandle(Native(h), kFileDispositionInfoEx, &ex, sizeof ex)) {
        return true;
    }
    const DWORD error = ::GetLastError();
    // Older systems, and file systems without POSIX deletes (FAT): the classic disposition.
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED &&
        error != ERROR_INVALID_FUNCTION) {
        return false;
    }
    FILE_DISPOSITION_INFO classic{TRUE};
    return ::SetFileInformationByHandle(Native(h), FileDispositionInfo, &classic, sizeof classic) !=
           FALSE;
}

bool Win32FileSystem::Close(Handle h) {
    return ::CloseHandle(Native(h)) != FALSE;
}

bool Win32FileSystem::Identify(Handle h, FileIdentity& identity) {
    // The volume's serial number and the file's number on it, asked for alone: the full
    // BY_HANDLE_FILE_INFORMATION costs several times as much, once per pass. (Its 128-bit
    // file number, folded to 64 bits: two files that differ stay different in practice,
    // and a wrong match could only refuse a pass, never write elsewhere undetected by
    // the volume.)
    FileIdInformation id{};
    if (::GetFileInformationByHandleEx(Native(h), kFileIdInfo, &id, sizeof id)) {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        std::memcpy(&low, id.FileId, 8);
        std::memcpy(&high, id.FileId + 8, 8);
        identity.volume = id.VolumeSerialNumber;
        identity.file = low ^ (high * 0x9E3779B97F4A7C15ull);
        return true;
    }
    // Before Windows 8.
    BY_HANDLE_FILE_INFORMATION info;
    if (!::GetFileInformationByHandle(Native(h), &info)) return false;
    identity.volume = info.dwVolumeSerialNumber;
    identity.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool Win32FileSystem::IdentifyPath(const std::string& path, FileIdentity& identity) {
    std::wstring wide;
    if (!WidePath(path, wide)) return false;
    // No data access: the share modes of other programs' handles do not apply.
    HANDLE h = ::CreateFileW(
        wide.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    const bool ok = Identify(static_cast<Handle>(reinterpret_cast<std::intptr_t>(h)), identity);
    const DWORD error = ::GetLastError();
    ::CloseHandle(h);
    ::SetLastError(error);
    return ok;
}

bool Win32FileSystem::GetSize64(Handle h, std::int64_t& size) {
    return m_kernel.GetSize64(Native(h), size);
}

bool Win32FileSystem::Seek64(Handle h, std::int64_t distance, SeekOrigin origin,
                             std::int64_t& newPosition) {
    return m_kernel.Seek64(Native(h), distance, kMoveMethods[static_cast<int>(origin)],
                           newPosition);
}

bool Win32FileSystem::Write(Handle h, const void* data, std::uint32_t size,
                            std::uint32_t& written) {
    DWORD done = 0;
    const BOOL ok = ::WriteFile(Native(h), data, size, &done, nullptr);
    written = done;
    return ok != FALSE;
}

bool Win32FileSystem::Flush(Handle h) {
    return ::FlushFileBuffers(Native(h)) != FALSE;
}

bool Win32FileSystem::Move(const std::string& from, const std::string& to) {
    std::wstring wideFrom;
    std::wstring wideTo;
    if (!WidePath(from, wideFrom) || !WidePath(to, wideTo)) return false;
    return ::MoveFileExW(wideFrom.c_str(), wideTo.c_str(), 0) != FALSE;
}

bool Win32FileSystem::Remove(const std::string& path) {
    std::wstring wide;
    return WidePath(path, wide) && ::DeleteFileW(wide.c_str()) != FALSE;
}

bool Win32FileSystem::Recycle(const std::string& path) {
    std::wstring wide;
    if (!WidePath(path, wide)) return false;
    // The shell's file operations take no extended-length prefix.
    if (wide.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        wide = L"\\\\" + wide.substr(8);
    } else {
        wide.erase(0, 4);
    }
    // A list of one path, closed by an empty entry.
    wide.push_back(L'\0');

    SHFILEOPSTRUCTW op{};
    op.hwnd = nullptr;
    op.wFunc = FO_DELETE;
    op.pFrom = wide.c_str();
    op.pTo = nullptr;
    op.fFlags = FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_FILESONLY;
    op.fAnyOperationsAborted = FALSE;
    op.hNameMappings = nullptr;
    op.lpszProgressTitle = L"Progress";
    const int result = ::SHFileOperationW(&op);
    if (result != 0) ::SetLastError(static_cast<DWORD>(result));
    return result == 0;
}

bool Win32FileSystem::NamedStreams(const std::string& path, std::vector<std::string>& streams) {
    std::wstring wide;
    if (!WidePath(path, wide)) return false;
    streams.clear();
    WIN32_FIND_STREAM_DATA data;
    HANDLE h = ::FindFirstStreamW(wide.c_str(), FindStreamInfoStandard, &data, 0);
    if (h == INVALID_HANDLE_VALUE) {
        const DWORD error = ::GetLastError();
        // None at all, or a volume that keeps none (FAT): nothing more to wipe. Any other
        // failure leaves the streams unknown.
        if (error == ERROR_HANDLE_EOF || !VolumeKeepsStreams(wide)) return true;
        ::SetLastError(error);
        return false;
    }
    bool ok = true;
    do {
        // ":name:$DATA"; the unnamed "::$DATA" is the file's own data.
        const std::wstring name = data.cStreamName;
        const std::size_t end = name.rfind(L":$DATA");
        if (name.size() < 2 || name[0] != L':' || end == std::wstring::npos || end <= 1) continue;
        std::string utf8;
        const std::wstring stream = name.substr(1, end - 1);
        if (!Utf16ToUtf8(std::u16string(stream.begin(), stream.end()), utf8)) {
            ok = false;  // a stream that cannot be named cannot be wiped
            ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
            break;
        }
        streams.push_back(path + ":" + utf8);
    } while (::FindNextStreamW(h, &data));
    const DWORD error = ::GetLastError();
    ::FindClose(h);
    if (ok && error != ERROR_HANDLE_EOF) {
        ::SetLastError(error);
        return false;
    }
    if (!ok) ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
    return ok;
}

std::uint32_t Win32FileSystem::Attributes(const std::string& path) {
    std::wstring wide;
    if (!WidePath(path, wide)) return kInvalidAttributes;
    return ::GetFileAttributesW(wide.c_str());
}

bool Win32FileSystem::ReparseTag(const std::string& path, std::uint32_t& tag) {
    std::wstring wide;
    if (!WidePath(path, wide)) return false;
    // The enumeration reports the entry itself, never its target, with the tag in
    // dwReserved0.
    WIN32_FIND_DATAW data;
    HANDLE h =
        ::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::FindClose(h);
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
        ::SetLastError(ERROR_NOT_A_REPARSE_POINT);
        return false;
    }
    tag = data.dwReserved0;
    return true;
}

FileSystem::FindHandle Win32FileSystem::FindFirst(const std::string& pattern, std::string& name) {
    std::wstring wide;
    if (!WidePath(pattern, wide)) return kInvalidFind;
    WIN32_FIND_DATAW data;
    HANDLE h =
        ::FindFirstFileExW(wide.c_str(), FindExInfoBasic, &data, FindExSearchNameMatch, nullptr, 0);
    if (h == INVALID_HANDLE_VALUE) return kInvalidFind;
    name = NameFromSystem(data.cFileName);
    return static_cast<FindHandle>(reinterpret_cast<std::intptr_t>(h));
}

bool Win32FileSystem::FindNext(FindHandle h, std::string& name) {
    WIN32_FIND_DATAW data;
    if (!::FindNextFileW(Native(h), &data)) return false;
    name = NameFromSystem(data.cFileName);
    return true;
}

bool Win32FileSystem::FindEnd(FindHandle h) {
    return ::FindClose(Native(h)) != FALSE;
}

bool Win32FileSystem::RemoveFolder(const std::string& path) {
    std::wstring wide;
    return WidePath(path, wide) && ::RemoveDirectoryW(wide.c_str()) != FALSE;
}

bool Win32FileSystem::QueryVolume(const std::string& root, VolumeFacts& facts) {
    // The volume functions take a plain root ("D:\\", "\\\\server\\share\\"), not the
    // extended-length form.
    std::u16string units;
    if (!Utf8ToUtf16(root, units)) {
        ::SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return false;
    }
    std::wstring wide = ToWide(units);
    if (wide.empty() || wide.find(L'\0') != std::wstring::npos) {
        ::SetLastError(ERROR_INVALID_NAME);
        return false;
    }
    if (wide.back() != L'\\' && wide.back() != L'/') wide.push_back(L'\\');
    switch (::GetDriveTypeW(wide.c_str())) {
        case DRIVE_FIXED:
            facts.kind = VolumeKind::Fixed;
            break;
        case DRIVE_REMOVABLE:
            facts.kind = VolumeKind::Removable;
            break;
        case DRIVE_REMOTE:
            facts.kind = VolumeKind::Remote;
            break;
        case DRIVE_CDROM:
            facts.kind = VolumeKind::Optical;
            break;
        case DRIVE_RAMDISK:
            facts.kind = VolumeKind::RamDisk;
            break;
        case DRIVE_NO_ROOT_DIR:
            ::SetLastError(ERROR_PATH_NOT_FOUND);
            return false;
        default:
            facts.kind = VolumeKind::Unknown;
            break;
    }
    wchar_t fileSystem[MAX_PATH + 1] = {};
    DWORD flags = 0;
    if (!::GetVolumeInformationW(wide.c_str(), nullptr, 0, nullptr, nullptr, &flags, fileSystem,
                                 MAX_PATH + 1)) {
        return false;
    }
    facts.readOnly = (flags & FILE_READ_ONLY_VOLUME) != 0;
    facts.fileSystem = NameFromSystem(fileSystem);
    ULARGE_INTEGER available{};
    ULARGE_INTEGER total{};
    if (!::GetDiskFreeSpaceExW(wide.c_str(), &available, &total, nullptr)) return false;
    facts.freeBytes = available.QuadPart;
    facts.totalBytes = total.QuadPart;
    return true;
}

bool Win32FileSystem::CreateFolder(const std::string& path, bool hidden) {
    std::wstring wide;
    if (!WidePath(path, wide) || !::CreateDirectoryW(wide.c_str(), nullptr)) return false;
    // Hidden is a courtesy to Explorer's view; the folder serves without it.
    if (hidden) ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_HIDDEN);
    return true;
}

FileSystem::Handle Win32FileSystem::CreateNew(const std::string& path) {
    std::wstring wide;
    if (!WidePath(path, wide)) return kInvalidHandle;
    HANDLE h = ::CreateFileW(wide.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kInvalidHandle;
    return static_cast<Handle>(reinterpret_cast<std::intptr_t>(h));
}

bool Win32FileSystem::Truncate(Handle h, std::int64_t size) {
    std::int64_t position = 0;
    return m_kernel.Seek64(Native(h), size, FILE_BEGIN, position) &&
           ::SetEndOfFile(Native(h)) != FALSE;
}

void* Win32FileSystem::Allocate(std::size_t size) {
    void* block = ::HeapAlloc(::GetProcessHeap(), 0, size);
    if (block == nullptr) ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return block;
}

void Win32FileSystem::Free(void* block) {
    if (block != nullptr) ::HeapFree(::GetProcessHeap(), 0, block);
}

std::uint32_t Win32FileSystem::LastError() const {
    return ::GetLastError();
}

FileSystem& PlatformFileSystem() {
    static Win32FileSystem fs;
    return fs;
}

}  // namespace veltrane
