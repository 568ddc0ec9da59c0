#include "wipe/Win32FileSystem.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

namespace veltrane {
namespace {

HANDLE Native(FileSystem::Handle h) {
    return reinterpret_cast<HANDLE>(h);
}

constexpr DWORD kMoveMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};

}  // namespace

FileSystem::Handle Win32FileSystem::OpenExclusive(const std::string& path) {
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<Handle>(h);
}

bool Win32FileSystem::Close(Handle h) {
    return ::CloseHandle(Native(h)) != FALSE;
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
    return ::MoveFileA(from.c_str(), to.c_str()) != FALSE;
}

bool Win32FileSystem::Remove(const std::string& path) {
    return ::DeleteFileA(path.c_str()) != FALSE;
}

bool Win32FileSystem::Recycle(const std::string& path) {
    // A list of one path, closed by an empty entry.
    const std::size_t length = path.size();
    char* list = static_cast<char*>(Allocate(length + 2));
    if (list == nullptr) return false;
    std::memcpy(list, path.c_str(), length + 1);
    list[length + 1] = '\0';

    SHFILEOPSTRUCTA op{};
    op.hwnd = nullptr;
    op.wFunc = FO_DELETE;
    op.pFrom = list;
    op.pTo = nullptr;
    op.fFlags = FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_FILESONLY;
    op.fAnyOperationsAborted = FALSE;
    op.hNameMappings = nullptr;
    op.lpszProgressTitle = "Progress";
    const int result = ::SHFileOperationA(&op);
    Free(list);
    if (result != 0) ::SetLastError(static_cast<DWORD>(result));
    return result == 0;
}

std::uint32_t Win32FileSystem::Attributes(const std::string& path) {
    return ::GetFileAttributesA(path.c_str());
}

FileSystem::FindHandle Win32FileSystem::FindFirst(const std::string& pattern, std::string& name) {
    WIN32_FIND_DATAA data;
    HANDLE h = ::FindFirstFileA(pattern.c_str(), &data);
    if (h == INVALID_HANDLE_VALUE) return kInvalidFind;
    name = data.cFileName;
    return reinterpret_cast<FindHandle>(h);
}

bool Win32FileSystem::FindNext(FindHandle h, std::string& name) {
    WIN32_FIND_DATAA data;
    if (!::FindNextFileA(Native(h), &data)) return false;
    name = data.cFileName;
    return true;
}

bool Win32FileSystem::FindEnd(FindHandle h) {
    return ::FindClose(Native(h)) != FALSE;
}

bool Win32FileSystem::RemoveFolder(const std::string& path) {
    return ::RemoveDirectoryA(path.c_str()) != FALSE;
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
