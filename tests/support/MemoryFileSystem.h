#pragma once
// A file system held in memory, for tests: files with contents and attributes, folders,
// links to files and folders, files that another process holds open, and faults injected
// at chosen calls. Behaves as Windows does where the engine and the folder walk can tell:
// case-insensitive names, either separator, Windows error codes, "." and ".." reported by
// enumeration (except at a root), a file link followed when a file is opened.
// Every call is recorded; tests read the record or watch it as it grows. Thread-safe.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "wipe/FileSystem.h"

namespace veltrane {

class MemoryFileSystem : public FileSystem {
public:
    enum class Op {
        Open,
        Identify,
        Close,
        GetSize,
        Seek,
        Write,
        Flush,
        Move,
        Remove,
        Recycle,
        Streams,
        Attributes,
        ReparseTag,
        FindFirst,
        FindNext,
        FindEnd,
        RemoveFolder,
        Allocate,
        Free,
        QueryVolume,
        CreateFolder,
        CreateNew,
        Truncate,
    };
    static constexpr std::size_t kOpCount = static_cast<std::size_t>(Op::Truncate) + 1;

    // Order of a folder's entries in an enumeration (after "." and ".."): the order in
    // which they were created, or sorted case-insensitively as NTFS and Wine report them.
    enum class Order { Insertion, Sorted };

    struct Call {
        explicit Call(Op o, std::string p = std::string(), std::string t = std::string())
            : op(o), path(std::move(p)), target(std::move(t)) {}
        Op op;
        std::string path;           // file (its name at the time of the call), folder or pattern
        std::string target;         // Move: the new name
        std::int64_t offset = 0;    // Write: file position of the first byte
        std::uint64_t size = 0;     // Write, Allocate: bytes asked for
        std::uint32_t written = 0;  // Write: bytes written
        bool ok = false;
        std::uint32_t error = 0;  // when !ok
    };

    struct RecycledItem {
        std::string path;
        std::vector<std::uint8_t> contents;
    };

    static constexpr std::uint64_t kForever = ~std::uint64_t{0};

    explicit MemoryFileSystem(Order order = Order::Insertion);
    ~MemoryFileSystem() override;
    MemoryFileSystem(const MemoryFileSystem&) = delete;
    MemoryFileSystem& operator=(const MemoryFileSystem&) = delete;

    // --- building the tree; missing parent folders are created ---
    void AddFolder(const std::string& path);
    void AddFile(const std::string& path, const std::vector<std::uint8_t>& contents,
                 std::uint32_t attributes = kAttrNormal);
    void AddFile(const std::string& path, const std::string& contents = std::string(),
                 std::uint32_t attributes = kAttrNormal);
    void AddFileOfSize(const std::string& path, std::size_t size, std::uint8_t fill = 0x5A);
    // A link carries a name-surrogate tag: a symbolic link, or a junction for a folder.
    void AddLinkToFile(const std::string& link, const std::string& target,
                       std::uint32_t tag = kTagSymlink);
    void AddLinkToFolder(const std::string& link, const std::string& target,
                         std::uint32_t tag = kTagSymlink);
    // Makes a file or folder a reparse point of a filter (cloud files, deduplication): it
    // keeps its data and contents, and reports kAttrReparsePoint with `tag`.
    void SetReparseTag(const std::string& path, std::uint32_t tag);
    // The enumeration reports the entry under `shown` (which may hold separators, as a
    // name converted by best fit can), while its real path stays as created.
    void ListAs(const std::string& path, const std::string& shown);
    // A named data stream of a file, reached as "file:name"; it moves with its file.
    void AddStream(const std::string& file, const std::string& name, const std::string& contents);
    // Replaces the attribute bits of a file (kAttrReadOnly makes opening and deleting fail
    // with kErrorAccessDenied) or adds bits to a folder's.
    void SetAttributes(const std::string& path, std::uint32_t attributes);
    // Another process holds the file open without sharing: opening, renaming and deleting
    // it fail with kErrorSharingViolation.
    void SetHeldOpen(const std::string& path, bool held);

    // --- inspection ---
    bool Exists(const std::string& path) const;  // the entry itself, links not followed
    bool IsFile(const std::string& path) const;
    bool IsFolder(const std::string& path) const;
    bool IsLink(const std::string& path) const;
    // A file's contents (through a link); empty for anything else.
    std::vector<std::uint8_t> Contents(const std::string& path) const;
    // Names of a folder's entries in enumeration order, without "." and "..".
    std::vector<std::string> List(const std::string& folder) const;
    // Every entry's path as created or renamed, sorted case-insensitively.
    std::vector<std::string> AllPaths() const;
    std::vector<RecycledItem> RecycleBin() const;
    std::size_t OpenHandleCount() const;
    std::size_t OpenFindCount() const;
    std::size_t LiveAllocationCount() const;

    // --- the record of calls ---
    std::vector<Call> Calls() const;
    std::vector<Call> Calls(Op op) const;
    void ClearCalls();
    // Calls of `op` since construction (the record may have been cleared; this is not).
    std::uint64_t CallCount(Op op) const;
    // Called after every call, outside the file system's lock: it may call back in.
    void SetObserver(std::function<void(const Call&)> observer);
    // Whether Calls() keeps each call (counts and the observer see them either way): a
    // tree thousands of levels deep would keep gigabytes of paths.
    void KeepCalls(bool keep);

    // --- faults ---
    // Calls number `first` to `first + count - 1` of `op` (counted from 1 since
    // construction) fail with `error`. Faults of one Op may overlap; the first added wins.
    void FailCalls(Op op, std::uint64_t first, std::uint64_t count, std::uint32_t error);
    void FailCall(Op op, std::uint64_t nth, std::uint32_t error) { FailCalls(op, nth, 1, error); }
    // Write call number `nth` writes only `bytes` bytes (if fewer were asked, all of them)
    // and reports success.
    void ShortWrite(std::uint64_t nth, std::uint32_t bytes);
    // Allocations of more than `bytes` fail (kErrorNotEnoughMemory); kForever lifts it.
    void SetAllocationLimit(std::uint64_t bytes);
    // A volume that holds at most `bytes` of file data and `entries` files and folders:
    // a write beyond it writes what fits, then fails with kErrorDiskFull, and so does a
    // new entry beyond it. kForever lifts either.
    void SetCapacity(std::uint64_t bytes, std::uint64_t entries = kForever);
    // What QueryVolume reports besides the sizes (kind, read-only, file system).
    void SetVolume(const VolumeFacts& facts);
    std::uint64_t UsedBytes() const;

    // --- FileSystem ---
    Handle OpenExclusive(const std::string& path) override;
    bool Close(Handle h) override;
    // The node's number: a file keeps it across renames.
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
    bool NamedStreams(const std::string& path, std::vector<std::string>& streams) override;
    std::uint32_t Attributes(const std::string& path) override;
    bool ReparseTag(const std::string& path, std::uint32_t& tag) override;
    FindHandle FindFirst(const std::string& pattern, std::string& name) override;
    bool FindNext(FindHandle h, std::string& name) override;
    bool FindEnd(FindHandle h) override;
    bool RemoveFolder(const std::string& path) override;
    // Sizes from the capacity: free is what is left of it.
    bool QueryVolume(const std::string& root, VolumeFacts& facts) override;
    bool CreateFolder(const std::string& path, bool hidden) override;
    Handle CreateNew(const std::string& path) override;
    bool Truncate(Handle h, std::int64_t size) override;
    void* Allocate(std::size_t size) override;
    void Free(void* block) override;
    std::uint32_t LastError() const override;

private:
    enum class Kind { File, Folder, FileLink, FolderLink };
    struct Node {
        Kind kind = Kind::File;
        std::string path;  // as created, separators made backslashes
        std::vector<std::uint8_t> data;
        std::uint32_t attributes = 0;
        std::string target;     // a link's target, as a key
        std::uint32_t tag = 0;  // reparse tag of a link or a filter's reparse point
        std::string shown;      // the name enumeration reports, when not the real one
        bool heldOpen = false;
        int openCount = 0;
        std::uint64_t sequence = 0;
        std::uint64_t id = 0;  // the file's number: kept across renames, never reused
        std::map<std::string, std::shared_ptr<Node>> streams;  // by lower-case name
    };
    struct OpenFile {
        std::shared_ptr<Node> node;
        std::int64_t position = 0;
    };
    struct Search {
        std::vector<std::string> names;
        std::size_t next = 0;
        std::string folder;
    };
    struct Fault {
        std::uint64_t first;
        std::uint64_t last;
        std::uint32_t error;
    };
    using Lock = std::unique_lock<std::mutex>;

    std::shared_ptr<Node> AddNode(const std::string& path, Kind kind);
    void AddParents(const std::string& normalPath);
    std::shared_ptr<Node> Find(const std::string& key) const;
    // Follows links to folders inside the path, and the final one when asked to.
    std::string Resolve(const std::string& path, bool followFinal) const;
    bool ParentIsFolder(const std::string& key) const;
    std::uint32_t MissingError(const std::string& key) const;
    std::vector<std::shared_ptr<Node>> Children(const std::string& key) const;
    std::uint32_t NodeAttributes(const Node& node) const;
    // Takes a file or a stream of one out of the tree (its node lives on while open).
    void EraseFile(const std::string& key);

    // Counts the call and tells whether a fault is due; fills `call`'s error if so.
    bool Injected(Op op, Call& call);
    // Records the call, sets this thread's last error, releases the lock and tells the
    // observer. Returns call.ok.
    bool Finish(Lock& lock, Call& call);

    mutable std::mutex m_mutex;
    Order m_order;
    std::map<std::string, std::shared_ptr<Node>> m_nodes;  // by key: lower case, backslashes
    bool m_hasLinks = false;  // once a link was added, names are resolved step by step
    bool m_keepCalls = true;
    std::map<Handle, OpenFile> m_files;
    std::map<FindHandle, Search> m_searches;
    std::map<void*, std::size_t> m_allocations;
    std::vector<RecycledItem> m_recycled;
    std::vector<Call> m_calls;
    std::uint64_t m_counts[kOpCount] = {};
    std::vector<Fault> m_faults[kOpCount];
    std::map<std::uint64_t, std::uint32_t> m_shortWrites;
    std::uint64_t m_allocationLimit = kForever;
    std::uint64_t m_capacity = kForever;
    std::uint64_t m_entryLimit = kForever;
    VolumeFacts m_volume{VolumeKind::Fixed, false, "NTFS", 0, 0};
    std::uint64_t UsedLocked() const;
    // Why a new entry at `key` cannot be made (`taken` when the name is), or success.
    std::uint32_t NewEntryError(const std::string& key, std::uint32_t taken) const;
    std::function<void(const Call&)> m_observer;
    std::uint64_t m_sequence = 0;
    std::intptr_t m_nextHandle = 4;
};

}  // namespace veltrane
