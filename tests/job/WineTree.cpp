#include "WineTree.h"

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "framework/Handles.h"

namespace veltrane::test {

namespace {

std::atomic<int> g_treeCount{0};

// Wine reports a Linux program's process as ended before the program has run: wait for
// what it does instead (10 s at most).
template <class Condition>
bool WaitUntil(Condition done) {
    for (int i = 0; i < 1000; ++i) {
        if (done()) return true;
        ::Sleep(10);
    }
    return false;
}

std::string ReadWhole(const std::string& path) {
    return ReadWholeFile(Widen(path));
}

void AddSnapshot(const std::string& folder, const std::string& prefix,
                 std::map<std::string, std::string>& files, const WineTree& tree) {
    for (const std::string& name : tree.List(folder)) {
        const std::string relative = folder.empty() ? name : folder + "\\" + name;
        const DWORD attributes = ::GetFileAttributesA(tree.Path(relative).c_str());
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
            files[prefix + name + "\\"] = "<folder>";
            AddSnapshot(relative, prefix + name + "\\", files, tree);
        } else {
            files[prefix + name] = ReadWhole(tree.Path(relative));
        }
    }
}

}  // namespace

bool RunUnix(const std::string& program, const std::string& commandLine) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    std::string windowsProgram = "Z:" + program;
    for (char& c : windowsProgram) {
        if (c == '/') c = '\\';
    }
    if (!::CreateProcessA(windowsProgram.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process)) {
        return false;
    }
    UniqueHandle thread(process.hThread);
    UniqueHandle handle(process.hProcess);
    ::WaitForSingleObject(handle.get(), INFINITE);
    return true;
}

WineTree::WineTree(const std::string& tag) {
    m_root = "Z:\\tmp\\veltrane-" + tag + "-" + std::to_string(::GetCurrentProcessId()) + "-" +
             std::to_string(++g_treeCount);
    if (!::CreateDirectoryA(m_root.c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
        throw std::runtime_error("cannot create " + m_root);
    }
}

WineTree::~WineTree() {
    RunUnix("/bin/rm", "/bin/rm -rf " + UnixPath(""));
    WaitUntil([this] { return !Exists(""); });
}

std::string WineTree::Path(const std::string& relative) const {
    return relative.empty() ? m_root : m_root + "\\" + relative;
}

std::string WineTree::UnixPath(const std::string& relative) const {
    std::string path = Path(relative).substr(2);  // drop "Z:"
    for (char& c : path) {
        if (c == '\\') c = '/';
    }
    return path;
}

void WineTree::MakeFolder(const std::string& relative) const {
    std::string partial;
    std::string rest = relative;
    while (!rest.empty()) {
        const std::size_t sep = rest.find('\\');
        partial += (partial.empty() ? "" : "\\") + rest.substr(0, sep);
        rest = sep == std::string::npos ? std::string() : rest.substr(sep + 1);
        ::CreateDirectoryA(Path(partial).c_str(), nullptr);
    }
}

void WineTree::WriteFile(const std::string& relative, const std::string& contents) const {
    const std::size_t sep = relative.rfind('\\');
    if (sep != std::string::npos) MakeFolder(relative.substr(0, sep));
    UniqueFile file(::CreateFileA(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot write " + relative);
    DWORD written = 0;
    ::WriteFile(file.get(), contents.data(), static_cast<DWORD>(contents.size()), &written,
                nullptr);
}

void WineTree::WriteFileOfSize(const std::string& relative, std::uint64_t size) const {
    const std::size_t sep = relative.rfind('\\');
    if (sep != std::string::npos) MakeFolder(relative.substr(0, sep));
    UniqueFile file(::CreateFileA(Path(relative).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) throw std::runtime_error("cannot write " + relative);
    std::vector<char> chunk(1 << 20, 'x');
    while (size > 0) {
        const DWORD n = static_cast<DWORD>(size < chunk.size() ? size : chunk.size());
        DWORD written = 0;
        if (!::WriteFile(file.get(), chunk.data(), n, &written, nullptr) || written != n) {
            throw std::runtime_error("cannot fill " + relative);
        }
        size -= n;
    }
}

bool WineTree::Exists(const std::string& relative) const {
    return ::GetFileAttributesA(Path(relative).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string WineTree::Read(const std::string& relative) const {
    return ReadWhole(Path(relative));
}

std::uint64_t WineTree::Size(const std::string& relative) const {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExA(Path(relative).c_str(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::vector<std::string> WineTree::List(const std::string& relative) const {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found{};
    UniqueFindHandle search(::FindFirstFileA((Path(relative) + "\\*").c_str(), &found));
    if (!search) return names;
    do {
        const std::string name = found.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (::FindNextFileA(search.get(), &found));
    return names;
}

std::map<std::string, std::string> WineTree::Snapshot(const std::string& relative) const {
    std::map<std::string, std::string> files;
    AddSnapshot(relative, "", files, *this);
    return files;
}

bool WineTree::Link(const std::string& linkRelative, const std::string& targetRelative) const {
    RunUnix("/bin/ln", "/bin/ln -s " + UnixPath(targetRelative) + " " + UnixPath(linkRelative));
    return WaitUntil([&] {
        const DWORD attributes = ::GetFileAttributesA(Path(linkRelative).c_str());
        return attributes != INVALID_FILE_ATTRIBUTES &&
               (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    });
}

}  // namespace veltrane::test
