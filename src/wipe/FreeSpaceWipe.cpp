#include "wipe/FreeSpaceWipe.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>

#include "wipe/CharGenerator.h"
#include "wipe/FolderSearch.h"
#include "wipe/Paths.h"

namespace veltrane {
namespace {

constexpr std::uint32_t kSectorBytes = 512;
constexpr const char* kFillFilePrefix = "fill-";
constexpr int kMaxFolderNameAttempts = 64;
// How often the record fill checks that its files really go into file records.
constexpr std::uint32_t kRecordCheckFiles = 64;

bool IsFullError(std::uint32_t error) {
    return error == kErrorDiskFull || error == kErrorHandleDiskFull ||
           error == kErrorDiskQuotaExceeded;
}

bool IsLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Names this wipe gives its files inside the fill folder, and nothing else: only these
// are removed from a folder found there, so whatever else someone put in it stays.
bool IsFillEntryName(const std::string& name) {
    std::size_t digitsFrom = 0;
    if (name.compare(0, 5, kFillFilePrefix) == 0) {
        digitsFrom = 5;
    } else if (!name.empty() && name[0] == 'r') {
        digitsFrom = 1;
    } else {
        return false;
    }
    if (name.size() == digitsFrom) return false;
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(digitsFrom), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

std::string FillFileName(std::uint32_t index) {
    char name[24];
    std::snprintf(name, sizeof name, "%s%06u", kFillFilePrefix, static_cast<unsigned>(index));
    return name;
}

bool IsNtfs(const std::string& fileSystem) {
    if (fileSystem.size() != 4) return false;
    static const char kName[] = "NTFS";
    for (std::size_t i = 0; i < 4; ++i) {
        if ((fileSystem[i] & ~0x20) != kName[i]) return false;
    }
    return true;
}

// Removes the fill files and record files of one fill folder, then the folder. True when
// the folder is gone; it stays when it holds anything this wipe did not make.
bool RemoveFillFolder(FileSystem& fs, const std::string& folder) {
    bool foreign = false;
    std::vector<std::string> names;
    std::string name;
    {
        FolderSearch search(fs, JoinPath(folder, "*"), name);
        // Closed before the folder's removal, which an open listing would stop.
        for (bool more = search.Valid(); more; more = search.Next(name)) {
            if (name == "." || name == "..") continue;
            if (IsFillEntryName(name)) {
                names.push_back(name);
            } else {
                foreign = true;
            }
        }
    }
    bool ok = true;
    for (const std::string& entry : names) {
        const std::string path = JoinPath(folder, entry);
        if (!fs.Remove(path) && fs.LastError() != kErrorFileNotFound) ok = false;
    }
    if (foreign || !ok) return false;
    return fs.RemoveFolder(folder) || fs.LastError() == kErrorFileNotFound ||
           fs.LastError() == kErrorPathNotFound;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

bool IsFillFolderName(const std::string& name) {
    const std::string prefix = kFillFolderPrefix;
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                       IsLetter);
}

FreeSpaceWipe::FreeSpaceWipe(std::string root, FileSystem& fs, const FreeSpaceOptions& options)
    : m_root(std::move(root)),
      m_fs(fs),
      m_options(options),
      m_randomState(static_cast<std::uint32_t>(std::time(nullptr))) {
    // "D:" names the current folder of drive D: the fill goes to the root itself.
    if (ClassifyPath(m_root) == PathKind::DriveRelative && IsVolumeRoot(m_root)) m_root += '\\';
    m_options.chunkBytes =
        std::max<std::uint32_t>(kSectorBytes, m_options.chunkBytes / kSectorBytes * kSectorBytes);
}

bool FreeSpaceWipe::Cancelled() const {
    return cancelFlag != nullptr && cancelFlag->load() == 1;
}

void FreeSpaceWipe::SetStage(FreeSpaceStage s) {
    if (stage != nullptr) stage->store(static_cast<std::int32_t>(s));
}

void FreeSpaceWipe::Publish() {
    if (passBytes != nullptr) passBytes->store(m_passBytes);
    if (passTotal != nullptr) passTotal->store(m_passTotal);
    if (passPercent != nullptr) {
        const std::uint64_t percent =
            m_passTotal == 0 ? 0 : std::min<std::uint64_t>(100, m_passBytes * 100 / m_passTotal);
        passPercent->store(static_cast<std::int32_t>(percent));
    }
}

std::uint32_t FreeSpaceWipe::RemoveLeftovers(FileSystem& fs, const std::string& root,
                                             std::string& kept) {
    std::vector<std::string> folders;
    {
        std::string name;
        FolderSearch search(fs, JoinPath(root, "*"), name);
        if (!search.Valid()) return 0;
        do {
            if (IsFillFolderName(name)) folders.push_back(JoinPath(root, name));
        } while (search.Next(name));
    }

    std::uint32_t removed = 0;
    for (const std::string& folder : folders) {
        const std::uint32_t attributes = fs.Attributes(folder);
        // A link with the name leads elsewhere: never emptied through it.
        const bool plainFolder = attributes != kInvalidAttributes &&
                                 (attributes & kAttrDirectory) != 0 &&
                                 (attributes & kAttrReparsePoint) == 0;
        if (plainFolder && RemoveFillFolder(fs, folder)) {
            ++removed;
        } else {
            kept = folder;
        }
    }
    return removed;
}

bool FreeSpaceWipe::MakeFolder() {
    for (int attempt = 0; attempt < kMaxFolderNameAttempts; ++attempt) {
        std::string name = kFillFolderPrefix;
        for (int i = 0; i < 8; ++i) name += static_cast<char>('a' + CharGeneratorNext() % 26);
        const std::string folder = JoinPath(m_root, name);
        if (m_fs.CreateFolder(folder, true)) {
            m_folder = folder;
            return true;
        }
        if (m_fs.LastError() != kErrorAlreadyExists) return false;
    }
    return false;
}

bool FreeSpaceWipe::Fail() {
    if (m_result.error == 0) m_result.error = m_fs.LastError();
    if (m_result.error == 0) m_result.error = kErrorGenFailure;
    return false;
}

bool FreeSpaceWipe::WritePass(FileSystem::Handle h, const OverwritePass& pass, std::uint64_t offset,
                              std::uint64_t length, bool untilFull, std::uint64_t& wrote,
                              bool& full) {
    wrote = 0;
    full = false;
    std::uint32_t writeSize = m_options.chunkBytes;
    std::uint64_t sinceFlush = 0;
    while (wrote < length) {
        if (Cancelled()) return false;
        const std::uint32_t size =
            static_cast<std::uint32_t>(std::min<std::uint64_t>(writeSize, length - wrote));
        FillPassBuffer(pass, m_buffer, size, offset + wrote, m_randomState);
        std::uint32_t written = 0;
        const bool ok = m_fs.Write(h, m_buffer, size, written);
        const std::uint32_t error = ok ? 0 : m_fs.LastError();
        written = std::min(written, size);
        wrote += written;
        sinceFlush += written;
        m_passBytes += written;
        m_result.bytesWritten += written;
        Publish();
        if (!ok) {
            if (!untilFull || !IsFullError(error)) return Fail();
            if (error == kErrorDiskQuotaExceeded) m_result.quotaStopped = true;
            // What still fits is less than this write: try ever smaller ones, down to a
            // sector, from exactly where the data ends.
            std::int64_t position = 0;
            if (!m_fs.Seek64(h, static_cast<std::int64_t>(offset + wrote), SeekOrigin::Begin,
                             position)) {
                return Fail();
            }
            if (writeSize <= kSectorBytes) {
                full = true;
                break;
            }
            writeSize /= 2;
        }
        if (sinceFlush >= m_options.flushBytes) {
            if (!m_fs.Flush(h)) return Fail();
            sinceFlush = 0;
        }
    }
    return true;
}

bool FreeSpaceWipe::CreateFillFiles(const OverwritePass& pass) {
    m_passTotal = m_result.freeAtStart;
    for (std::uint32_t index = 0;; ++index) {
        if (Cancelled()) return false;
        FillFile file;
        file.path = JoinPath(m_folder, FillFileName(index));
        const FileSystem::Handle h = m_fs.CreateNew(file.path);
        if (h == FileSystem::kInvalidHandle) {
            const std::uint32_t error = m_fs.LastError();
            if (!IsFullError(error)) return Fail();
            if (error == kErrorDiskQuotaExceeded) m_result.quotaStopped = true;
            return true;  // not even a new file fits: the volume is full
        }
        m_files.push_back(file);
        ++m_result.fillFiles;
        std::uint64_t wrote = 0;
        bool full = false;
        const bool wroteOk = WritePass(h, pass, 0, m_options.fillFileBytes, true, wrote, full);
        m_files.back().size = wrote;
        m_result.covered += wrote;
        // The pass counts only once its bytes are on the disk.
        const bool flushed = wroteOk && m_fs.Flush(h);
        const bool closed = m_fs.Close(h);
        if (!wroteOk) return false;
        if (!flushed || !closed) return Fail();
        if (full) return true;
    }
}

bool FreeSpaceWipe::OverwriteFillFiles(const OverwritePass& pass) {
    m_passTotal = m_result.covered;
    for (const FillFile& file : m_files) {
        if (Cancelled()) return false;
        if (file.size == 0) continue;
        const FileSystem::Handle h = m_fs.OpenExclusive(file.path);
        if (h == FileSystem::kInvalidHandle) return Fail();
        std::uint64_t wrote = 0;
        bool full = false;
        const bool wroteOk = WritePass(h, pass, 0, file.size, false, wrote, full);
        const bool flushed = wroteOk && m_fs.Flush(h);
        const bool closed = m_fs.Close(h);
        if (!wroteOk) return false;
        if (!flushed || !closed) return Fail();
    }
    return true;
}

void FreeSpaceWipe::FillRecords(const OverwritePass& pass) {
    // Room for the folder's index to grow while records are taken, given back from the
    // last fill file (those bytes had every pass like the rest).
    for (auto it = m_files.rbegin(); it != m_files.rend(); ++it) {
        if (it->size == 0) continue;
        // A small volume gives back a small share: the room is for names, not data.
        const std::uint64_t reserve = std::min(m_options.recordReserveBytes, m_result.covered / 64);
        const std::uint64_t keep = it->size - std::min(it->size, reserve);
        const FileSystem::Handle h = m_fs.OpenExclusive(it->path);
        if (h == FileSystem::kInvalidHandle) return;
        const bool ok = m_fs.Truncate(h, static_cast<std::int64_t>(keep));
        m_fs.Close(h);
        if (!ok) return;
        it->size = keep;
        break;
    }
    m_passBytes = 0;
    m_passTotal = 0;
    const std::uint32_t sizes[] = {m_options.recordFileBytes, m_options.recordFileBytes / 2,
                                   std::min<std::uint32_t>(128, m_options.recordFileBytes)};
    VolumeFacts facts;
    std::uint64_t freeBefore = m_fs.QueryVolume(m_root, facts) ? facts.freeBytes : 0;
    for (std::uint32_t index = 0; index < m_options.maxRecordFiles; ++index) {
        if (Cancelled()) return;
        if (index > 0 && index % kRecordCheckFiles == 0 && freeBefore > 0 &&
            m_fs.QueryVolume(m_root, facts)) {
            // Inside file records, small files take no clusters; a volume whose free space
            // shrinks with them keeps their data outside (reporting NTFS all the same, as
            // a foreign file system seen through a translation layer does), and each
            // further file would only cost a flush.
            const std::uint64_t used = freeBefore - std::min(freeBefore, facts.freeBytes);
            if (used > std::uint64_t{kRecordCheckFiles} * m_options.recordFileBytes / 2) return;
            freeBefore = facts.freeBytes;
        }
        const std::string path = JoinPath(m_folder, "r" + std::to_string(index));
        const FileSystem::Handle h = m_fs.CreateNew(path);
        if (h == FileSystem::kInvalidHandle) {
            // No free record is left where the volume refuses a new file.
            m_result.recordsFilled = IsFullError(m_fs.LastError());
            return;
        }
        ++m_result.recordFiles;
        bool stored = false;
        for (const std::uint32_t size : sizes) {
            std::int64_t position = 0;
            std::uint32_t written = 0;
            FillPassBuffer(pass, m_buffer, size, 0, m_randomState);
            if (m_fs.Write(h, m_buffer, size, written) && written == size) {
                stored = true;
                m_result.bytesWritten += size;
                break;
            }
            // Data that no longer fits beside the name: start again, smaller.
            if (!m_fs.Truncate(h, 0) || !m_fs.Seek64(h, 0, SeekOrigin::Begin, position)) break;
        }
        const bool flushed = stored && m_fs.Flush(h);
        m_fs.Close(h);
        // A volume that keeps no data inside its records has no room left for even a
        // small file's data: the records are as full as they get.
        if (!flushed) {
            m_result.recordsFilled = true;
            return;
        }
    }
}

FreeSpaceResult FreeSpaceWipe::Run(std::uint32_t method) {
    const auto start = std::chrono::steady_clock::now();
    m_result = FreeSpaceResult{};
    SetStage(FreeSpaceStage::Starting);
    const std::vector<OverwritePass> plan = PassPlan(method);
    m_result.passes = static_cast<std::int32_t>(plan.size());

    VolumeFacts facts;
    if (plan.empty()) {
        m_result.error = kErrorInvalidParameter;
    } else if (!m_fs.QueryVolume(m_root, facts)) {
        m_result.refusal = FreeSpaceRefusal::NoVolume;
        m_result.error = m_fs.LastError();
    } else if (facts.kind == VolumeKind::Remote) {
        m_result.refusal = FreeSpaceRefusal::Remote;
    } else if (facts.kind == VolumeKind::Optical) {
        m_result.refusal = FreeSpaceRefusal::Optical;
    } else if (facts.readOnly) {
        m_result.refusal = FreeSpaceRefusal::ReadOnly;
    }
    if (m_result.error != 0 || m_result.refusal != FreeSpaceRefusal::None) {
        SetStage(FreeSpaceStage::Ended);
        m_result.seconds = SecondsSince(start);
        return m_result;
    }
    m_result.fileSystem = facts.fileSystem;
    m_result.leftoversRemoved = RemoveLeftovers(m_fs, m_root, m_result.leftoverKept);
    if (m_result.leftoversRemoved > 0) m_fs.QueryVolume(m_root, facts);
    m_result.freeAtStart = facts.freeBytes;

    PassBuffer buffer(m_fs, static_cast<std::uint8_t*>(m_fs.Allocate(m_options.chunkBytes)));
    m_buffer = buffer.get();
    bool ok = true;
    if (m_buffer == nullptr) {
        m_result.error = kErrorNotEnoughMemory;
        ok = false;
    } else if (!MakeFolder()) {
        ok = Fail();
    }
    if (ok) SetStage(FreeSpaceStage::Filling);
    PassDraws draws;
    OverwritePass pass = plan.front();
    for (std::size_t i = 0; ok && i < plan.size(); ++i) {
        if (currentPass != nullptr) currentPass->store(static_cast<std::int32_t>(i + 1));
        m_passBytes = 0;
        Publish();
        pass = draws.Resolve(plan[i]);
        const auto passStart = std::chrono::steady_clock::now();
        ok = i == 0 ? CreateFillFiles(pass) : OverwriteFillFiles(pass);
        if (i == 0) m_result.firstPassSeconds = SecondsSince(passStart);
        if (ok) m_result.passesDone = static_cast<std::int32_t>(i + 1);
    }
    if (ok && !m_result.quotaStopped &&
        m_result.freeAtStart > m_result.covered + m_options.othersThreshold) {
        // The fill took what was free when the volume refused more; the rest went to
        // other programs meanwhile.
        m_result.takenByOthers = m_result.freeAtStart - m_result.covered;
    }
    if (ok && IsNtfs(m_result.fileSystem) && !Cancelled()) {
        SetStage(FreeSpaceStage::Records);
        FillRecords(pass);  // the method's last pass
    }
    m_result.cancelled = Cancelled();

    SetStage(FreeSpaceStage::Removing);
    if (!m_folder.empty() && !RemoveFillFolder(m_fs, m_folder)) {
        m_result.leftBehind = m_folder;
        if (ok && m_result.error == 0) Fail();
        ok = false;
    }
    m_buffer = nullptr;
    m_result.finished = ok && !m_result.cancelled;
    SetStage(FreeSpaceStage::Ended);
    m_result.seconds = SecondsSince(start);
    return m_result;
}

}  // namespace veltrane
