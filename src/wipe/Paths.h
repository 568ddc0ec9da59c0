#pragma once
// Path strings of 8-bit characters. The separator written is the backslash; the backslash
// and the forward slash are both recognised.

#include <cstddef>
#include <string>

namespace veltrane {

constexpr std::size_t kMaxPath = 260;

inline bool IsSeparator(char c) {
    return c == '\\' || c == '/';
}

// The path less one trailing separator, if it has one.
std::string StripSeparator(std::string path);

// folder + '\' + name, without doubling a separator the folder already ends in; an empty
// folder yields the name alone.
std::string JoinPath(const std::string& folder, const std::string& name);

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
