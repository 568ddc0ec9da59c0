#include "wipe/Paths.h"

#include <vector>

namespace veltrane {
namespace {

// The runtime splits into buffers of 256 characters (3 for the drive).
constexpr std::size_t kMaxPart = 255;

std::string Part(const std::string& s, std::size_t begin, std::size_t end) {
    std::size_t n = end - begin;
    if (n > kMaxPart) n = kMaxPart;
    return s.substr(begin, n);
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool StartsWithNoCase(const std::string& s, std::size_t at, const char* prefix) {
    for (std::size_t i = 0; prefix[i] != '\0'; ++i) {
        if (at + i >= s.size()) return false;
        char c = s[at + i];
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
        if (c != prefix[i]) return false;
    }
    return true;
}

// End of the component that starts at `at`: the next separator or the end.
std::size_t ComponentEnd(const std::string& s, std::size_t at) {
    while (at < s.size() && !IsSeparator(s[at])) ++at;
    return at;
}

// A path cut into the part that no ".." can climb above (written with backslashes and
// ending in one, or empty for a relative path) and what lies below it.
struct SplitPath {
    PathKind kind = PathKind::Relative;
    std::string root;
    std::size_t rest = 0;  // where the components begin in the original string
};

SplitPath Split(const std::string& p) {
    SplitPath out;
    out.kind = ClassifyPath(p);
    switch (out.kind) {
        case PathKind::Relative:
        case PathKind::Device:
            break;
        case PathKind::DriveRelative:
            out.root = p.substr(0, 2);
            out.rest = 2;
            break;
        case PathKind::Rooted:
            out.root = "\\";
            out.rest = 1;
            break;
        case PathKind::DriveAbsolute:
            out.root = p.substr(0, 2) + "\\";
            out.rest = 3;
            break;
        case PathKind::Unc: {
            const std::size_t serverEnd = ComponentEnd(p, 2);
            const std::size_t shareEnd = ComponentEnd(p, serverEnd + 1);
            out.root = "\\\\" + p.substr(2, serverEnd - 2) + "\\" +
                       p.substr(serverEnd + 1, shareEnd - serverEnd - 1) + "\\";
            out.rest = shareEnd;
            break;
        }
        case PathKind::Extended: {
            std::size_t end = ComponentEnd(p, 4);
            if (StartsWithNoCase(p, 4, "UNC") && end == 7) {
                end = ComponentEnd(p, ComponentEnd(p, end + 1) + 1);
            }
            out.root = p.substr(0, end) + "\\";
            out.rest = end;
            break;
        }
    }
    return out;
}

// The components below the root with "." dropped and ".." applied.
std::vector<std::string> Components(const std::string& p, std::size_t from) {
    std::vector<std::string> parts;
    std::size_t at = from;
    while (at < p.size()) {
        if (IsSeparator(p[at])) {
            ++at;
            continue;
        }
        const std::size_t end = ComponentEnd(p, at);
        const std::string part = p.substr(at, end - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (part != ".") {
            parts.push_back(part);
        }
        at = end;
    }
    return parts;
}

}  // namespace

PathKind ClassifyPath(const std::string& p) {
    if (p.size() >= 2 && IsSeparator(p[0]) && IsSeparator(p[1])) {
        if (p.size() >= 4 && (p[2] == '?' || p[2] == '.') && IsSeparator(p[3])) {
            if (p[2] == '.') return PathKind::Device;
            const bool drive = p.size() >= 6 && IsLetter(p[4]) && p[5] == ':' &&
                               (p.size() == 6 || IsSeparator(p[6]));
            const bool unc = StartsWithNoCase(p, 4, "UNC") && p.size() > 8 && IsSeparator(p[7]);
            const bool volume = StartsWithNoCase(p, 4, "VOLUME{");
            return drive || unc || volume ? PathKind::Extended : PathKind::Device;
        }
        // \\server\share: both names present.
        const std::size_t serverEnd = ComponentEnd(p, 2);
        if (serverEnd == 2 || serverEnd >= p.size()) return PathKind::Device;
        const std::size_t shareEnd = ComponentEnd(p, serverEnd + 1);
        return shareEnd > serverEnd + 1 ? PathKind::Unc : PathKind::Device;
    }
    if (!p.empty() && IsSeparator(p[0])) return PathKind::Rooted;
    if (p.size() >= 2 && IsLetter(p[0]) && p[1] == ':') {
        return p.size() > 2 && IsSeparator(p[2]) ? PathKind::DriveAbsolute
                                                 : PathKind::DriveRelative;
    }
    return PathKind::Relative;
}

bool IsVolumeRoot(const std::string& path) {
    const SplitPath split = Split(path);
    switch (split.kind) {
        case PathKind::Relative:
        case PathKind::Device:
            return false;
        case PathKind::DriveRelative:
            return path.size() == 2;
        default:
            return Components(path, split.rest).empty();
    }
}

std::string ExtendedLengthPath(const std::string& path) {
    const SplitPath split = Split(path);
    std::string out;
    if (split.kind == PathKind::Extended) return path;
    if (split.kind == PathKind::DriveAbsolute) {
        out = "\\\\?\\" + split.root;
    } else if (split.kind == PathKind::Unc) {
        out = "\\\\?\\UNC\\" + split.root.substr(2);
    } else {
        return std::string();
    }
    const std::vector<std::string> parts = Components(path, split.rest);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i > 0) out += '\\';
        out += parts[i];
    }
    return out;
}

std::string ResolveAgainst(const std::string& base, const std::string& relative) {
    switch (ClassifyPath(relative)) {
        case PathKind::Relative:
            return JoinPath(base, relative);
        case PathKind::DriveRelative:
            return JoinPath(base, relative.substr(2));
        case PathKind::Rooted: {
            std::size_t from = 0;
            while (from < relative.size() && IsSeparator(relative[from])) ++from;
            return JoinPath(Split(base).root, relative.substr(from));
        }
        default:
            return relative;
    }
}

std::string LastComponent(const std::string& path) {
    return path.substr(FolderPart(path).size());
}

std::string FolderPart(const std::string& path) {
    std::size_t cut = 0;
    if (ClassifyPath(path) == PathKind::DriveRelative) cut = 2;
    for (std::size_t i = 0; i < path.size(); ++i) {
        if (IsSeparator(path[i])) cut = i + 1;
    }
    return path.substr(0, cut);
}

bool IsPlainEntryName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (IsSeparator(c) || c == ':' || c == '\0') return false;
    }
    return true;
}

namespace {

bool EqualsAsciiNoCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        const char x = a[i] >= 'a' && a[i] <= 'z' ? static_cast<char>(a[i] - 32) : a[i];
        const char y = b[i] >= 'a' && b[i] <= 'z' ? static_cast<char>(b[i] - 32) : b[i];
        if (x != y) return false;
    }
    return i == a.size() && b[i] == '\0';
}

}  // namespace

bool NamesFolderStream(const std::string& path) {
    std::string last = path;
    while (!last.empty() && IsSeparator(last.back())) last.pop_back();
    last = last.substr(FolderPart(last).size());
    const std::size_t colon = last.find(':');
    if (colon == std::string::npos) return false;
    const std::string rest = last.substr(colon + 1);
    const std::size_t typeColon = rest.find(':');
    const std::string name = rest.substr(0, typeColon);
    if (EqualsAsciiNoCase(name, "$I30")) return true;
    return typeColon != std::string::npos &&
           !EqualsAsciiNoCase(rest.substr(typeColon + 1), "$DATA");
}

std::string StripSeparator(std::string path) {
    if (!path.empty() && IsSeparator(path.back()) && !IsVolumeRoot(path)) path.pop_back();
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
