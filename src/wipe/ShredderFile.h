#pragma once
// Wipes one file through one exclusive handle: renames it to random letters, overwrites it
// with every pass of the chosen method (each pass flushed), then deletes it (or closes and
// recycles it). Publishes a percentage and watches a cancel flag, both owned by the caller
// and shared with another thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "wipe/FileSystem.h"

namespace veltrane {

struct OverwritePass;  // one entry of a method's pass sequence

class ShredderFile {
public:
    static constexpr std::uint32_t kChunkSize = 262144;
    static constexpr std::uint32_t kSmallestBuffer = 16384;

    explicit ShredderFile(const std::string& path, FileSystem& fs = PlatformFileSystem());
    virtual ~ShredderFile();
    ShredderFile(const ShredderFile&) = delete;
    ShredderFile& operator=(const ShredderFile&) = delete;

    // Set by the caller before Wipe; either may stay null. The wipe counts as cancelled
    // only while the flag holds exactly 1. The job's thread reads and writes these
    // concurrently, hence atomics, accessed relaxed: no other data hangs on them.
    std::atomic<std::uint8_t>* cancelFlag = nullptr;
    std::atomic<std::int32_t>* progress = nullptr;
    // The pass under way (from 1) and its own percentage, for a display that follows the
    // pass rather than the whole file; either may stay null.
    std::atomic<std::int32_t>* currentPass = nullptr;
    std::atomic<std::int32_t>* passPercent = nullptr;

    // True when the file was overwritten as `method` asks and then deleted or recycled.
    // Called once per object.
    bool Wipe(std::uint32_t method);

    // After a failed Wipe: the system's error code for what stopped it (0 when unknown),
    // how many passes reached the disk, and the name the file has now (its random name
    // once renamed), for the user to find what was left.
    std::uint32_t FailureCode() const { return failure; }
    std::int32_t PassesCompleted() const { return completed; }
    const std::string& CurrentPath() const { return path; }
    // After a successful Wipe: whether the file went under its own name because the
    // rename was refused, and the system's code for why (0 when unknown).
    bool NameKept() const { return nameKept; }
    std::uint32_t RenameError() const { return renameError; }
    // Whether the wipe changed anything: the file was renamed, or a write to it or to one
    // of its streams was made (a failed write may still have reached the disk in part).
    bool Touched() const { return touched; }

    // The named streams of `path` alone, each wiped with `method` as a file's are, `path`
    // itself (a folder, which NTFS lets hold streams) left as it is. False when they could
    // not all be listed or one was not wiped; FailureCode says why. Called once per object.
    bool WipeStreamsOnly(std::uint32_t method);

private:
    friend class ShredderFileProbe;  // tests and benchmarks drive single passes

    using WipeRoutine = bool (ShredderFile::*)();
    struct MethodRoutine {
        std::uint32_t bit;
        WipeRoutine routine;
    };
    static const MethodRoutine kRoutines[];

    bool Open();
    bool Close();
    bool Rewind();
    bool Flush();
    // Tries `size` bytes, then halves down to kSmallestBuffer; `size` receives what was
    // obtained. Null when nothing could be had. Free with fs.Free.
    std::uint8_t* AllocateBuffer(std::uint32_t& size);
    // Rewinds the open file for one pass and gets its write buffer: `chunk` becomes the
    // size obtained for a file of fileSize (+ slack when it is smaller than one chunk).
    // Null when either step fails.
    std::uint8_t* BeginPass(std::uint32_t& chunk, std::uint32_t slack);
    // Flushes; whether the pass wrote everything (`written`: no write failed), reached the
    // disk and was not cancelled.
    bool EndPass(std::uint64_t remaining, bool written);
    bool WriteChunk(const std::uint8_t* buffer, std::uint32_t length, std::uint64_t& remaining);
    void UpdateProgress();
    bool Cancelled() const;

    bool RandomPass();
    bool BytePass(std::uint8_t value);
    bool PatternPass(const std::uint8_t* pattern, std::uint32_t length);
    bool RunPass(const OverwritePass& step);
    // Runs the passes in order, stopping at the first that fails; counts `pass` from 1.
    bool RunPasses(const std::vector<OverwritePass>& passes);
    void NextPass();

    bool RenameRandomly();
    // Every named data stream of the file gets the same passes and is then removed; true
    // when there were none or all went, false when they could not all be listed.
    bool WipeStreams();
    bool RemoveFile();
    bool RecycleFile();

    bool WipeRandom();
    bool WipeRandom2();
    bool WipeDoDQuick();
    bool WipeDoD();
    bool WipeNATO();
    bool WipeGutmann();

    std::string path;
    std::uint32_t method = 0;
    FileSystem::Handle handle = FileSystem::kInvalidHandle;
    std::int64_t fileSize = 0;
    FileSystem& fs;
    std::uint32_t randomState;
    std::int32_t pass = 0;
    std::uint64_t passBytes = 0;
    std::uint32_t failure = 0;
    std::int32_t completed = 0;
    std::uint32_t renameError = 0;
    bool nameKept = false;
    bool touched = false;
    bool isStream = false;  // one named stream of a file: no rename, no streams of its own
};

}  // namespace veltrane
