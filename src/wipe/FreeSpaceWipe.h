#pragma once
// Overwrites a volume's free space: what files deleted the ordinary way left on the disk.
// Everything happens inside one folder at the volume's root, made for the purpose: fill
// files are written until the volume refuses more, each pass of the method covering all
// of them before the next begins, every pass flushed; on NTFS small files then take the
// free file records (a small file's data lives inside its record); then everything goes.
// A cancel, a failure and the end all remove every fill file, so the free space is as
// before but for what was overwritten. A fill folder left by an earlier run that never
// ended (a crash, a power loss) is found and removed first.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "wipe/FileSystem.h"
#include "wipe/OverwritePasses.h"

namespace veltrane {

// The fill folder's name: this, then random letters.
inline constexpr const char* kFillFolderPrefix = "Veltrane free space wipe ";

// Whether an entry name at a volume's root is a fill folder's.
bool IsFillFolderName(const std::string& name);

enum class FreeSpaceRefusal : std::uint8_t {
    None,
    NoVolume,  // the root cannot be read as a volume
    Remote,    // a network share: its free space is the server's
    Optical,
    ReadOnly,
};

enum class FreeSpaceStage : std::int32_t { Starting, Filling, Records, Removing, Ended };

struct FreeSpaceResult {
    // Every pass covered the free space, reached the disk, and every fill file is gone.
    bool finished = false;
    bool cancelled = false;
    FreeSpaceRefusal refusal = FreeSpaceRefusal::None;
    std::uint32_t error = 0;  // what stopped the fill, when it neither finished nor was cancelled
    std::string fileSystem;
    std::uint64_t freeAtStart = 0;
    std::uint64_t covered = 0;       // bytes the fill files held, each written by every pass
    std::uint64_t bytesWritten = 0;  // over all passes, the file records' included
    std::int32_t passes = 0;         // of the method
    std::int32_t passesDone = 0;     // each over all the fill files, flushed
    std::uint32_t fillFiles = 0;
    std::uint32_t recordFiles = 0;  // small files written into free file records
    bool recordsFilled = false;     // the file-record fill went until the volume refused
    // Fill folders of earlier runs removed, and any that could not be (their paths).
    std::uint32_t leftoversRemoved = 0;
    std::string leftoverKept;
    bool quotaStopped = false;  // the user's quota, not the volume, ended the fill
    // Free space that went to other programs while the fill ran: not overwritten.
    std::uint64_t takenByOthers = 0;
    // The fill folder when something of it could not be removed; empty when it is gone.
    std::string leftBehind;
    double seconds = 0;
    double firstPassSeconds = 0;  // the fill itself: the first pass, flushed
};

// How the fill is cut up; the defaults serve real disks, tests use smaller ones.
struct FreeSpaceOptions {
    std::uint64_t fillFileBytes = 1ull << 30;  // each fill file's size at most
    std::uint32_t chunkBytes = 1u << 20;       // one write
    // Flushed every so often, not only at a file's end, so that a cancel never waits
    // for more than this much to reach the disk.
    std::uint64_t flushBytes = 64ull << 20;
    // Given back from the fill before the file-record fill, for the fill folder's index
    // to grow into; written by every pass like the rest.
    std::uint64_t recordReserveBytes = 8ull << 20;
    // A record file's data: what fits inside a 1 KiB NTFS file record with its name.
    std::uint32_t recordFileBytes = 700;
    std::uint32_t maxRecordFiles = 4000000;
    // Another program took this much of the free space at least before it is said so.
    std::uint64_t othersThreshold = 16ull << 20;
};

class FreeSpaceWipe {
public:
    // `root` is the volume's root folder ("D:\\", or a mount point natively).
    explicit FreeSpaceWipe(std::string root, FileSystem& fs = PlatformFileSystem(),
                           const FreeSpaceOptions& options = {});
    FreeSpaceWipe(const FreeSpaceWipe&) = delete;
    FreeSpaceWipe& operator=(const FreeSpaceWipe&) = delete;

    // Set before Run, each may stay null; shared with another thread, hence atomics.
    // The cancel counts while it holds exactly 1.
    std::atomic<std::uint8_t>* cancelFlag = nullptr;
    // The pass under way (from 1), and its bytes written so far of the free bytes at the
    // start, as bytes and as a percentage.
    std::atomic<std::int32_t>* currentPass = nullptr;
    std::atomic<std::uint64_t>* passBytes = nullptr;
    std::atomic<std::int32_t>* passPercent = nullptr;
    std::atomic<std::uint64_t>* passTotal = nullptr;  // what the pass under way will write
    std::atomic<std::int32_t>* stage = nullptr;       // a FreeSpaceStage

    // Runs once: `method` is one overwriting WipeMethod bit.
    FreeSpaceResult Run(std::uint32_t method);

    // The fill folder of this run (empty before it was made).
    const std::string& FillFolder() const { return m_folder; }

    // Removes every fill folder of an earlier run at `root`: the fill files in it, then
    // the folder. A folder that holds anything else is kept. Returns how many went;
    // `kept` receives one that could not go.
    static std::uint32_t RemoveLeftovers(FileSystem& fs, const std::string& root,
                                         std::string& kept);

private:
    struct FillFile {
        std::string path;
        std::uint64_t size = 0;
    };

    bool Cancelled() const;
    void SetStage(FreeSpaceStage s);
    void Publish();
    bool MakeFolder();
    // The first pass makes the fill files until the volume is full; the others overwrite
    // them in place. False when a pass could not be completed (cancel, failure).
    bool CreateFillFiles(const OverwritePass& pass);
    bool OverwriteFillFiles(const OverwritePass& pass);
    // Writes up to `length` bytes of `pass` at the handle's position, which is file offset
    // `offset`. With `untilFull`, a full volume ends the writing (after ever smaller
    // writes have taken what still fits) and sets `full`; otherwise it is a failure.
    // `wrote` receives what was written; false on a failure or a cancel.
    bool WritePass(FileSystem::Handle h, const OverwritePass& pass, std::uint64_t offset,
                   std::uint64_t length, bool untilFull, std::uint64_t& wrote, bool& full);
    bool Fail();
    void FillRecords(const OverwritePass& pass);

    std::string m_root;
    FileSystem& m_fs;
    FreeSpaceOptions m_options;
    std::string m_folder;
    std::vector<FillFile> m_files;
    FreeSpaceResult m_result;
    std::uint8_t* m_buffer = nullptr;
    std::uint32_t m_randomState = 0;
    std::uint64_t m_passBytes = 0;  // of the pass under way
    std::uint64_t m_passTotal = 0;  // what the pass under way will write
};

}  // namespace veltrane
