#pragma once
// Helpers for tests under Wine: folder trees of real files below Z:\tmp (so that Linux
// tools such as ln and rm reach them by their Unix names), and finding this process's
// windows.

#include "support/WinTestSupport.h"
#include <windows.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace veltrane::test {

class WineTree {
public:
    // A fresh folder Z:\tmp\veltrane-<tag>-<process>-<n>.
    explicit WineTree(const std::string& tag);
    // Removes the whole tree without following links (rm -rf).
    ~WineTree();
    WineTree(const WineTree&) = delete;
    WineTree& operator=(const WineTree&) = delete;

    const std::string& Root() const { return m_root; }
    // Root\relative ("" for the root itself).
    std::string Path(const std::string& relative) const;
    std::string UnixPath(const std::string& relative) const;

    void MakeFolder(const std::string& relative) const;
    void WriteFile(const std::string& relative, const std::string& contents) const;
    void WriteFileOfSize(const std::string& relative, std::uint64_t size) const;
    bool Exists(const std::string& relative) const;
    std::string Read(const std::string& relative) const;
    std::uint64_t Size(const std::string& relative) const;
    // Names in a folder, without "." and "..".
    std::vector<std::string> List(const std::string& relative) const;
    // Every file below a folder (relative name to contents), to prove it unchanged.
    std::map<std::string, std::string> Snapshot(const std::string& relative) const;
    // A Linux symbolic link (ln -s), which Wine shows as a reparse point.
    bool Link(const std::string& linkRelative, const std::string& targetRelative) const;

private:
    std::string m_root;
};

// Starts a Linux program through Wine's Z: drive. Wine may report it ended before it has
// run: callers wait for its effect. False when it cannot be started.
bool RunUnix(const std::string& program, const std::string& commandLine);

}  // namespace veltrane::test
