#include "wipe/ShredderFile.h"

#include <cmath>
#include <cstring>
#include <ctime>
#include <iterator>
#include <vector>

#include "wipe/CharGenerator.h"
#include "wipe/FillGenerator.h"
#include "wipe/OverwritePasses.h"
#include "wipe/Paths.h"
#include "wipe/Unicode.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

// A one-letter name has only 26 candidates; when all are taken the rename gives up after
// this many draws and the wipe goes on under the old name.
constexpr int kMaxRenameAttempts = 400;

// Bits of the methods that overwrite: the table's rows with passes.
constexpr std::uint32_t OverwritingBits() {
    std::uint32_t bits = 0;
    for (const WipeMethodInfo& row : wipeMethods) {
        if (row.passes > 0) bits |= row.methodBits;
    }
    return bits;
}
constexpr std::uint32_t kOverwritingBits = OverwritingBits();

constexpr std::size_t OverwritingRowCount() {
    std::size_t count = 0;
    for (const WipeMethodInfo& row : wipeMethods) {
        if (row.passes > 0) ++count;
    }
    return count;
}

}  // namespace

const ShredderFile::MethodRoutine ShredderFile::kRoutines[] = {
    {Random, &ShredderFile::WipeRandom},     {Random2, &ShredderFile::WipeRandom2},
    {DoDQuick, &ShredderFile::WipeDoDQuick}, {DoD, &ShredderFile::WipeDoD},
    {NATO, &ShredderFile::WipeNATO},         {Gutmann, &ShredderFile::WipeGutmann},
};

ShredderFile::ShredderFile(const std::string& filePath, FileSystem& fileSystem)
    : path(filePath), fs(fileSystem), randomState(static_cast<std::uint32_t>(std::time(nullptr))) {}

ShredderFile::~ShredderFile() {
    // Every way through Wipe closes the file; this only guards against a failed Close.
    if (handle != FileSystem::kInvalidHandle) fs.Close(handle);
}

bool ShredderFile::Wipe(std::uint32_t m) {
    static_assert(std::size(kRoutines) == OverwritingRowCount(),
                  "a routine for every overwriting method of the table");
    if (progress != nullptr) progress->store(0, std::memory_order_relaxed);
    method = m;
    if (m == 0) return true;
    if (m == Recycle) return RecycleFile();
    if (m == Delete) return RemoveFile();
    // Without an overwriting routine the file would only be renamed and left behind.
    if ((m & kOverwritingBits) == 0) return false;
    // A cancel that came first leaves the file as it was: not renamed, not written.
    if (Cancelled()) return false;

    bool result = false;
    try {
        // One handle from here to the delete: exclusive, so nothing else can open, rename
        // or delete the file meanwhile, and everything below goes through it, never by
        // name, so nothing swapped in under the name can be renamed, written or deleted.
        if (!Open()) {
            failure = fs.LastError();
            return false;
        }
        // The file the handle reaches: one that cannot even say which it is is not wiped.
        FileIdentity identity;
        const bool identified = fs.Identify(handle, identity);
        if (!identified || Cancelled()) {
            if (!identified) failure = fs.LastError();
            Close();
            return false;
        }
        if ((m & Recycle) == 0 && !isStream) RenameRandomly();
        // Named streams first (a download's Zone.Identifier records where it came from):
        // a stream left unwiped keeps the file too.
        if (isStream || WipeStreams()) {
            result = true;
            // The first routine that fails ends the wipe: a later one's success must not
            // hide it.
            for (const MethodRoutine& r : kRoutines) {
                if ((m & r.bit) != 0 && !(this->*r.routine)()) {
                    result = false;
                    break;
                }
            }
        }
    } catch (...) {
        // Out of memory for a path string: an ordinary failure here.
        Close();
        failure = kErrorNotEnoughMemory;
        return false;
    }
    if (!result) {
        if (failure == 0) failure = fs.LastError();
        Close();
        return false;
    }
    if ((m & Recycle) != 0 && !isStream) {
        // The shell's Recycle Bin takes a name: the handle goes first.
        if (!Close() || !RecycleFile()) {
            failure = fs.LastError();
            return false;
        }
        return true;
    }
    if (!fs.RemoveOpen(handle, path)) {
        failure = fs.LastError();
        Close();
        return false;
    }
    // Deleted through the handle; a failed close changes nothing the user can see.
    Close();
    return true;
}

bool ShredderFile::Open() {
    // A handle kept by a failed Close must not be lost by opening over it.
    if (!Close()) return false;
    handle = fs.OpenExclusive(path);
    if (handle == FileSystem::kInvalidHandle) return false;
    std::int64_t size = 0;
    if (!fs.GetSize64(handle, size) || size < 0) {
        fs.Close(handle);
        handle = FileSystem::kInvalidHandle;
        return false;
    }
    fileSize = size;
    return true;
}

bool ShredderFile::Close() {
    if (handle == FileSystem::kInvalidHandle) return true;
    if (!fs.Close(handle)) return false;
    handle = FileSystem::kInvalidHandle;
    return true;
}

bool ShredderFile::Rewind() {
    passBytes = 0;
    std::int64_t position = -1;
    return fs.Seek64(handle, 0, SeekOrigin::Begin, position) && position == 0;
}

bool ShredderFile::Flush() {
    return fs.Flush(handle);
}

std::uint8_t* ShredderFile::AllocateBuffer(std::uint32_t& size) {
    std::uint32_t n = size;
    for (;;) {
        if (void* block = fs.Allocate(n)) {
            size = n;
            return static_cast<std::uint8_t*>(block);
        }
        n /= 2;
        if (n < kSmallestBuffer) return nullptr;
    }
}

bool ShredderFile::WriteChunk(const std::uint8_t* buffer, std::uint32_t length,
                              std::uint64_t& remaining) {
    const std::uint32_t n = remaining < length ? static_cast<std::uint32_t>(remaining) : length;
    std::uint32_t written = 0;
    touched = true;
    const bool wrote = fs.Write(handle, buffer, n, written);
    // The reason is this write's own: a failed write's code, or a write fault for one that
    // succeeded short (whatever an earlier call on this thread left behind).
    if (!wrote) {
        failure = fs.LastError();
    } else if (written < n) {
        failure = kErrorWriteFault;
    }
    const bool ok = wrote && written == n;
    // A file system that claims more than it was given must not drive the count below 0.
    if (written > n) written = n;
    remaining -= written;
    passBytes += written;
    UpdateProgress();
    return ok;
}

void ShredderFile::UpdateProgress() {
    if (currentPass != nullptr) currentPass->store(pass, std::memory_order_relaxed);
    if (passPercent != nullptr) {
        const std::int32_t percent =
            fileSize > 0
                ? static_cast<std::int32_t>(passBytes * 100 / static_cast<std::uint64_t>(fileSize))
                : 100;
        passPercent->store(percent, std::memory_order_relaxed);
    }
    if (progress == nullptr) return;
    const std::int32_t passes = PassCount(method);
    const double share = passes > 0 ? 100.0 / passes : 0.0;
    const std::int32_t completed = pass >= 1 ? pass - 1 : 0;
    double value = share * completed;
    if (fileSize > 0) {
        value += static_cast<double>(passBytes) / static_cast<double>(fileSize) * share;
    }
    progress->store(static_cast<std::int32_t>(std::floor(value)), std::memory_order_relaxed);
}

bool ShredderFile::Cancelled() const {
    return cancelFlag != nullptr && cancelFlag->load(std::memory_order_relaxed) == 1;
}

std::uint8_t* ShredderFile::BeginPass(std::uint32_t& chunk, std::uint32_t slack) {
    // Every pass of a wipe goes through the handle Wipe opened, from the file's first byte.
    // (A pass run alone, as the tests and benchmarks do, opens it here.)
    if (handle == FileSystem::kInvalidHandle && !Open()) {
        failure = fs.LastError();
        return nullptr;
    }
    if (!Rewind()) {
        failure = fs.LastError();
        return nullptr;
    }
    // A file that fits one chunk is written with one write, its slack included.
    chunk = fileSize <= kChunkSize ? static_cast<std::uint32_t>(fileSize) + slack : kChunkSize;
    std::uint8_t* buffer = AllocateBuffer(chunk);
    if (buffer == nullptr) failure = kErrorNotEnoughMemory;
    return buffer;
}

bool ShredderFile::EndPass(std::uint64_t remaining, bool written) {
    // A pass counts only once it reached the disk: an unflushed pass fails like a short
    // write, and the file stays.
    const bool flushed = Flush();
    if (!flushed && failure == 0) failure = fs.LastError();
    const bool done = written && flushed && remaining == 0 && !Cancelled();
    if (done) ++completed;
    return done;
}

bool ShredderFile::RandomPass() {
    std::uint32_t chunk = 0;
    PassBuffer buffer(fs, BeginPass(chunk, 0));
    if (buffer.get() == nullptr) return false;
    std::uint64_t remaining = static_cast<std::uint64_t>(fileSize);
    bool ok = true;
    while (ok && !Cancelled() && remaining > 0) {
        FillRandom(randomState, buffer.get(), chunk);
        ok = WriteChunk(buffer.get(), chunk, remaining);
    }
    return EndPass(remaining, ok);
}

bool ShredderFile::BytePass(std::uint8_t value) {
    std::uint32_t chunk = 0;
    PassBuffer buffer(fs, BeginPass(chunk, 0));
    if (buffer.get() == nullptr) return false;
    std::memset(buffer.get(), value, chunk);
    std::uint64_t remaining = static_cast<std::uint64_t>(fileSize);
    bool ok = true;
    while (ok && !Cancelled() && remaining > 0) ok = WriteChunk(buffer.get(), chunk, remaining);
    return EndPass(remaining, ok);
}

bool ShredderFile::PatternPass(const std::uint8_t* pattern, std::uint32_t length) {
    if (length == 0) return false;
    // Room for one more whole pattern than a small file needs.
    std::uint32_t chunk = 0;
    PassBuffer buffer(fs, BeginPass(chunk, length));
    if (buffer.get() == nullptr) return false;
    if (chunk < length) return false;
    // Every write but the last is a whole number of patterns, so file offset k always
    // holds pattern[k % length].
    const std::uint32_t usable = chunk - chunk % length;
    for (std::uint32_t i = 0; i < usable; i += length) {
        std::memcpy(buffer.get() + i, pattern, length);
    }
    std::uint64_t remaining = static_cast<std::uint64_t>(fileSize);
    bool ok = true;
    while (ok && !Cancelled() && remaining > 0) ok = WriteChunk(buffer.get(), usable, remaining);
    return EndPass(remaining, ok);
}

bool ShredderFile::RenameRandomly() {
    // Only the last component changes, and nothing is cut: the file stays in its folder
    // whatever the length of the path.
    const std::string folder = FolderPart(path);
    const std::size_t n = Utf16Length(path.substr(folder.size()));
    if (n == 0) return true;
    std::string name(n, 'a');
    for (int attempt = 0; attempt < kMaxRenameAttempts; ++attempt) {
        for (char& c : name) c = static_cast<char>('a' + CharGeneratorNext() % 26);
        // Windows reads these as devices in any folder: such a name would not hold the file.
        if (name == "con" || name == "prn" || name == "aux" || name == "nul") continue;
        const std::string newPath = folder + name;
        if (fs.MoveOpen(handle, path, newPath)) {
            path = newPath;
            touched = true;
            return true;
        }
        if (fs.LastError() != kErrorAlreadyExists) break;
    }
    // The wipe goes on under the file's own name, which stays in the folder's records:
    // the caller tells the user.
    nameKept = true;
    renameError = fs.LastError();
    return true;
}

bool ShredderFile::WipeStreams() {
    std::vector<std::string> streams;
    if (!fs.NamedStreams(path, streams)) {
        // Streams that could not all be listed may hold data: the file stays, with why.
        failure = fs.LastError();
        return false;
    }
    for (const std::string& stream : streams) {
        ShredderFile part(stream, fs);
        part.isStream = true;
        part.cancelFlag = cancelFlag;
        part.randomState = randomState;
        const bool wiped = part.Wipe(method);
        touched = touched || part.touched;
        if (!wiped) {
            failure = part.failure != 0 ? part.failure : fs.LastError();
            return false;
        }
    }
    return true;
}

bool ShredderFile::WipeStreamsOnly(std::uint32_t m) {
    method = m;
    // A method that overwrites nothing leaves the streams to go with their owner.
    if ((m & kOverwritingBits) == 0) return true;
    if (Cancelled()) return false;
    try {
        return WipeStreams();
    } catch (...) {
        failure = kErrorNotEnoughMemory;  // a stream's path string
        return false;
    }
}

bool ShredderFile::RemoveFile() {
    return fs.Remove(path);
}

bool ShredderFile::RecycleFile() {
    return fs.Recycle(path);
}

// --- passes ----------------------------------------------------------------------------

bool ShredderFile::RunPass(const OverwritePass& step) {
    switch (step.kind) {
        case OverwritePass::Kind::Random:
            return RandomPass();
        case OverwritePass::Kind::Byte:
        case OverwritePass::Kind::Drawn:
        case OverwritePass::Kind::Complement:
            return BytePass(step.data[0]);
        case OverwritePass::Kind::Pattern:
            return PatternPass(step.data, 3);
    }
    return false;
}

void ShredderFile::NextPass() {
    passBytes = 0;
    ++pass;
}

bool ShredderFile::RunPasses(const std::vector<OverwritePass>& passes) {
    // Every pass must succeed: a file overwritten once must not be deleted as if it had
    // been overwritten as often as its method says.
    PassDraws draws;
    pass = 1;
    for (std::size_t i = 0; i < passes.size(); ++i) {
        if (i > 0) NextPass();
        if (!RunPass(draws.Resolve(passes[i]))) return false;
    }
    return !passes.empty();
}

// --- method routines: each runs its method's passes in order -----------------------------

bool ShredderFile::WipeRandom() {
    return RunPasses(PassPlan(Random));
}

bool ShredderFile::WipeRandom2() {
    return RunPasses(PassPlan(Random2));
}

bool ShredderFile::WipeDoDQuick() {
    return RunPasses(PassPlan(DoDQuick));
}

bool ShredderFile::WipeDoD() {
    return RunPasses(PassPlan(DoD));
}

bool ShredderFile::WipeNATO() {
    return RunPasses(PassPlan(NATO));
}

bool ShredderFile::WipeGutmann() {
    return RunPasses(PassPlan(Gutmann));
}

}  // namespace veltrane
