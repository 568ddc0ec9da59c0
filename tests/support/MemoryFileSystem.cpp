#include "support/MemoryFileSystem.h"

#include <algorithm>
#include <iterator>
#include <cctype>
#include <cstring>
#include <new>
#include <utility>

namespace veltrane {
namespace {

thread_local std::uint32_t t_lastError = 0;

constexpr int kMaxLinkHops = 32;

// Backslashes only, runs of separators made one (a leading pair is kept for UNC names),
// no trailing separator.
std::string Normal(const std::string& path) {
    std::string out;
    out.reserve(path.size());
    for (std::size_t i = 0; i < path.size(); ++i) {
        const char c = path[i] == '/' ? '\\' : path[i];
        if (c == '\\' && !out.empty() && out.back() == '\\' && i > 1) continue;
        out += c;
    }
    while (out.size() > 1 && out.back() == '\\') out.pop_back();
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string KeyOf(const std::string& path) {
    return Lower(Normal(path));
}

std::string ParentOf(const std::string& key) {
    const std::size_t pos = key.rfind('\\');
    return pos == std::string::npos ? std::string() : key.substr(0, pos);
}

std::string LeafOf(const std::string& path) {
    const std::size_t pos = path.rfind('\\');
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

// A drive ("c:") or the unnamed root of relative names; never listed, moved or removed.
bool IsRoot(const std::string& key) {
    return key.find('\\') == std::string::npos && (key.empty() || key.back() == ':');
}

bool IsUnder(const std::string& key, const std::string& folder) {
    return key.size() > folder.size() && key.compare(0, folder.size(), folder) == 0 &&
           key[folder.size()] == '\\';
}

// '*' and '?' as FindFirstFile knows them, case-insensitively.
bool Matches(const char* mask, const char* name) {
    for (; *mask != '\0'; ++mask, ++name) {
        if (*mask == '*') {
            for (const char* rest = name;; ++rest) {
                if (Matches(mask + 1, rest)) return true;
                if (*rest == '\0') return false;
            }
        }
        if (*name == '\0') return false;
        if (*mask != '?' && std::tolower(static_cast<unsigned char>(*mask)) !=
                                std::tolower(static_cast<unsigned char>(*name))) {
            return false;
        }
    }
    return *name == '\0';
}

}  // namespace

MemoryFileSystem::MemoryFileSystem(Order order) : m_order(order) {}

MemoryFileSystem::~MemoryFileSystem() {
    for (auto& block : m_allocations) delete[] static_cast<std::uint8_t*>(block.first);
}

// --- building ---------------------------------------------------------------------------

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::AddNode(const std::string& path,
                                                                  Kind kind) {
    const std::string normal = Normal(path);
    AddParents(ParentOf(normal));
    auto node = std::make_shared<Node>();
    node->kind = kind;
    node->path = normal;
    node->sequence = ++m_sequence;
    node->id = node->sequence;
    m_nodes[Lower(normal)] = node;
    return node;
}

void MemoryFileSystem::AddParents(const std::string& normal) {
    const std::string key = Lower(normal);
    if (Find(key) != nullptr) return;
    if (!IsRoot(key)) AddParents(ParentOf(normal));
    auto node = std::make_shared<Node>();
    node->kind = Kind::Folder;
    node->path = normal;
    node->sequence = ++m_sequence;
    node->id = node->sequence;
    m_nodes[key] = node;
}

void MemoryFileSystem::AddFolder(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Find(KeyOf(path)) == nullptr) AddNode(path, Kind::Folder);
}

void MemoryFileSystem::AddFile(const std::string& path, const std::vector<std::uint8_t>& contents,
                               std::uint32_t attributes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto node = AddNode(path, Kind::File);
    node->data = contents;
    node->attributes = attributes;
}

void MemoryFileSystem::AddFile(const std::string& path, const std::string& contents,
                               std::uint32_t attributes) {
    AddFile(path, std::vector<std::uint8_t>(contents.begin(), contents.end()), attributes);
}

void MemoryFileSystem::AddFileOfSize(const std::string& path, std::size_t size, std::uint8_t fill) {
    AddFile(path, std::vector<std::uint8_t>(size, fill));
}

void MemoryFileSystem::AddLinkToFile(const std::string& link, const std::string& target,
                                     std::uint32_t tag) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto node = AddNode(link, Kind::FileLink);
    m_hasLinks = true;
    node->target = KeyOf(target);
    node->tag = tag;
}

void MemoryFileSystem::AddLinkToFolder(const std::string& link, const std::string& target,
                                       std::uint32_t tag) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto node = AddNode(link, Kind::FolderLink);
    m_hasLinks = true;
    node->target = KeyOf(target);
    node->tag = tag;
}

void MemoryFileSystem::SetReparseTag(const std::string& path, std::uint32_t tag) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (auto node = Find(KeyOf(path))) {
        node->tag = tag;
        node->attributes = (node->attributes & ~kAttrNormal) | kAttrReparsePoint;
    }
}

void MemoryFileSystem::ListAs(const std::string& path, const std::string& shown) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (auto node = Find(KeyOf(path))) node->shown = shown;
}

void MemoryFileSystem::SetAttributes(const std::string& path, std::uint32_t attributes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (auto node = Find(KeyOf(path))) node->attributes = attributes;
}

void MemoryFileSystem::SetHeldOpen(const std::string& path, bool held) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (auto node = Find(Resolve(path, true))) node->heldOpen = held;
}

// --- inspection -------------------------------------------------------------------------

std::shared_ptr<MemoryFileSystem::Node> MemoryFileSystem::Find(const std::string& key) const {
    auto it = m_nodes.find(key);
    if (it != m_nodes.end()) return it->second;
    // "file:stream": a colon in the last component (a drive's colon comes before it).
    const std::size_t colon = key.rfind(':');
    const std::size_t slash = key.rfind('\\');
    if (colon == std::string::npos || slash == std::string::npos || colon < slash) return nullptr;
    auto file = m_nodes.find(key.substr(0, colon));
    if (file == m_nodes.end()) return nullptr;
    auto stream = file->second->streams.find(key.substr(colon + 1));
    return stream == file->second->streams.end() ? nullptr : stream->second;
}

void MemoryFileSystem::AddStream(const std::string& file, const std::string& name,
                                 const std::string& contents) {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto node = Find(KeyOf(file));
    if (node == nullptr) return;
    auto stream = std::make_shared<Node>();
    stream->kind = Kind::File;
    stream->path = node->path + ":" + name;
    stream->data.assign(contents.begin(), contents.end());
    stream->sequence = ++m_sequence;
    stream->id = stream->sequence;
    node->streams[Lower(name)] = stream;
}

bool MemoryFileSystem::NamedStreams(const std::string& path, std::vector<std::string>& streams) {
    Lock lock(m_mutex);
    Call call{Op::Streams, path};
    if (!Injected(Op::Streams, call)) {
        const std::string key = Resolve(path, true);
        auto node = Find(key);
        call.error = node == nullptr ? MissingError(key) : kErrorSuccess;
        call.ok = node != nullptr;
        if (call.ok) {
            streams.clear();
            for (const auto& entry : node->streams) {
                streams.push_back(
                    path + ":" +
                    LeafOf(entry.second->path).substr(LeafOf(entry.second->path).rfind(':') + 1));
            }
        }
    }
    return Finish(lock, call);
}

std::string MemoryFileSystem::Resolve(const std::string& path, bool followFinal) const {
    const std::string key = KeyOf(path);
    if (!m_hasLinks) return key;  // without links every name is what it says
    std::string current;
    std::size_t begin = 0;
    int hops = 0;
    for (;;) {
        const std::size_t end = key.find('\\', begin);
        const bool last = end == std::string::npos;
        const std::string component = key.substr(begin, last ? std::string::npos : end - begin);
        current = begin == 0 ? component : current + '\\' + component;
        if (!last || followFinal) {
            for (auto node = Find(current); node != nullptr && hops < kMaxLinkHops;
                 node = Find(current)) {
                if (node->kind == Kind::FolderLink || (last && node->kind == Kind::FileLink)) {
                    current = node->target;
                    ++hops;
                } else {
                    break;
                }
            }
        }
        if (last) return current;
        begin = end + 1;
    }
}

bool MemoryFileSystem::ParentIsFolder(const std::string& key) const {
    auto parent = Find(ParentOf(key));
    return parent != nullptr && parent->kind == Kind::Folder;
}

std::uint32_t MemoryFileSystem::MissingError(const std::string& key) const {
    return ParentIsFolder(key) ? kErrorFileNotFound : kErrorPathNotFound;
}

std::vector<std::shared_ptr<MemoryFileSystem::Node>> MemoryFileSystem::Children(
    const std::string& key) const {
    std::vector<std::shared_ptr<Node>> out;
    if (key.empty()) {
        for (const auto& entry : m_nodes) {
            if (!IsRoot(entry.first) && ParentOf(entry.first) == key) out.push_back(entry.second);
        }
    } else {
        // Keys are ordered: everything below `key` lies in [key\, key]), ']' following '\'.
        // Each child's own subtree is stepped over: a deep tree costs its children only.
        const std::string prefix = key + '\\';
        for (auto it = m_nodes.lower_bound(prefix);
             it != m_nodes.end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
            const std::string& child = it->first;
            out.push_back(it->second);
            const auto next = std::next(it);
            it = next != m_nodes.end() && IsUnder(next->first, child)
                     ? m_nodes.lower_bound(child + ']')
                     : next;
        }
    }
    if (m_order == Order::Insertion) {
        std::sort(out.begin(), out.end(),
                  [](const auto& a, const auto& b) { return a->sequence < b->sequence; });
    } else {
        // NTFS compares names upper-cased.
        std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) {
            return Upper(LeafOf(a->path)) < Upper(LeafOf(b->path));
        });
    }
    return out;
}

std::uint32_t MemoryFileSystem::NodeAttributes(const Node& node) const {
    switch (node.kind) {
        case Kind::File:
            return node.attributes != 0 ? node.attributes : kAttrNormal;
        case Kind::Folder:
            return kAttrDirectory | node.attributes;
        case Kind::FileLink:
            return kAttrReparsePoint;
        case Kind::FolderLink:
            return kAttrReparsePoint | kAttrDirectory;
    }
    return kInvalidAttributes;
}

bool MemoryFileSystem::Exists(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return Find(Resolve(path, false)) != nullptr;
}

bool MemoryFileSystem::IsFile(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto node = Find(Resolve(path, false));
    return node != nullptr && node->kind == Kind::File;
}

bool MemoryFileSystem::IsFolder(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto node = Find(Resolve(path, false));
    return node != nullptr && node->kind == Kind::Folder;
}

bool MemoryFileSystem::IsLink(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto node = Find(Resolve(path, false));
    return node != nullptr && (node->kind == Kind::FileLink || node->kind == Kind::FolderLink);
}

std::vector<std::uint8_t> MemoryFileSystem::Contents(const std::string& path) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto node = Find(Resolve(path, true));
    return node != nullptr && node->kind == Kind::File ? node->data : std::vector<std::uint8_t>();
}

std::vector<std::string> MemoryFileSystem::List(const std::string& folder) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> names;
    for (const auto& node : Children(Resolve(folder, true))) names.push_back(LeafOf(node->path));
    return names;
}

std::vector<std::string> MemoryFileSystem::AllPaths() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<std::string> paths;
    for (const auto& entry : m_nodes) {
        if (!IsRoot(entry.first)) paths.push_back(entry.second->path);
    }
    std::sort(paths.begin(), paths.end(),
              [](const std::string& a, const std::string& b) { return Lower(a) < Lower(b); });
    return paths;
}

std::vector<MemoryFileSystem::RecycledItem> MemoryFileSystem::RecycleBin() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_recycled;
}

std::size_t MemoryFileSystem::OpenHandleCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_files.size();
}

std::size_t MemoryFileSystem::OpenFindCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_searches.size();
}

std::size_t MemoryFileSystem::LiveAllocationCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_allocations.size();
}

// --- record and faults ------------------------------------------------------------------

std::vector<MemoryFileSystem::Call> MemoryFileSystem::Calls() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_calls;
}

std::vector<MemoryFileSystem::Call> MemoryFileSystem::Calls(Op op) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<Call> out;
    for (const Call& c : m_calls) {
        if (c.op == op) out.push_back(c);
    }
    return out;
}

void MemoryFileSystem::ClearCalls() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_calls.clear();
}

std::uint64_t MemoryFileSystem::CallCount(Op op) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_counts[static_cast<std::size_t>(op)];
}

void MemoryFileSystem::KeepCalls(bool keep) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_keepCalls = keep;
}

void MemoryFileSystem::SetObserver(std::function<void(const Call&)> observer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_observer = std::move(observer);
}

void MemoryFileSystem::FailCalls(Op op, std::uint64_t first, std::uint64_t count,
                                 std::uint32_t error) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (count == 0) return;
    const std::uint64_t last = count > kForever - first ? kForever : first + count - 1;
    m_faults[static_cast<std::size_t>(op)].push_back(Fault{first, last, error});
}

void MemoryFileSystem::ShortWrite(std::uint64_t nth, std::uint32_t bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shortWrites[nth] = bytes;
}

void MemoryFileSystem::SetAllocationLimit(std::uint64_t bytes) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_allocationLimit = bytes;
}

bool MemoryFileSystem::Injected(Op op, Call& call) {
    const std::size_t i = static_cast<std::size_t>(op);
    const std::uint64_t n = ++m_counts[i];
    for (const Fault& f : m_faults[i]) {
        if (n >= f.first && n <= f.last) {
            call.ok = false;
            call.error = f.error;
            return true;
        }
    }
    return false;
}

bool MemoryFileSystem::Finish(Lock& lock, Call& call) {
    if (!call.ok) t_lastError = call.error;
    if (m_keepCalls) m_calls.push_back(call);
    std::function<void(const Call&)> observer = m_observer;
    lock.unlock();
    if (observer) observer(call);
    return call.ok;
}

std::uint32_t MemoryFileSystem::LastError() const {
    return t_lastError;
}

// --- one file ---------------------------------------------------------------------------

FileSystem::Handle MemoryFileSystem::OpenExclusive(const std::string& path) {
    Lock lock(m_mutex);
    Call call{Op::Open, path};
    Handle h = kInvalidHandle;
    if (!Injected(Op::Open, call)) {
        const std::string key = Resolve(path, true);
        auto node = Find(key);
        call.error = node == nullptr                     ? MissingError(key)
                     : node->kind != Kind::File          ? kErrorAccessDenied
                     : node->attributes & kAttrReadOnly  ? kErrorAccessDenied
                     : node->heldOpen || node->openCount ? kErrorSharingViolation
                                                         : kErrorSuccess;
        call.ok = call.error == kErrorSuccess;
        if (call.ok) {
            h = static_cast<Handle>(m_nextHandle);
            m_nextHandle += 4;
            ++node->openCount;
            m_files[h] = OpenFile{node, 0};
            call.path = node->path;
        }
    }
    Finish(lock, call);
    return h;
}

bool MemoryFileSystem::Identify(Handle h, FileIdentity& identity) {
    Lock lock(m_mutex);
    Call call{Op::Identify};
    auto it = m_files.find(h);
    if (it != m_files.end()) call.path = it->second.node->path;
    if (!Injected(Op::Identify, call)) {
        call.ok = it != m_files.end();
        call.error = call.ok ? kErrorSuccess : kErrorInvalidHandle;
        if (call.ok) identity = FileIdentity{1, it->second.node->id};
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::IdentifyPath(const std::string& path, FileIdentity& identity) {
    Lock lock(m_mutex);
    Call call{Op::Identify, path};
    if (!Injected(Op::Identify, call)) {
        const std::string key = Resolve(path, false);
        auto node = Find(key);
        call.ok = node != nullptr;
        call.error = call.ok ? kErrorSuccess : MissingError(key);
        if (call.ok) identity = FileIdentity{1, node->id};
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::Close(Handle h) {
    Lock lock(m_mutex);
    Call call{Op::Close};
    auto it = m_files.find(h);
    if (it != m_files.end()) call.path = it->second.node->path;
    if (!Injected(Op::Close, call)) {
        call.ok = it != m_files.end();
        call.error = call.ok ? kErrorSuccess : kErrorInvalidHandle;
        if (call.ok) {
            --it->second.node->openCount;
            m_files.erase(it);
        }
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::GetSize64(Handle h, std::int64_t& size) {
    Lock lock(m_mutex);
    Call call{Op::GetSize};
    auto it = m_files.find(h);
    if (it != m_files.end()) call.path = it->second.node->path;
    if (!Injected(Op::GetSize, call)) {
        call.ok = it != m_files.end();
        call.error = call.ok ? kErrorSuccess : kErrorInvalidHandle;
        if (call.ok) size = static_cast<std::int64_t>(it->second.node->data.size());
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::Seek64(Handle h, std::int64_t distance, SeekOrigin origin,
                              std::int64_t& newPosition) {
    Lock lock(m_mutex);
    Call call{Op::Seek};
    call.offset = distance;
    auto it = m_files.find(h);
    if (it != m_files.end()) call.path = it->second.node->path;
    if (!Injected(Op::Seek, call)) {
        if (it == m_files.end()) {
            call.error = kErrorInvalidHandle;
        } else {
            OpenFile& f = it->second;
            const std::int64_t base = origin == SeekOrigin::Begin ? 0
                                      : origin == SeekOrigin::Current
                                          ? f.position
                                          : static_cast<std::int64_t>(f.node->data.size());
            const std::int64_t target = base + distance;
            call.error = target < 0 ? kErrorNegativeSeek : kErrorSuccess;
            if (target >= 0) {
                f.position = target;
                newPosition = target;
            }
        }
        call.ok = call.error == kErrorSuccess;
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::Write(Handle h, const void* data, std::uint32_t size,
                             std::uint32_t& written) {
    Lock lock(m_mutex);
    written = 0;
    Call call{Op::Write};
    call.size = size;
    auto it = m_files.find(h);
    if (it != m_files.end()) {
        call.path = it->second.node->path;
        call.offset = it->second.position;
    }
    const std::uint64_t nth = m_counts[static_cast<std::size_t>(Op::Write)] + 1;
    if (!Injected(Op::Write, call)) {
        call.ok = it != m_files.end();
        call.error = call.ok ? kErrorSuccess : kErrorInvalidHandle;
        if (call.ok) {
            std::uint32_t n = size;
            auto shortened = m_shortWrites.find(nth);
            if (shortened != m_shortWrites.end() && shortened->second < n) n = shortened->second;
            OpenFile& f = it->second;
            std::vector<std::uint8_t>& bytes = f.node->data;
            if (m_capacity != kForever) {
                // Only growth takes space; what fits is written, as a full disk does.
                const std::uint64_t used = UsedLocked();
                const std::uint64_t room = used < m_capacity ? m_capacity - used : 0;
                const std::uint64_t growth =
                    static_cast<std::uint64_t>(f.position) + n > bytes.size()
                        ? static_cast<std::uint64_t>(f.position) + n - bytes.size()
                        : 0;
                if (growth > room) n -= static_cast<std::uint32_t>(growth - room);
            }
            const std::size_t end = static_cast<std::size_t>(f.position) + n;
            if (bytes.size() < end) bytes.resize(end);
            if (n > 0) std::memcpy(bytes.data() + f.position, data, n);
            f.position += n;
            written = n;
            call.written = n;
            if (n == 0 && size > 0) {
                call.ok = false;
                call.error = kErrorDiskFull;
            }
        }
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::Flush(Handle h) {
    Lock lock(m_mutex);
    Call call{Op::Flush};
    auto it = m_files.find(h);
    if (it != m_files.end()) call.path = it->second.node->path;
    if (!Injected(Op::Flush, call)) {
        call.ok = it != m_files.end();
        call.error = call.ok ? kErrorSuccess : kErrorInvalidHandle;
    }
    return Finish(lock, call);
}

void MemoryFileSystem::EraseFile(const std::string& key) {
    if (m_nodes.erase(key) != 0) return;
    // A stream: it goes from its file.
    const std::size_t colon = key.rfind(':');
    if (auto file = Find(key.substr(0, colon))) file->streams.erase(key.substr(colon + 1));
}

// By handle: the name must still reach the handle's own node, as a backend that goes by
// name checks it; nothing else under that name is touched.
bool MemoryFileSystem::MoveOpen(Handle h, const std::string& from, const std::string& to) {
    Lock lock(m_mutex);
    Call call{Op::Move, from, to};
    if (!Injected(Op::Move, call)) {
        auto it = m_files.find(h);
        const std::string fromKey = Resolve(from, false);
        const std::string toKey = Resolve(to, false);
        auto node = Find(fromKey);
        call.error = it == m_files.end()                          ? kErrorInvalidHandle
                     : node == nullptr || node != it->second.node ? kErrorFileInvalid
                     : fromKey != toKey && Find(toKey) != nullptr ? kErrorAlreadyExists
                     : !ParentIsFolder(toKey)                     ? kErrorPathNotFound
                                                                  : kErrorSuccess;
        call.ok = call.error == kErrorSuccess;
        if (call.ok && fromKey != toKey) {
            m_nodes.erase(fromKey);
            node->path = Normal(to);
            node->sequence = ++m_sequence;
            m_nodes[toKey] = node;
        }
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::RemoveOpen(Handle h, const std::string& path) {
    Lock lock(m_mutex);
    Call call{Op::Remove, path};
    if (!Injected(Op::Remove, call)) {
        auto it = m_files.find(h);
        const std::string key = Resolve(path, false);
        auto node = Find(key);
        call.error = it == m_files.end()                          ? kErrorInvalidHandle
                     : node == nullptr || node != it->second.node ? kErrorFileInvalid
                                                                  : kErrorSuccess;
        call.ok = call.error == kErrorSuccess;
        if (call.ok) EraseFile(key);
    }
    return Finish(lock, call);
}

// --- names ------------------------------------------------------------------------------

bool MemoryFileSystem::Move(const std::string& from, const std::string& to) {
    Lock lock(m_mutex);
    Call call{Op::Move, from, to};
    if (!Injected(Op::Move, call)) {
        const std::string fromKey = Resolve(from, false);
        const std::string toKey = Resolve(to, false);
        auto node = Find(fromKey);
        const bool sameEntry = fromKey == toKey;
        call.error = node == nullptr || IsRoot(fromKey)        ? MissingError(fromKey)
                     : node->heldOpen || node->openCount > 0   ? kErrorSharingViolation
                     : !sameEntry && Find(toKey) != nullptr    ? kErrorAlreadyExists
                     : !ParentIsFolder(toKey) || IsRoot(toKey) ? kErrorPathNotFound
                     : IsUnder(toKey, fromKey)                 ? kErrorAccessDenied
                                                               : kErrorSuccess;
        call.ok = call.error == kErrorSuccess;
        if (call.ok) {
            const std::string newPath = Normal(to);
            const std::size_t oldLength = node->path.size();
            // The entry and everything below it take the new name.
            std::vector<std::pair<std::string, std::shared_ptr<Node>>> moved;
            for (auto it = m_nodes.begin(); it != m_nodes.end();) {
                if (it->first == fromKey || IsUnder(it->first, fromKey)) {
                    moved.emplace_back(toKey + it->first.substr(fromKey.size()), it->second);
                    it->second->path = newPath + it->second->path.substr(oldLength);
                    it = m_nodes.erase(it);
                } else {
                    ++it;
                }
            }
            node->sequence = ++m_sequence;
            for (auto& entry : moved) m_nodes[entry.first] = entry.second;
        }
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::Remove(const std::string& path) {
    Lock lock(m_mutex);
    Call call{Op::Remove, path};
    if (!Injected(Op::Remove, call)) {
        const std::string key = Resolve(path, false);
        auto node = Find(key);
        call.error = node == nullptr || IsRoot(key) ? MissingError(key)
                     : node->kind == Kind::Folder || node->kind == Kind::FolderLink
                         ? kErrorAccessDenied
                     : node->attributes & kAttrReadOnly      ? kErrorAccessDenied
                     : node->heldOpen || node->openCount > 0 ? kErrorSharingViolation
                                                             : kErrorSuccess;
        call.ok = call.error == kErrorSuccess;
        if (call.ok) EraseFile(key);
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::Recycle(const std::string& path) {
    Lock lock(m_mutex);
    Call call{Op::Recycle, path};
    if (!Injected(Op::Recycle, call)) {
        const std::string key = Resolve(path, false);
        auto node = Find(key);
        bool busy = false;
        for (const auto& entry : m_nodes) {
            if ((entry.first == key || IsUnder(entry.first, key)) &&
                (entry.second->heldOpen || entry.second->openCount > 0)) {
                busy = true;
            }
        }
        call.error = node == nullptr || IsRoot(key) ? MissingError(key)
                     : busy                         ? kErrorSharingViolation
                                                    : kErrorSuccess;
        call.ok = call.error == kErrorSuccess;
        if (call.ok) {
            m_recycled.push_back(RecycledItem{node->path, node->data});
            for (auto it = m_nodes.begin(); it != m_nodes.end();) {
                if (it->first == key || IsUnder(it->first, key)) {
                    it = m_nodes.erase(it);
                } else {
                    ++it;
                }
            }
        }
    }
    return Finish(lock, call);
}

// --- the folder walk --------------------------------------------------------------------

std::uint32_t MemoryFileSystem::Attributes(const std::string& path) {
    Lock lock(m_mutex);
    Call call{Op::Attributes, path};
    std::uint32_t attributes = kInvalidAttributes;
    if (!Injected(Op::Attributes, call)) {
        const std::string key = Resolve(path, false);
        auto node = Find(key);
        call.ok = node != nullptr;
        call.error = call.ok ? kErrorSuccess : MissingError(key);
        if (call.ok) attributes = NodeAttributes(*node);
    }
    Finish(lock, call);
    return attributes;
}

bool MemoryFileSystem::ReparseTag(const std::string& path, std::uint32_t& tag) {
    Lock lock(m_mutex);
    Call call{Op::ReparseTag, path};
    if (!Injected(Op::ReparseTag, call)) {
        const std::string key = Resolve(path, false);
        auto node = Find(key);
        if (node == nullptr) {
            call.error = MissingError(key);
        } else if ((NodeAttributes(*node) & kAttrReparsePoint) == 0) {
            call.error = kErrorInvalidParameter;
        } else {
            tag = node->tag;
            call.error = kErrorSuccess;
        }
        call.ok = call.error == kErrorSuccess;
    }
    return Finish(lock, call);
}

FileSystem::FindHandle MemoryFileSystem::FindFirst(const std::string& pattern, std::string& name) {
    Lock lock(m_mutex);
    Call call{Op::FindFirst, pattern};
    FindHandle h = kInvalidFind;
    if (!Injected(Op::FindFirst, call)) {
        const std::size_t sep = pattern.find_last_of("\\/");
        const std::string mask = sep == std::string::npos ? pattern : pattern.substr(sep + 1);
        const std::string folder =
            sep == std::string::npos ? std::string() : pattern.substr(0, sep);
        const std::string key = Resolve(folder, true);
        auto node = Find(key);
        Search search;
        search.folder = key;
        if (mask.empty()) {
            call.error = kErrorFileNotFound;
        } else if (node == nullptr || node->kind != Kind::Folder) {
            call.error = kErrorPathNotFound;
        } else {
            std::vector<std::string> names;
            if (!IsRoot(key)) names = {".", ".."};
            for (const auto& child : Children(key)) {
                names.push_back(child->shown.empty() ? LeafOf(child->path) : child->shown);
            }
            for (const std::string& n : names) {
                if (Matches(mask.c_str(), n.c_str())) search.names.push_back(n);
            }
            call.error = search.names.empty() ? kErrorFileNotFound : kErrorSuccess;
        }
        call.ok = call.error == kErrorSuccess;
        if (call.ok) {
            name = search.names[0];
            search.next = 1;
            h = static_cast<FindHandle>(m_nextHandle);
            m_nextHandle += 4;
            m_searches[h] = std::move(search);
        }
    }
    Finish(lock, call);
    return h;
}

bool MemoryFileSystem::FindNext(FindHandle h, std::string& name) {
    Lock lock(m_mutex);
    Call call{Op::FindNext};
    auto it = m_searches.find(h);
    if (it != m_searches.end()) call.path = it->second.folder;
    if (!Injected(Op::FindNext, call)) {
        if (it == m_searches.end()) {
            call.error = kErrorInvalidHandle;
        } else if (it->second.next >= it->second.names.size()) {
            call.error = kErrorNoMoreFiles;
        } else {
            name = it->second.names[it->second.next++];
            call.error = kErrorSuccess;
        }
        call.ok = call.error == kErrorSuccess;
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::FindEnd(FindHandle h) {
    Lock lock(m_mutex);
    Call call{Op::FindEnd};
    auto it = m_searches.find(h);
    if (it != m_searches.end()) call.path = it->second.folder;
    if (!Injected(Op::FindEnd, call)) {
        call.ok = it != m_searches.end();
        call.error = call.ok ? kErrorSuccess : kErrorInvalidHandle;
        if (call.ok) m_searches.erase(it);
    }
    return Finish(lock, call);
}

bool MemoryFileSystem::RemoveFolder(const std::string& path) {
    Lock lock(m_mutex);
    Call call{Op::RemoveFolder, path};
    if (!Injected(Op::RemoveFolder, call)) {
        const std::string key = Resolve(path, false);
        auto node = Find(key);
        if (node == nullptr) {
            call.error = MissingError(key);
        } else if (IsRoot(key)) {
            call.error = kErrorAccessDenied;
        } else if (node->kind == Kind::File || node->kind == Kind::FileLink) {
            call.error = kErrorDirectory;
        } else if (node->kind == Kind::Folder && !Children(key).empty()) {
            call.error = kErrorDirNotEmpty;
        } else {
            call.error = kErrorSuccess;  // a folder link goes, its target stays
            m_nodes.erase(key);
        }
        call.ok = call.error == kErrorSuccess;
    }
    return Finish(lock, call);
}

// --- a volume ---------------------------------------------------------------------------

void MemoryFileSystem::SetCapacity(std::uint64_t bytes, std::uint64_t entries) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_capacity = bytes;
    m_entryLimit = entries;
}

void MemoryFileSystem::SetVolume(const VolumeFacts& facts) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_volume = facts;
}

std::uint64_t MemoryFileSystem::UsedBytes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return UsedLocked();
}

std::uint64_t MemoryFileSystem::UsedLocked() const {
    std::uint64_t used = 0;
    for (const auto& entry : m_nodes) {
        used += entry.second->data.size();
        for (const auto& stream : entry.second->streams) used += stream.second->data.size();
    }
    return used;
}

bool MemoryFileSystem::QueryVolume(const std::string& root, VolumeFacts& facts) {
    Lock lock(m_mutex);
    Call call{Op::QueryVolume, root};
    if (!Injected(Op::QueryVolume, call)) {
        auto node = Find(Resolve(root, true));
        call.ok = node != nullptr && node->kind == Kind::Folder;
        call.error = call.ok ? kErrorSuccess : kErrorPathNotFound;
        if (call.ok) {
            facts = m_volume;
            const std::uint64_t capacity = m_capacity == kForever ? (1ull << 40) : m_capacity;
            const std::uint64_t used = UsedLocked();
            facts.totalBytes = capacity;
            facts.freeBytes = used < capacity ? capacity - used : 0;
        }
    }
    return Finish(lock, call);
}

std::uint32_t MemoryFileSystem::NewEntryError(const std::string& key, std::uint32_t taken) const {
    if (Find(key) != nullptr) return taken;
    if (!ParentIsFolder(key)) return kErrorPathNotFound;
    if (m_nodes.size() >= m_entryLimit) return kErrorDiskFull;
    return m_volume.readOnly ? kErrorAccessDenied : kErrorSuccess;
}

bool MemoryFileSystem::CreateFolder(const std::string& path, bool hidden) {
    Lock lock(m_mutex);
    Call call{Op::CreateFolder, path};
    if (!Injected(Op::CreateFolder, call)) {
        call.error = NewEntryError(Resolve(path, false), kErrorAlreadyExists);
        call.ok = call.error == kErrorSuccess;
        if (call.ok) {
            auto node = AddNode(path, Kind::Folder);
            if (hidden) node->attributes |= 0x02;
        }
    }
    return Finish(lock, call);
}

FileSystem::Handle MemoryFileSystem::CreateNew(const std::string& path) {
    Lock lock(m_mutex);
    Call call{Op::CreateNew, path};
    Handle h = kInvalidHandle;
    if (!Injected(Op::CreateNew, call)) {
        call.error = NewEntryError(Resolve(path, false), kErrorFileExists);
        call.ok = call.error == kErrorSuccess;
        if (call.ok) {
            auto node = AddNode(path, Kind::File);
            node->attributes = kAttrNormal;
            ++node->openCount;
            h = static_cast<Handle>(m_nextHandle++);
            m_files[h] = OpenFile{node, 0};
        }
    }
    Finish(lock, call);
    return h;
}

bool MemoryFileSystem::Truncate(Handle h, std::int64_t size) {
    Lock lock(m_mutex);
    Call call{Op::Truncate};
    call.size = static_cast<std::uint64_t>(size);
    auto it = m_files.find(h);
    if (it != m_files.end()) call.path = it->second.node->path;
    if (!Injected(Op::Truncate, call)) {
        call.ok = it != m_files.end() && size >= 0;
        call.error = it == m_files.end() ? kErrorInvalidHandle
                     : size < 0          ? kErrorNegativeSeek
                                         : kErrorSuccess;
        if (call.ok) it->second.node->data.resize(static_cast<std::size_t>(size));
    }
    return Finish(lock, call);
}

// --- memory -----------------------------------------------------------------------------

void* MemoryFileSystem::Allocate(std::size_t size) {
    Lock lock(m_mutex);
    Call call{Op::Allocate};
    call.size = size;
    void* block = nullptr;
    if (!Injected(Op::Allocate, call)) {
        if (size <= m_allocationLimit) block = new (std::nothrow) std::uint8_t[size ? size : 1];
        call.ok = block != nullptr;
        call.error = call.ok ? kErrorSuccess : kErrorNotEnoughMemory;
        if (call.ok) m_allocations[block] = size;
    }
    Finish(lock, call);
    return block;
}

void MemoryFileSystem::Free(void* block) {
    Lock lock(m_mutex);
    Call call{Op::Free};
    call.ok = true;
    auto it = m_allocations.find(block);
    if (it != m_allocations.end()) {
        call.size = it->second;
        delete[] static_cast<std::uint8_t*>(block);
        m_allocations.erase(it);
    }
    ++m_counts[static_cast<std::size_t>(Op::Free)];
    Finish(lock, call);
}

}  // namespace veltrane
