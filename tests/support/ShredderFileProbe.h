#pragma once
// A narrow door into ShredderFile for tests and benchmarks: single passes on a file, the
// fill state, and the bookkeeping that the published percentage is computed from.
// Production code calls ShredderFile::Wipe only.

#include <cstdint>
#include <string>

#include "wipe/ShredderFile.h"

namespace veltrane {

class ShredderFileProbe {
public:
    static std::uint32_t RandomState(const ShredderFile& f) { return f.randomState; }
    static void SetRandomState(ShredderFile& f, std::uint32_t state) { f.randomState = state; }
    static const std::string& Path(const ShredderFile& f) { return f.path; }
    static std::int32_t Pass(const ShredderFile& f) { return f.pass; }
    static std::uint64_t PassBytes(const ShredderFile& f) { return f.passBytes; }
    static std::int64_t FileSize(const ShredderFile& f) { return f.fileSize; }

    // The method whose pass count the published percentage is shared by, and the pass
    // under way; Wipe sets both itself.
    static void SetMethod(ShredderFile& f, std::uint32_t method) { f.method = method; }
    static void SetPass(ShredderFile& f, std::int32_t pass) { f.pass = pass; }

    static bool RandomPass(ShredderFile& f) { return f.RandomPass(); }
    static bool BytePass(ShredderFile& f, std::uint8_t value) { return f.BytePass(value); }
    static bool PatternPass(ShredderFile& f, const std::uint8_t* pattern, std::uint32_t length) {
        return f.PatternPass(pattern, length);
    }
    static bool RenameRandomly(ShredderFile& f) { return f.RenameRandomly(); }

    // Allocates as a pass would and frees at once; `size` receives the size obtained.
    static bool AllocateBuffer(ShredderFile& f, std::uint32_t& size) {
        std::uint8_t* buffer = f.AllocateBuffer(size);
        if (buffer == nullptr) return false;
        f.fs.Free(buffer);
        return true;
    }
};

}  // namespace veltrane
