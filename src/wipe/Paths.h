#pragma once
// Path strings in UTF-8. The separator written is the backslash; the backslash and the
// forward slash are both recognised. The Windows backend converts to UTF-16 at its
// boundary; nothing here knows windows.h.

#include <cstddef>
#include <string>

namespace veltrane {

constexpr std::size_t kMaxPath = 260;

inline bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The path less one trailing separator, if it has one. A root keeps its separator
// ("C:\" stays as it is): "C:" would name the current folder of drive C.
std::string StripSeparator(std::string path);

// folder + '\' + name, without doubling a separator the folder already ends in; an empty
// folder yields the name alone.
std::string JoinPath(const std::string& folder, const std::string& name);

// How Windows reads a path string.
enum class PathKind {
    Relative,       // notes\a.txt
    DriveRelative,  // C:notes, relative to the current folder of drive C
    Rooted,         // \notes, from the root of the current drive (on POSIX: absolute)
    DriveAbsolute,  // C:\notes
    Unc,            // \\server\share\notes
    Extended,       // \\?\C:\notes, \\?\UNC\server\share, \\?\Volume{...}\ (taken as they are)
    Device,         // \\.\PhysicalDrive0, \\?\GLOBALROOT\..., a malformed prefix: refused
};
PathKind ClassifyPath(const std::string& path);

// True for a path that names a volume or share root, or nothing below one: C:\ and C:,
// \\server\share, \\?\C:\, \\?\UNC\server\share, a lone separator. "." and ".."
// components are applied first, so C:\dir\.. is a root too.
bool IsVolumeRoot(const std::string& path);

// A DriveAbsolute or Unc path made exact for the wide file functions: the extended-length
// prefix (\\?\C:\... or \\?\UNC\server\share\...), backslashes only, repeated separators
// collapsed, "." dropped and ".." applied (never above the root). Names keep trailing dots
// and spaces, and device names (nul.txt, con) stay names of files. An Extended path is
// returned as it is; any other kind gives an empty string.
std::string ExtendedLengthPath(const std::string& path);

// A Relative, DriveRelative or Rooted path resolved against `base`, an absolute folder
// (the current folder, the current folder of the drive, or any folder on the current
// drive or share), lexically: names are kept exactly.
std::string ResolveAgainst(const std::string& base, const std::string& relative);

// The last component of a path, and everything before it (its separator included).
std::string LastComponent(const std::string& path);
std::string FolderPart(const std::string& path);

// Whether an enumerated entry name, joined to its folder, still names an entry of that
// folder: not empty, not "." or "..", no separator and no colon (a stream or a drive).
bool IsPlainEntryName(const std::string& name);

// Whether the last component of `path` names a part of a folder's own index rather than
// file data: a stream of any type but $DATA ("::$INDEX_ALLOCATION", "dir:$I30:$BITMAP"), or
// the index's own name, $I30. On NTFS "C:\::$INDEX_ALLOCATION" opens the root folder itself.
bool NamesFolderStream(const std::string& path);

// A path split into drive, directory, name and extension by the Windows runtime's rules
// (_splitpath), and composed again by them (_makepath).
class PathParts {
public:
    explicit PathParts(const std::string& path);

    const std::string& Full() const { return m_full; }
    std::string Drive() const { return m_drive; }
    std::string Directory() const { return m_directory; }
    // Name followed by extension.
    std::string FileName() const { return m_name + m_extension; }
    std::string Name() const { return m_name; }
    std::string Extension() const { return m_extension; }

    // Each stores the new part and returns the composition of all four parts.
    std::string SetDrive(const std::string& drive);
    std::string SetDirectory(const std::string& directory);

    // The path made of the four parts; empty when they would not fit a buffer of
    // kMaxPath characters (their lengths plus 2 reaching kMaxPath).
    std::string Compose() const;

private:
    std::string m_full;
    std::string m_drive;
    std::string m_directory;
    std::string m_name;
    std::string m_extension;
};

}  // namespace veltrane
