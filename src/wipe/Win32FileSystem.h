#pragma once
// The Windows file system through the ANSI kernel32 and shell32 functions. Free of
// windows.h.

#include "wipe/FileSystem.h"
#include "wipe/Kernel32.h"

namespace veltrane {

class Win32FileSystem : public FileSystem {
public:
    Win32FileSystem() = default;
    // With chosen kernel32 entry points for positions and sizes (tests).
    explicit Win32FileSystem(const Kernel32& kernel) : m_kernel(kernel) {}

    Handle OpenExclusive(const std::string& path) override;
    bool Close(Handle h) override;
    bool GetSize64(Handle h, std::int64_t& size) override;
    bool Seek64(Handle h, std::int64_t distance, SeekOrigin origin,
                std::int64_t& newPosition) override;
    bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t& written) override;
    bool Flush(Handle h) override;
    bool Move(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
    // SHFileOperationA FO_DELETE with undo allowed and no confirmation.
    bool Recycle(const std::string& path) override;
    std::uint32_t Attributes(const std::string& path) override;
    FindHandle FindFirst(const std::string& pattern, std::string& name) override;
    bool FindNext(FindHandle h, std::string& name) override;
    bool FindEnd(FindHandle h) override;
    bool RemoveFolder(const std::string& path) override;
    void* Allocate(std::size_t size) override;
    void Free(void* block) override;
    std::uint32_t LastError() const override;

private:
    Kernel32 m_kernel;
};

}  // namespace veltrane
