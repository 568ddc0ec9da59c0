#pragma once
// A folder's enumeration through the file-system interface, closed on every way out.

#include <string>

#include "wipe/FileSystem.h"

namespace veltrane {

// An open enumeration of a folder, closed on every way out. Movable, so that the walk can
// keep one per open folder in a growing stack.
class FolderSearch {
public:
    FolderSearch(FileSystem& fs, const std::string& pattern, std::string& name)
        : m_fs(&fs), m_handle(fs.FindFirst(pattern, name)) {}
    ~FolderSearch() { Close(); }
    FolderSearch(FolderSearch&& other) noexcept : m_fs(other.m_fs), m_handle(other.m_handle) {
        other.m_handle = FileSystem::kInvalidFind;
    }
    FolderSearch& operator=(FolderSearch&& other) noexcept {
        if (this != &other) {
            Close();
            m_fs = other.m_fs;
            m_handle = other.m_handle;
            other.m_handle = FileSystem::kInvalidFind;
        }
        return *this;
    }
    FolderSearch(const FolderSearch&) = delete;
    FolderSearch& operator=(const FolderSearch&) = delete;

    bool Valid() const { return m_handle != FileSystem::kInvalidFind; }
    bool Next(std::string& name) { return m_fs->FindNext(m_handle, name); }
    // A folder whose listing is open cannot be removed on Windows.
    void Close() noexcept {
        if (m_handle != FileSystem::kInvalidFind) m_fs->FindEnd(m_handle);
        m_handle = FileSystem::kInvalidFind;
    }

private:
    FileSystem* m_fs;
    FileSystem::FindHandle m_handle;
};

}  // namespace veltrane
