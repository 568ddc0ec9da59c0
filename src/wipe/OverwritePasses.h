#pragma once
// What each pass of an overwriting method writes, in order: the one sequence that both the
// file wipe and the free-space wipe follow.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "wipe/FileSystem.h"

namespace veltrane {

struct OverwritePass {
    // Drawn: a byte value drawn from the character generator when the pass begins, unlike
    // every value drawn before it in the same plan; Complement: the last drawn value's
    // complement. PassDraws turns both into Byte passes.
    enum class Kind : std::uint8_t { Random, Byte, Pattern, Drawn, Complement };
    Kind kind;
    std::uint8_t data[3];  // the byte value, or the 3-byte pattern
};

// The passes of one overwriting method bit, in order; empty for anything else.
std::vector<OverwritePass> PassPlan(std::uint32_t method);

// The values one run of a plan has drawn. Drawing at the pass, not before the run, keeps
// the generator where it was when a pass fails: a later rename draws the same letters.
class PassDraws {
public:
    OverwritePass Resolve(const OverwritePass& pass);

private:
    std::int32_t m_values[3] = {};
    int m_count = 0;
};

// Fills `size` bytes of `buffer` for `pass`, as the bytes starting at file offset
// `offset` (a pattern keeps its phase across buffers); a random pass draws from `state`.
void FillPassBuffer(const OverwritePass& pass, std::uint8_t* buffer, std::size_t size,
                    std::uint64_t offset, std::uint32_t& state);

// A write buffer from the file system's allocator, freed with it.
class PassBuffer {
public:
    PassBuffer(FileSystem& fs, std::uint8_t* data) : m_fs(fs), m_data(data) {}
    ~PassBuffer() {
        if (m_data != nullptr) m_fs.Free(m_data);
    }
    PassBuffer(const PassBuffer&) = delete;
    PassBuffer& operator=(const PassBuffer&) = delete;
    std::uint8_t* get() const { return m_data; }

private:
    FileSystem& m_fs;
    std::uint8_t* m_data;
};

}  // namespace veltrane
