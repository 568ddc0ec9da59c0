#include "wipe/Paths.h"

namespace veltrane {
namespace {

// The runtime splits into buffers of 256 characters (3 for the drive).
constexpr std::size_t kMaxPart = 255;

std::string Part(const std::string& s, std::size_t begin, std::size_t end) {
    std::size_t n = end - begin;
    if (n > kMaxPart) n = kMaxPart;
    return s.substr(begin, n);
}

}  // namespace

std::string StripSeparator(std::string path) {
    if (!path.empty() && IsSeparator(path.back())) path.pop_back();
    return path;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (!folder.empty() && !IsSeparator(folder.back())) return folder + '\\' + name;
    return folder + name;
}

PathParts::PathParts(const std::string& path) : m_full(path) {
    std::size_t pos = 0;
    if (path.size() >= 2 && path[1] == ':') {
        m_drive = path.substr(0, 2);
        pos = 2;
    }
    std::size_t lastSep = std::string::npos;
    for (std::size_t i = pos; i < path.size(); ++i) {
        if (IsSeparator(path[i])) lastSep = i;
    }
    if (lastSep != std::string::npos) {
        m_directory = Part(path, pos, lastSep + 1);
        pos = lastSep + 1;
    }
    std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && dot >= pos) {
        m_name = Part(path, pos, dot);
        m_extension = Part(path, dot, path.size());
    } else {
        m_name = Part(path, pos, path.size());
    }
}

std::string PathParts::SetDrive(const std::string& drive) {
    m_drive = drive;
    return Compose();
}

std::string PathParts::SetDirectory(const std::string& directory) {
    m_directory = directory;
    return Compose();
}

std::string PathParts::Compose() const {
    if (m_drive.size() + m_directory.size() + m_name.size() + m_extension.size() + 2 >= kMaxPath) {
        return std::string();
    }
    std::string out;
    if (!m_drive.empty()) {
        out += m_drive[0];
        out += ':';
    }
    out += m_directory;
    if (!m_directory.empty() && !IsSeparator(m_directory.back())) out += '\\';
    out += m_name;
    if (!m_extension.empty() && m_extension[0] != '.') out += '.';
    out += m_extension;
    return out;
}

}  // namespace veltrane
