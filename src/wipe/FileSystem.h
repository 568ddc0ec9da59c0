#pragma once
// The file-system calls that the wipe engine and the folder walk make.
// Three implementations: Win32 (the real one), POSIX (native builds) and in-memory
// (fault injection for tests). Results follow Win32 conventions: a boolean plus a
// last-error code with Windows' values, so the engine reads the same on every backend.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

// Windows error codes that the engine and the walk distinguish.
enum : std::uint32_t {
    kErrorSuccess = 0,
    kErrorFileNotFound = 2,
    kErrorPathNotFound = 3,
    kErrorAccessDenied = 5,
    kErrorInvalidHandle = 6,
    kErrorNotEnoughMemory = 8,
    kErrorNotSameDevice = 17,
    kErrorNoMoreFiles = 18,
    kErrorWriteFault = 29,
    kErrorGenFailure = 31,
    kErrorSharingViolation = 32,
    kErrorNotSupported = 50,
    kErrorInvalidParameter = 87,
    kErrorDiskFull = 112,
    kErrorNegativeSeek = 131,
    kErrorDirNotEmpty = 145,
    kErrorAlreadyExists = 183,
    kErrorInvalidName = 123,
    kErrorFilenameTooLong = 206,
    kErrorDirectory = 267,
    kErrorFileExists = 80,
    kErrorHandleDiskFull = 39,
    kErrorDiskQuotaExceeded = 1295,
    kErrorFileInvalid = 1006,  // the file open is no longer the one the wipe began with
    kErrorNoUnicodeTranslation = 1113,
};

// File attribute bits, Windows values.
constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrNormal = 0x80;
constexpr std::uint32_t kAttrReparsePoint = 0x400;
constexpr std::uint32_t kAttrOffline = 0x1000;
constexpr std::uint32_t kAttrRecallOnOpen = 0x40000;
constexpr std::uint32_t kAttrRecallOnDataAccess = 0x400000;
constexpr std::uint32_t kInvalidAttributes = 0xFFFFFFFFu;

// Reparse tags, Windows values. A name surrogate (a link of any kind) names another
// entry; every other tag belongs to a filter (cloud files, deduplication) and the entry
// holds its own data.
constexpr std::uint32_t kTagMountPoint = 0xA0000003u;  // junctions and mounted volumes
constexpr std::uint32_t kTagSymlink = 0xA000000Cu;
constexpr std::uint32_t kTagCloud = 0x9000001Au;
constexpr std::uint32_t kTagDedup = 0x80000013u;
inline bool IsNameSurrogateTag(std::uint32_t tag) {
    return (tag & 0x20000000u) != 0;
}

// Marks an enumerated name that the system holds but that has no exact UTF-8 form (an
// unpaired surrogate): the mark is followed by an approximation fit only for showing.
// No real name contains it, so such a name is never joined into a path.
constexpr char kUnreadableNameMark = '\0';

enum class SeekOrigin { Begin = 0, Current = 1, End = 2 };

// Which file an open handle reaches: the volume and the file's number on it (device and
// inode on POSIX). Two handles with equal identities reach the same file.
struct FileIdentity {
    std::uint64_t volume = 0;
    std::uint64_t file = 0;
    bool operator==(const FileIdentity& other) const {
        return volume == other.volume && file == other.file;
    }
    bool operator!=(const FileIdentity& other) const { return !(*this == other); }
};

// What kind of volume a path lies on, as the free-space wipe must know it.
enum class VolumeKind { Fixed, Removable, Remote, Optical, RamDisk, Unknown };

struct VolumeFacts {
    VolumeKind kind = VolumeKind::Unknown;
    bool readOnly = false;
    std::string fileSystem;  // "NTFS", "FAT32", "ext4"...
    std::uint64_t totalBytes = 0;
    std::uint64_t freeBytes = 0;  // what the caller may still write (quotas count)
};

class FileSystem {
public:
    // An open file and an open enumeration: distinct types, so that one is never passed
    // where the other belongs. Each backend keeps its own value in them.
    enum class Handle : std::intptr_t {};
    enum class FindHandle : std::intptr_t {};
    static constexpr Handle kInvalidHandle = Handle(-1);
    static constexpr FindHandle kInvalidFind = FindHandle(-1);

    virtual ~FileSystem() = default;

    // --- one file ---
    // Opens an existing file for reading and writing, shared with nobody, with the right
    // to rename and delete it through the handle. Where the platform allows, a link at the
    // path is opened as itself, never followed.
    virtual Handle OpenExclusive(const std::string& path) = 0;
    virtual bool Identify(Handle h, FileIdentity& identity) = 0;
    // The identity of what `path` names (a link as itself), read without opening its data:
    // a file another program holds open, shared with nobody, can still say which it is.
    virtual bool IdentifyPath(const std::string& path, FileIdentity& identity) = 0;
    virtual bool Close(Handle h) = 0;
    virtual bool GetSize64(Handle h, std::int64_t& size) = 0;
    virtual bool Seek64(Handle h, std::int64_t distance, SeekOrigin origin,
                        std::int64_t& newPosition) = 0;
    virtual bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t& written) = 0;
    virtual bool Flush(Handle h) = 0;
    // Renames the open file `h`, which was opened as `from`, to `to` in the same folder;
    // fails with kErrorAlreadyExists when that name is taken, and with kErrorFileInvalid
    // (touching nothing) where the platform goes by name and `from` no longer names `h`'s
    // file.
    virtual bool MoveOpen(Handle h, const std::string& from, const std::string& to) = 0;
    // Deletes the open file `h`, now named `path`: through the handle, or, where the
    // platform goes by name, only while `path` still names `h`'s file (kErrorFileInvalid
    // otherwise). The handle is still to be closed.
    virtual bool RemoveOpen(Handle h, const std::string& path) = 0;

    // --- names ---
    // Renames a file; fails with kErrorAlreadyExists when the new name is taken.
    virtual bool Move(const std::string& from, const std::string& to) = 0;
    // Deletes a file (or a link to a file: the link, never its target).
    virtual bool Remove(const std::string& path) = 0;
    // Moves a file to the Recycle Bin (or the platform's trash).
    virtual bool Recycle(const std::string& path) = 0;
    // The file's named data streams, each as a path that opens and removes that stream
    // alone ("file:name"). True with none where the volume keeps no streams; false when
    // they could not all be listed or named exactly (a file whose streams are unknown
    // cannot be said to be wiped).
    virtual bool NamedStreams(const std::string& path, std::vector<std::string>& streams) = 0;

    // --- the folder walk ---
    // Attributes without following a final link; kInvalidAttributes on failure.
    virtual std::uint32_t Attributes(const std::string& path) = 0;
    // The reparse tag of a reparse point, read without following it; false when it cannot
    // be read.
    virtual bool ReparseTag(const std::string& path, std::uint32_t& tag) = 0;
    // Enumerates a folder by pattern ("folder\\*"): names only, in the system's order,
    // "." and ".." included where the system reports them.
    virtual FindHandle FindFirst(const std::string& pattern, std::string& name) = 0;
    virtual bool FindNext(FindHandle h, std::string& name) = 0;
    virtual bool FindEnd(FindHandle h) = 0;
    // Removes an empty folder, or a link to a folder (the link, never its target).
    virtual bool RemoveFolder(const std::string& path) = 0;

    // --- a volume's free space ---
    // The volume whose root folder is `root` ("D:\\", a mount point): its kind, whether it
    // is read-only, its file system and its free bytes, read afresh at each call.
    virtual bool QueryVolume(const std::string& root, VolumeFacts& facts) = 0;
    // Makes a new folder (hidden where the platform marks entries so); fails with
    // kErrorAlreadyExists when the name is taken.
    virtual bool CreateFolder(const std::string& path, bool hidden) = 0;
    // Makes a new, empty file and opens it for writing, shared with nobody; fails with
    // kErrorFileExists when the name is taken, never opening what is there.
    virtual Handle CreateNew(const std::string& path) = 0;
    // Sets the end of the open file `h` at `size`, giving back what lay beyond.
    virtual bool Truncate(Handle h, std::int64_t size) = 0;

    // --- memory for write buffers: null when none is to be had, never throws ---
    virtual void* Allocate(std::size_t size) = 0;
    virtual void Free(void* block) = 0;

    // Error code of the last failed call on this thread.
    virtual std::uint32_t LastError() const = 0;
};

// The real file system of the platform the program runs on.
FileSystem& PlatformFileSystem();

}  // namespace veltrane
