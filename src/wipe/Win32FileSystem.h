#pragma once
// The Windows file system through the wide kernel32 and shell32 functions. Paths arrive in
// UTF-8 and are converted here, in one place: exactly (a name with no exact UTF-16 form
// is refused with kErrorNoUnicodeTranslation), made full and given the extended-length
// prefix, so that long paths, trailing dots and spaces and device-like names (nul.txt,
// con) reach the real file. Free of windows.h.

#include <string>

#include "wipe/FileSystem.h"
#include "wipe/Kernel32.h"

namespace veltrane {

class Win32FileSystem : public FileSystem {
public:
    Win32FileSystem() = default;
    // With chosen kernel32 entry points for positions and sizes (tests).
    explicit Win32FileSystem(const Kernel32& kernel) : m_kernel(kernel) {}

    // The exact extended-length UTF-16 form of a path, resolved against the process's
    // current folders when it is relative. False, with the thread's last error set, when
    // the name cannot be converted exactly or names a device.
    static bool WidePath(const std::string& path, std::wstring& wide);

    // Refuses anything but a file on a disk: a device can never be written to.
    Handle OpenExclusive(const std::string& path) override;
    bool Close(Handle h) override;
    // GetFileInformationByHandle: volume serial number and file index.
    bool Identify(Handle h, FileIdentity& identity) override;
    bool IdentifyPath(const std::string& path, FileIdentity& identity) override;
    bool GetSize64(Handle h, std::int64_t& size) override;
    bool Seek64(Handle h, std::int64_t distance, SeekOrigin origin,
                std::int64_t& newPosition) override;
    bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t& written) override;
    bool Flush(Handle h) override;
    bool MoveOpen(Handle h, const std::string& from, const std::string& to) override;
    bool RemoveOpen(Handle h, const std::string& path) override;
    // MoveFileExW without replacing an existing name.
    bool Move(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
    // SHFileOperationW FO_DELETE with undo allowed and no confirmation.
    bool Recycle(const std::string& path) override;
    // FindFirstStreamW / FindNextStreamW; false where they are not supported (FAT).
    bool NamedStreams(const std::string& path, std::vector<std::string>& streams) override;
    std::uint32_t Attributes(const std::string& path) override;
    bool ReparseTag(const std::string& path, std::uint32_t& tag) override;
    FindHandle FindFirst(const std::string& pattern, std::string& name) override;
    bool FindNext(FindHandle h, std::string& name) override;
    bool FindEnd(FindHandle h) override;
    bool RemoveFolder(const std::string& path) override;
    // GetDriveTypeW, GetVolumeInformationW and GetDiskFreeSpaceExW of the plain root.
    bool QueryVolume(const std::string& root, VolumeFacts& facts) override;
    bool CreateFolder(const std::string& path, bool hidden) override;
    Handle CreateNew(const std::string& path) override;
    bool Truncate(Handle h, std::int64_t size) override;
    void* Allocate(std::size_t size) override;
    void Free(void* block) override;
    std::uint32_t LastError() const override;

private:
    Kernel32 m_kernel;
};

}  // namespace veltrane
