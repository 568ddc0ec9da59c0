#pragma once
// Helpers shared by the engine's tests: the bytes a pass must write, and a recorder of
// what a wipe did on the in-memory file system.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wipe/FillGenerator.h"
#include "support/MemoryFileSystem.h"

namespace veltrane::test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes Filled(std::size_t size, std::uint8_t value) {
    return Bytes(size, value);
}

inline Bytes Patterned(std::size_t size, std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    const std::uint8_t p[3] = {a, b, c};
    Bytes out(size);
    for (std::size_t k = 0; k < size; ++k) out[k] = p[k % 3];
    return out;
}

// What one random pass over a file of `size` bytes writes, advancing `state` as the pass
// does: whole chunks are drawn, also for a last write that uses only part of one.
inline Bytes RandomPassBytes(std::uint32_t& state, std::size_t size) {
    const std::size_t chunk = size < 262144 ? size : 262144;
    const std::size_t chunks = size == 0 ? 1 : (size + chunk - 1) / chunk;
    Bytes drawn(chunks * chunk);
    FillRandomReference(state, drawn.data(), drawn.size());
    drawn.resize(size);
    return drawn;
}

// The character generator's recurrence, kept apart from the engine's own.
inline std::int32_t ReferenceDraw(std::uint32_t& state) {
    state = state * 214013u + 2531011u;
    return static_cast<std::int32_t>((state >> 16) & 0x7FFF);
}

inline std::string ReferenceName(std::uint32_t& state, std::size_t letters) {
    std::string name;
    for (std::size_t i = 0; i < letters; ++i)
        name += static_cast<char>('a' + ReferenceDraw(state) % 26);
    return name;
}

// Watches a MemoryFileSystem: the file's contents at the end of every pass (a pass ends
// with its flush), and the published percentage as seen at every write and flush.
class WipeRecorder {
public:
    WipeRecorder(MemoryFileSystem& fs, std::atomic<std::int32_t>& progress) : m_fs(fs) {
        fs.SetObserver([this, &progress](const MemoryFileSystem::Call& call) {
            if (call.op == MemoryFileSystem::Op::Flush) {
                images.push_back(m_fs.Contents(call.path));
                afterPass.push_back(progress.load());
            }
            if (call.op == MemoryFileSystem::Op::Write) beforeWrite.push_back(progress.load());
        });
    }
    ~WipeRecorder() { m_fs.SetObserver(nullptr); }

    std::vector<Bytes> images;
    std::vector<std::int32_t> afterPass;    // percentage when each pass flushed
    std::vector<std::int32_t> beforeWrite;  // percentage as each write began

private:
    MemoryFileSystem& m_fs;
};

}  // namespace veltrane::test
