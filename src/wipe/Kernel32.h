#pragma once
// 64-bit file positions and sizes through kernel32's SetFilePointerEx and GetFileSizeEx
// when the system has them, and through the 32-bit SetFilePointer and GetFileSize, which
// every Windows version has, when it does not. Windows only; free of windows.h.

#include <cstdint>

namespace veltrane {

class Kernel32 {
public:
    // Entry points with the Windows signatures, spelled without windows.h: HANDLE is
    // void*, BOOL int, DWORD and LONG 32-bit. LARGE_INTEGER, an 8-byte union passed by
    // value, travels exactly as a 64-bit integer in both calling conventions.
    using SetFilePointerExFn = int(__stdcall*)(void* file, std::int64_t distance,
                                               std::int64_t* newPosition, std::uint32_t moveMethod);
    using GetFileSizeExFn = int(__stdcall*)(void* file, std::int64_t* size);
    using SetFilePointerFn = std::uint32_t(__stdcall*)(void* file, std::int32_t distanceLow,
                                                       std::int32_t* distanceHigh,
                                                       std::uint32_t moveMethod);
    using GetFileSizeFn = std::uint32_t(__stdcall*)(void* file, std::uint32_t* sizeHigh);
    using GetLastErrorFn = std::uint32_t(__stdcall*)();

    struct EntryPoints {
        SetFilePointerExFn setFilePointerEx;  // null: use setFilePointer
        GetFileSizeExFn getFileSizeEx;        // null: use getFileSize
        SetFilePointerFn setFilePointer;
        GetFileSizeFn getFileSize;
        GetLastErrorFn getLastError;
    };

    static constexpr std::uint32_t kFileBegin = 0;
    static constexpr std::uint32_t kFileCurrent = 1;
    static constexpr std::uint32_t kFileEnd = 2;

    // Looks both 64-bit entry points up in the already loaded kernel32.dll.
    Kernel32();
    // For tests: any entry points, e.g. a system without the 64-bit ones.
    explicit Kernel32(const EntryPoints& entries);
    virtual ~Kernel32() = default;

    bool Seek64(void* file, std::int64_t distance, std::uint32_t moveMethod,
                std::int64_t& newPosition) const;
    bool GetSize64(void* file, std::int64_t& size) const;

    const EntryPoints& Entries() const { return m_entries; }

private:
    EntryPoints m_entries;
};

}  // namespace veltrane
