#include "wipe/Kernel32.h"

#include <windows.h>

namespace veltrane {
namespace {

// The 32-bit functions and GetLastError with the spelled-out signatures of the header.
// Each clears the error code first: all bits set is a valid result that only a clear
// code tells from a failure, and not every implementation clears it on success.
std::uint32_t __stdcall SetFilePointer32(void* file, std::int32_t low, std::int32_t* high,
                                         std::uint32_t method) {
    ::SetLastError(NO_ERROR);
    LONG h = high != nullptr ? *high : 0;
    const DWORD result = ::SetFilePointer(file, low, high != nullptr ? &h : nullptr, method);
    if (high != nullptr) *high = h;
    return result;
}

std::uint32_t __stdcall GetFileSize32(void* file, std::uint32_t* high) {
    ::SetLastError(NO_ERROR);
    DWORD h = 0;
    const DWORD result = ::GetFileSize(file, high != nullptr ? &h : nullptr);
    if (high != nullptr) *high = h;
    return result;
}

std::uint32_t __stdcall LastError32() {
    return ::GetLastError();
}

Kernel32::EntryPoints SystemEntryPoints() {
    Kernel32::EntryPoints e{};
    // kernel32 is loaded in every process; it is neither loaded nor freed here.
    if (HMODULE kernel = ::GetModuleHandleA("kernel32.dll")) {
        e.setFilePointerEx = reinterpret_cast<Kernel32::SetFilePointerExFn>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "SetFilePointerEx")));
        e.getFileSizeEx = reinterpret_cast<Kernel32::GetFileSizeExFn>(
            reinterpret_cast<void*>(::GetProcAddress(kernel, "GetFileSizeEx")));
    }
    e.setFilePointer = &SetFilePointer32;
    e.getFileSize = &GetFileSize32;
    e.getLastError = &LastError32;
    return e;
}

}  // namespace

Kernel32::Kernel32() : m_entries(SystemEntryPoints()) {}

Kernel32::Kernel32(const EntryPoints& entries) : m_entries(entries) {}

bool Kernel32::Seek64(void* file, std::int64_t distance, std::uint32_t moveMethod,
                      std::int64_t& newPosition) const {
    if (m_entries.setFilePointerEx != nullptr) {
        return m_entries.setFilePointerEx(file, distance, &newPosition, moveMethod) != 0;
    }
    const std::uint64_t d = static_cast<std::uint64_t>(distance);
    std::int32_t high = static_cast<std::int32_t>(static_cast<std::uint32_t>(d >> 32));
    const std::uint32_t low = m_entries.setFilePointer(
        file, static_cast<std::int32_t>(static_cast<std::uint32_t>(d)), &high, moveMethod);
    // All bits set is also a valid low word; only the error code tells failure.
    if (low == INVALID_SET_FILE_POINTER && m_entries.getLastError() != NO_ERROR) return false;
    newPosition = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(static_cast<std::uint32_t>(high)) << 32) | low);
    return true;
}

bool Kernel32::GetSize64(void* file, std::int64_t& size) const {
    if (m_entries.getFileSizeEx != nullptr) return m_entries.getFileSizeEx(file, &size) != 0;
    std::uint32_t high = 0;
    const std::uint32_t low = m_entries.getFileSize(file, &high);
    if (low == INVALID_FILE_SIZE && m_entries.getLastError() != NO_ERROR) return false;
    size = static_cast<std::int64_t>((static_cast<std::uint64_t>(high) << 32) | low);
    return true;
}

}  // namespace veltrane
