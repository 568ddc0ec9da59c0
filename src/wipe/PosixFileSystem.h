#pragma once
// The file system of a POSIX system, with Windows semantics where the engine and the walk
// depend on them:
// - either separator is accepted (backslashes become slashes, so a name that contains a
//   backslash cannot be addressed);
// - a file without any write permission bit counts as read-only: opening it for writing
//   and deleting it fail with kErrorAccessDenied, also for root;
// - opening refuses anything but a regular file reached without a final symbolic link
//   (a wipe never writes through a link, into a device or into a pipe), and takes an
//   exclusive flock() so that two wipes of one file exclude each other (advisory only);
// - Attributes reports a symbolic link as kAttrReparsePoint (plus kAttrDirectory when it
//   points to a folder) with the tag of a symbolic link; RemoveFolder removes such a link,
//   never its target;
// - Move never replaces an existing name (kErrorAlreadyExists);
// - Recycle moves the file into the freedesktop.org trash of the user's home
//   ($XDG_DATA_HOME/Trash, default ~/.local/share/Trash) with its .trashinfo record; it
//   fails with kErrorNotSameDevice when the file lies on another file system.

#include "wipe/FileSystem.h"

namespace veltrane {

class PosixFileSystem : public FileSystem {
public:
    Handle OpenExclusive(const std::string& path) override;
    bool Close(Handle h) override;
    bool Identify(Handle h, FileIdentity& identity) override;
    bool IdentifyPath(const std::string& path, FileIdentity& identity) override;
    bool GetSize64(Handle h, std::int64_t& size) override;
    bool Seek64(Handle h, std::int64_t distance, SeekOrigin origin,
                std::int64_t& newPosition) override;
    bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t& written) override;
    bool Flush(Handle h) override;
    bool MoveOpen(Handle h, const std::string& from, const std::string& to) override;
    bool RemoveOpen(Handle h, const std::string& path) override;
    bool Move(const std::string& from, const std::string& to) override;
    bool Remove(const std::string& path) override;
    bool Recycle(const std::string& path) override;
    // POSIX files have no named streams to list.
    bool NamedStreams(const std::string& path, std::vector<std::string>& streams) override;
    std::uint32_t Attributes(const std::string& path) override;
    bool ReparseTag(const std::string& path, std::uint32_t& tag) override;
    FindHandle FindFirst(const std::string& pattern, std::string& name) override;
    bool FindNext(FindHandle h, std::string& name) override;
    bool FindEnd(FindHandle h) override;
    bool RemoveFolder(const std::string& path) override;
    // statfs and statvfs: the type names the kind (network, optical, memory).
    bool QueryVolume(const std::string& root, VolumeFacts& facts) override;
    bool CreateFolder(const std::string& path, bool hidden) override;
    Handle CreateNew(const std::string& path) override;
    bool Truncate(Handle h, std::int64_t size) override;
    void* Allocate(std::size_t size) override;
    void Free(void* block) override;
    std::uint32_t LastError() const override;
};

}  // namespace veltrane
