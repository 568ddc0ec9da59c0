#include "wipe/PosixFileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <new>
#include <string>

namespace veltrane {
namespace {

thread_local std::uint32_t t_lastError = 0;

struct ErrnoMapping {
    int errnoValue;
    std::uint32_t error;
};

constexpr ErrnoMapping kErrnoMap[] = {
    {ENOENT, kErrorFileNotFound},      {ENOTDIR, kErrorPathNotFound},
    {EACCES, kErrorAccessDenied},      {EPERM, kErrorAccessDenied},
    {EISDIR, kErrorAccessDenied},      {ELOOP, kErrorAccessDenied},
    {EROFS, kErrorAccessDenied},       {EBADF, kErrorInvalidHandle},
    {ENOMEM, kErrorNotEnoughMemory},   {EXDEV, kErrorNotSameDevice},
    {EIO, kErrorWriteFault},           {EWOULDBLOCK, kErrorSharingViolation},
    {EBUSY, kErrorSharingViolation},   {ETXTBSY, kErrorSharingViolation},
    {EINVAL, kErrorInvalidParameter},  {ENOSPC, kErrorDiskFull},
    {EDQUOT, kErrorDiskQuotaExceeded}, {ENOTEMPTY, kErrorDirNotEmpty},
    {EEXIST, kErrorAlreadyExists},     {ENAMETOOLONG, kErrorFilenameTooLong},
};

bool Fail(std::uint32_t error) {
    t_lastError = error;
    return false;
}

bool FailErrno(int e) {
    for (const ErrnoMapping& m : kErrnoMap) {
        if (m.errnoValue == e) return Fail(m.error);
    }
    return Fail(kErrorGenFailure);
}

std::string Native(std::string path) {
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

int Fd(FileSystem::Handle h) {
    return static_cast<int>(h);
}

bool Writable(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// Windows tells a missing file (2) from a missing folder on the way to it (3).
bool FailMissing(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string parent = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    struct stat st;
    const bool parentIsFolder = stat(parent.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    return Fail(parentIsFolder ? kErrorFileNotFound : kErrorPathNotFound);
}

bool FailStat(const std::string& path) {
    return errno == ENOENT ? FailMissing(path) : FailErrno(errno);
}

// rename() that never replaces an existing name.
bool RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) return FailErrno(errno);
#endif
    // Without kernel support: a hard link fails on a taken name, then the old name goes.
    struct stat st;
    if (lstat(from.c_str(), &st) != 0) return FailStat(from);
    if (!S_ISDIR(st.st_mode)) {
        if (link(from.c_str(), to.c_str()) != 0) return FailErrno(errno);
        if (unlink(from.c_str()) != 0) {
            const int e = errno;
            unlink(to.c_str());
            return FailErrno(e);
        }
        return true;
    }
    if (lstat(to.c_str(), &st) == 0) return Fail(kErrorAlreadyExists);
    return rename(from.c_str(), to.c_str()) == 0 || FailErrno(errno);
}

struct Search {
    DIR* dir;
    std::string mask;
};

Search* SearchOf(FileSystem::FindHandle h) {
    return reinterpret_cast<Search*>(static_cast<std::intptr_t>(h));
}

bool NextMatch(Search& s, std::string& name) {
    errno = 0;
    while (const dirent* entry = readdir(s.dir)) {
        if (fnmatch(s.mask.c_str(), entry->d_name, FNM_CASEFOLD) == 0) {
            name = entry->d_name;
            return true;
        }
    }
    return errno != 0 ? FailErrno(errno) : Fail(kErrorNoMoreFiles);
}

// --- the freedesktop.org trash ---

std::string TrashFolder() {
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && *data == '/') {
        return std::string(data) + "/Trash";
    }
    const char* home = std::getenv("HOME");
    return home != nullptr ? std::string(home) + "/.local/share/Trash" : std::string();
}

bool MakeFolders(const std::string& path) {
    for (std::size_t pos = 1; pos <= path.size(); ++pos) {
        if (pos == path.size() || path[pos] == '/') {
            const std::string part = path.substr(0, pos);
            if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
        }
    }
    return true;
}

std::string PercentEncoded(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : path) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                           (c >= '0' && c <= '9') || c == '/' || c == '-' || c == '_' || c == '.' ||
                           c == '~';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 15];
        }
    }
    return out;
}

std::string AbsolutePath(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    const std::string parent = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : path.substr(0, slash);
    const std::string leaf = slash == std::string::npos ? path : path.substr(slash + 1);
    char* real = realpath(parent.c_str(), nullptr);
    if (real == nullptr) return std::string();
    std::string out(real);
    std::free(real);
    if (out != "/") out += '/';
    return out + leaf;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

FileSystem::Handle PosixFileSystem::OpenExclusive(const std::string& path) {
    const std::string p = Native(path);
    struct stat st;
    // Look before opening: opening a device or a pipe can itself have effects.
    if (lstat(p.c_str(), &st) != 0) return FailStat(p), kInvalidHandle;
    if (!S_ISREG(st.st_mode) || !Writable(st)) return Fail(kErrorAccessDenied), kInvalidHandle;
    const int fd = open(p.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return FailErrno(errno), kInvalidHandle;
    struct stat opened;
    std::uint32_t error = kErrorSuccess;
    if (fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        error = kErrorAccessDenied;
    } else if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        error = errno == EWOULDBLOCK ? kErrorSharingViolation : kErrorAccessDenied;
    }
    if (error != kErrorSuccess) {
        close(fd);
        return Fail(error), kInvalidHandle;
    }
    return static_cast<Handle>(fd);
}

bool PosixFileSystem::Close(Handle h) {
    return close(Fd(h)) == 0 || FailErrno(errno);
}

bool PosixFileSystem::Identify(Handle h, FileIdentity& identity) {
    struct stat st;
    if (fstat(Fd(h), &st) != 0) return FailErrno(errno);
    identity.volume = static_cast<std::uint64_t>(st.st_dev);
    identity.file = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool PosixFileSystem::IdentifyPath(const std::string& path, FileIdentity& identity) {
    struct stat st;
    if (lstat(Native(path).c_str(), &st) != 0) return FailErrno(errno);
    identity.volume = static_cast<std::uint64_t>(st.st_dev);
    identity.file = static_cast<std::uint64_t>(st.st_ino);
    return true;
}

bool PosixFileSystem::GetSize64(Handle h, std::int64_t& size) {
    struct stat st;
    if (fstat(Fd(h), &st) != 0) return FailErrno(errno);
    size = static_cast<std::int64_t>(st.st_size);
    return true;
}

bool PosixFileSystem::Seek64(Handle h, std::int64_t distance, SeekOrigin origin,
                             std::int64_t& newPosition) {
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    const off_t pos = lseek(Fd(h), static_cast<off_t>(distance), kWhence[static_cast<int>(origin)]);
    if (pos < 0) return errno == EINVAL ? Fail(kErrorNegativeSeek) : FailErrno(errno);
    newPosition = static_cast<std::int64_t>(pos);
    return true;
}

bool PosixFileSystem::Write(Handle h, const void* data, std::uint32_t size,
                            std::uint32_t& written) {
    written = 0;
    ssize_t n;
    do {
        n = write(Fd(h), data, size);
    } while (n < 0 && errno == EINTR);
    if (n < 0) return FailErrno(errno);
    written = static_cast<std::uint32_t>(n);
    return true;
}

namespace {

struct FileSystemType {
    unsigned long magic;
    const char* name;
    VolumeKind kind;
};

// The statfs types that change what the free-space wipe may do, and the common local ones
// by name; any other local type counts as a fixed disk.
constexpr FileSystemType kFileSystemTypes[] = {
    {0xEF53, "ext4", VolumeKind::Fixed},
    {0x9123683E, "btrfs", VolumeKind::Fixed},
    {0x58465342, "xfs", VolumeKind::Fixed},
    {0x7366746E, "NTFS", VolumeKind::Fixed},  // the kernel's ntfs3
    {0x5346544E, "NTFS", VolumeKind::Fixed},  // the kernel's older ntfs
    {0x4D44, "FAT", VolumeKind::Fixed},
    {0x2011BAB0, "exFAT", VolumeKind::Fixed},
    // Every user-space file system (ntfs-3g, exfat-fuse, sshfs alike): statfs cannot
    // tell a local disk from a server here, and the native build serves tests only.
    {0x65735546, "fuse", VolumeKind::Fixed},
    {0x01021994, "tmpfs", VolumeKind::RamDisk},
    {0x858458F6, "ramfs", VolumeKind::RamDisk},
    {0x9660, "iso9660", VolumeKind::Optical},
    {0x15013346, "udf", VolumeKind::Optical},
    {0x6969, "nfs", VolumeKind::Remote},
    {0x517B, "smb", VolumeKind::Remote},
    {0xFF534D42, "cifs", VolumeKind::Remote},
    {0xFE534D42, "smb2", VolumeKind::Remote},
    {0x01161970, "gfs2", VolumeKind::Remote},
    {0x00C36400, "ceph", VolumeKind::Remote},
};

}  // namespace

bool PosixFileSystem::QueryVolume(const std::string& root, VolumeFacts& facts) {
    const std::string p = Native(root);
    struct statfs fs;
    struct statvfs vfs;
    if (statfs(p.c_str(), &fs) != 0 || statvfs(p.c_str(), &vfs) != 0) return FailErrno(errno);
    facts.kind = VolumeKind::Fixed;
    facts.fileSystem = "unknown";
    for (const FileSystemType& type : kFileSystemTypes) {
        if (static_cast<unsigned long>(fs.f_type) == type.magic) {
            facts.kind = type.kind;
            facts.fileSystem = type.name;
            break;
        }
    }
    facts.readOnly = (vfs.f_flag & ST_RDONLY) != 0;
    // What this process may write: root also reaches the blocks reserved for it.
    const std::uint64_t blocks = geteuid() == 0 ? vfs.f_bfree : vfs.f_bavail;
    facts.freeBytes = static_cast<std::uint64_t>(blocks) * vfs.f_frsize;
    facts.totalBytes = static_cast<std::uint64_t>(vfs.f_blocks) * vfs.f_frsize;
    return true;
}

bool PosixFileSystem::CreateFolder(const std::string& path, bool) {
    // A POSIX name says nothing of being hidden but by a leading dot, which would change
    // the name the caller chose.
    return mkdir(Native(path).c_str(), 0700) == 0 || FailErrno(errno);
}

FileSystem::Handle PosixFileSystem::CreateNew(const std::string& path) {
    const int fd = open(Native(path).c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno == EEXIST) return Fail(kErrorFileExists), kInvalidHandle;
        return FailErrno(errno), kInvalidHandle;
    }
    return static_cast<Handle>(fd);
}

bool PosixFileSystem::Truncate(Handle h, std::int64_t size) {
    return ftruncate(Fd(h), static_cast<off_t>(size)) == 0 || FailErrno(errno);
}

bool PosixFileSystem::Flush(Handle h) {
    return fsync(Fd(h)) == 0 || FailErrno(errno);
}

namespace {

// Whether `p` still names the file open as `fd`: a link or another file swapped in under
// the name does not. (POSIX has no rename or delete through a descriptor; this narrows the
// window between the look and the act to nothing a wipe's own steps leave open.)
bool NamesOpenFile(int fd, const std::string& p) {
    struct stat opened;
    struct stat named;
    return fstat(fd, &opened) == 0 && lstat(p.c_str(), &named) == 0 &&
           opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

bool PosixFileSystem::MoveOpen(Handle h, const std::string& from, const std::string& to) {
    const std::string p = Native(from);
    if (!NamesOpenFile(Fd(h), p)) return Fail(kErrorFileInvalid);
    return RenameNoReplace(p, Native(to));
}

bool PosixFileSystem::RemoveOpen(Handle h, const std::string& path) {
    const std::string p = Native(path);
    if (!NamesOpenFile(Fd(h), p)) return Fail(kErrorFileInvalid);
    return unlink(p.c_str()) == 0 || FailErrno(errno);
}

bool PosixFileSystem::Move(const std::string& from, const std::string& to) {
    return RenameNoReplace(Native(from), Native(to));
}

bool PosixFileSystem::Remove(const std::string& path) {
    const std::string p = Native(path);
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) return FailStat(p);
    if (S_ISDIR(st.st_mode)) return Fail(kErrorAccessDenied);
    if (S_ISREG(st.st_mode) && !Writable(st)) return Fail(kErrorAccessDenied);
    return unlink(p.c_str()) == 0 || FailErrno(errno);
}

bool PosixFileSystem::Recycle(const std::string& path) {
    const std::string p = Native(path);
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) return FailStat(p);
    const std::string trash = TrashFolder();
    const std::string absolute = AbsolutePath(p);
    if (trash.empty() || absolute.empty()) return Fail(kErrorPathNotFound);
    if (!MakeFolders(trash + "/files") || !MakeFolders(trash + "/info")) return FailErrno(errno);
    struct stat trashStat;
    if (stat(trash.c_str(), &trashStat) != 0) return FailErrno(errno);
    if (trashStat.st_dev != st.st_dev) return Fail(kErrorNotSameDevice);

    const std::string leaf = absolute.substr(absolute.find_last_of('/') + 1);
    char date[32];
    const std::time_t now = std::time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    const std::string info =
        "[Trash Info]\nPath=" + PercentEncoded(absolute) + "\nDeletionDate=" + date + "\n";
    for (int i = 1; i < 1000; ++i) {
        const std::string name = i == 1 ? leaf : leaf + "." + std::to_string(i);
        const std::string infoPath = trash + "/info/" + name + ".trashinfo";
        const int fd = open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            return FailErrno(errno);
        }
        const bool written = WriteAll(fd, info);
        close(fd);
        if (written && RenameNoReplace(p, trash + "/files/" + name)) return true;
        const std::uint32_t error = written ? t_lastError : kErrorWriteFault;
        unlink(infoPath.c_str());
        if (error != kErrorAlreadyExists) return Fail(error);
    }
    return Fail(kErrorAlreadyExists);
}

bool PosixFileSystem::NamedStreams(const std::string&, std::vector<std::string>& streams) {
    // POSIX file systems keep no named streams (extended attributes are not file data).
    streams.clear();
    return true;
}

std::uint32_t PosixFileSystem::Attributes(const std::string& path) {
    const std::string p = Native(path);
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) return FailStat(p), kInvalidAttributes;
    if (S_ISLNK(st.st_mode)) {
        struct stat target;
        const bool folder = stat(p.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
        return kAttrReparsePoint | (folder ? kAttrDirectory : 0);
    }
    if (S_ISDIR(st.st_mode)) return kAttrDirectory;
    return S_ISREG(st.st_mode) && !Writable(st) ? kAttrReadOnly : kAttrNormal;
}

bool PosixFileSystem::ReparseTag(const std::string& path, std::uint32_t& tag) {
    const std::string p = Native(path);
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) return FailStat(p);
    if (!S_ISLNK(st.st_mode)) return Fail(kErrorInvalidParameter);
    tag = kTagSymlink;
    return true;
}

FileSystem::FindHandle PosixFileSystem::FindFirst(const std::string& pattern, std::string& name) {
    const std::string p = Native(pattern);
    const std::size_t slash = p.find_last_of('/');
    const std::string mask = slash == std::string::npos ? p : p.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "."
                               : slash == 0               ? "/"
                                                          : p.substr(0, slash);
    if (mask.empty()) return Fail(kErrorFileNotFound), kInvalidFind;
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) {
        return Fail(errno == ENOENT || errno == ENOTDIR ? kErrorPathNotFound : kErrorAccessDenied),
               kInvalidFind;
    }
    Search* search = new (std::nothrow) Search{dir, mask};
    if (search == nullptr) {
        closedir(dir);
        return Fail(kErrorNotEnoughMemory), kInvalidFind;
    }
    if (!NextMatch(*search, name)) {
        const std::uint32_t error =
            t_lastError == kErrorNoMoreFiles ? kErrorFileNotFound : t_lastError;
        closedir(dir);
        delete search;
        return Fail(error), kInvalidFind;
    }
    return static_cast<FindHandle>(reinterpret_cast<std::intptr_t>(search));
}

bool PosixFileSystem::FindNext(FindHandle h, std::string& name) {
    if (h == kInvalidFind || h == FindHandle{}) return Fail(kErrorInvalidHandle);
    return NextMatch(*SearchOf(h), name);
}

bool PosixFileSystem::FindEnd(FindHandle h) {
    if (h == kInvalidFind || h == FindHandle{}) return Fail(kErrorInvalidHandle);
    Search* search = SearchOf(h);
    closedir(search->dir);
    delete search;
    return true;
}

bool PosixFileSystem::RemoveFolder(const std::string& path) {
    const std::string p = Native(path);
    struct stat st;
    if (lstat(p.c_str(), &st) != 0) return FailStat(p);
    if (S_ISLNK(st.st_mode)) {
        // A link to a folder goes as a link; its target is never touched.
        struct stat target;
        if (stat(p.c_str(), &target) != 0 || !S_ISDIR(target.st_mode)) return Fail(kErrorDirectory);
        return unlink(p.c_str()) == 0 || FailErrno(errno);
    }
    if (!S_ISDIR(st.st_mode)) return Fail(kErrorDirectory);
    if (rmdir(p.c_str()) == 0) return true;
    return errno == EEXIST ? Fail(kErrorDirNotEmpty) : FailErrno(errno);
}

void* PosixFileSystem::Allocate(std::size_t size) {
    void* block = std::malloc(size != 0 ? size : 1);
    if (block == nullptr) Fail(kErrorNotEnoughMemory);
    return block;
}

void PosixFileSystem::Free(void* block) {
    std::free(block);
}

std::uint32_t PosixFileSystem::LastError() const {
    return t_lastError;
}

FileSystem& PlatformFileSystem() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace veltrane
