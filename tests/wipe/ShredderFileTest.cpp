// ShredderFile on the in-memory file system: pass sequences and their bytes, the
// published percentage, chunking and buffers, cancellation, failures and the rename.

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "WipeTestSupport.h"
#include "wipe/CharGenerator.h"
#include "support/MemoryFileSystem.h"
#include "wipe/ShredderFile.h"
#include "support/ShredderFileProbe.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using test::Bytes;
using Op = MemoryFileSystem::Op;
using Probe = ShredderFileProbe;

constexpr char kFolder[] = "C:\\docs";
constexpr char kPath[] = "C:\\docs\\report.txt";
constexpr std::uint32_t kSeed = 1;

// A pass as the published method tables give it: random, a byte, or a 3-byte pattern.
struct PassData {
    char kind;  // 'R', 'B' or 'P'
    std::uint8_t a = 0, b = 0, c = 0;
};

std::vector<PassData> Sequence(std::uint32_t method) {
    const PassData R{'R', 0, 0, 0};
    auto B = [](std::uint8_t v) { return PassData{'B', v, 0, 0}; };
    auto rotations = [](std::vector<PassData>& out, std::uint8_t a, std::uint8_t b,
                        std::uint8_t c) {
        out.push_back({'P', a, b, c});
        out.push_back({'P', b, c, a});
        out.push_back({'P', c, a, b});
    };
    std::vector<PassData> s;
    switch (method) {
        case Random:
            return {R};
        case Random2:
            return {R, R};
        case DoDQuick:
            return {B(0x00), B(0xFF), R};
        case NATO:
            return {B(0x00), B(0xFF), B(0x00), B(0xFF), B(0x00), B(0xFF), R};
        case Gutmann:
            s.assign(4, R);
            s.push_back(B(0x55));
            s.push_back(B(0xAA));
            rotations(s, 0x92, 0x49, 0x24);
            for (int v = 0x00; v <= 0xFF; v += 0x11) s.push_back(B(static_cast<std::uint8_t>(v)));
            rotations(s, 0x92, 0x49, 0x24);
            rotations(s, 0x6D, 0xB6, 0xDB);
            s.insert(s.end(), 4, R);
            return s;
    }
    return s;
}

std::vector<Bytes> ExpectedImages(const std::vector<PassData>& passes, std::size_t size,
                                  std::uint32_t state) {
    std::vector<Bytes> images;
    for (const PassData& p : passes) {
        images.push_back(p.kind == 'R'   ? test::RandomPassBytes(state, size)
                         : p.kind == 'B' ? test::Filled(size, p.a)
                                         : test::Patterned(size, p.a, p.b, p.c));
    }
    return images;
}

std::vector<std::uint32_t> WriteSizes(const MemoryFileSystem& fs) {
    std::vector<std::uint32_t> sizes;
    for (const auto& call : fs.Calls(Op::Write)) sizes.push_back(call.written);
    return sizes;
}

class ShredderFileTest : public ::testing::Test {
protected:
    void SetUp() override { CharGeneratorSeed(1); }

    std::unique_ptr<ShredderFile> Make(const std::string& path = kPath) {
        auto file = std::make_unique<ShredderFile>(path, fs);
        file->cancelFlag = &cancel;
        file->progress = &progress;
        Probe::SetRandomState(*file, kSeed);
        return file;
    }

    // The only entry left in the folder, or "" when there is none.
    std::string Survivor() const {
        const auto names = fs.List(kFolder);
        return names.size() == 1 ? JoinName(names[0]) : std::string();
    }
    static std::string JoinName(const std::string& name) {
        return std::string(kFolder) + "\\" + name;
    }

    MemoryFileSystem fs;
    std::atomic<std::uint8_t> cancel{0};
    std::atomic<std::int32_t> progress{-1};
};

// --- pass sequences --------------------------------------------------------------------

TEST_F(ShredderFileTest, EveryMethodWritesItsPassesInOrder) {
    const std::uint32_t methods[] = {Random, Random2, DoDQuick, NATO, Gutmann};
    const std::size_t sizes[] = {1, 1000, 2 * 262144 + 5};
    for (std::uint32_t method : methods) {
        for (std::size_t size : sizes) {
            SCOPED_TRACE("method " + std::to_string(method) + ", size " + std::to_string(size));
            fs.AddFileOfSize(kPath, size);
            fs.ClearCalls();
            const auto passes = Sequence(method);
            {
                test::WipeRecorder recorder(fs, progress);
                EXPECT_TRUE(Make()->Wipe(method));
                ASSERT_EQ(passes.size(), recorder.images.size());
                const auto expected = ExpectedImages(passes, size, kSeed);
                for (std::size_t i = 0; i < passes.size(); ++i) {
                    ASSERT_EQ(expected[i], recorder.images[i]) << "pass " << i + 1;
                }
            }
            EXPECT_TRUE(fs.List(kFolder).empty());
            // One open for the whole wipe: every pass, the rename and the delete go
            // through it.
            EXPECT_EQ(1u, fs.Calls(Op::Open).size());
            EXPECT_EQ(0u, fs.OpenHandleCount());
            EXPECT_EQ(0u, fs.LiveAllocationCount());
        }
    }
}

TEST_F(ShredderFileTest, GutmannOfOneByteWritesEachPatternsFirstByte) {
    fs.AddFileOfSize(kPath, 1);
    test::WipeRecorder recorder(fs, progress);
    ASSERT_TRUE(Make()->Wipe(Gutmann));
    ASSERT_EQ(35u, recorder.images.size());
    EXPECT_EQ(Bytes{0x92}, recorder.images[6]);
    EXPECT_EQ(Bytes{0x49}, recorder.images[7]);
    EXPECT_EQ(Bytes{0x24}, recorder.images[8]);
}

TEST_F(ShredderFileTest, PatternPassWritesWholePatternsAcrossChunks) {
    fs.AddFileOfSize(kPath, 2 * 262144 + 5);
    auto file = Make();
    const std::uint8_t pattern[3] = {0x6D, 0xB6, 0xDB};
    ASSERT_TRUE(Probe::PatternPass(*file, pattern, 3));
    EXPECT_EQ((std::vector<std::uint32_t>{262143, 262143, 7}), WriteSizes(fs));
    EXPECT_EQ(test::Patterned(2 * 262144 + 5, 0x6D, 0xB6, 0xDB), fs.Contents(kPath));
}

TEST_F(ShredderFileTest, DoDWritesItsDrawsAndTheirComplements) {
    fs.AddFileOfSize(kPath, 100);
    test::WipeRecorder recorder(fs, progress);
    // With the Recycle bit there is no rename, so DoD's draws start at state 1.
    ASSERT_TRUE(Make()->Wipe(DoD | Recycle));
    const std::uint8_t bytes[] = {0x29, 0xD6, 0x23, 0xDC, 0xBE, 0x41};
    ASSERT_EQ(7u, recorder.images.size());
    for (int i = 0; i < 6; ++i) EXPECT_EQ(test::Filled(100, bytes[i]), recorder.images[i]) << i;
    std::uint32_t state = kSeed;
    EXPECT_EQ(test::RandomPassBytes(state, 100), recorder.images[6]);
    std::uint32_t draws = 1;
    for (int i = 0; i < 3; ++i) test::ReferenceDraw(draws);
    EXPECT_EQ(draws, CharGeneratorState());
    ASSERT_EQ(1u, fs.RecycleBin().size());
    EXPECT_EQ(recorder.images[6], fs.RecycleBin()[0].contents);
}

TEST_F(ShredderFileTest, DoDDrawsAgainOnEqualWholeValues) {
    // A state whose next two draws are equal, and one whose third equals the first.
    auto findSeed = [](const std::function<bool(std::int32_t, std::int32_t, std::int32_t)>& want) {
        for (std::uint32_t seed = 2;; ++seed) {
            std::uint32_t s = seed;
            const std::int32_t a = test::ReferenceDraw(s), b = test::ReferenceDraw(s),
                               c = test::ReferenceDraw(s);
            if (want(a, b, c)) return seed;
        }
    };
    const std::uint32_t equalPair = findSeed([](auto a, auto b, auto) { return a == b; });
    const std::uint32_t thirdIsFirst =
        findSeed([](auto a, auto b, auto c) { return a != b && c == a; });
    for (std::uint32_t seed : {equalPair, thirdIsFirst}) {
        std::uint32_t s = seed;
        std::vector<std::int32_t> draws;
        for (int i = 0; i < 5; ++i) draws.push_back(test::ReferenceDraw(s));
        std::vector<std::int32_t> chosen = {draws[0]};
        std::size_t next = 1;
        while (draws[next] == chosen[0]) ++next;
        chosen.push_back(draws[next++]);
        while (draws[next] == chosen[0] || draws[next] == chosen[1]) ++next;
        chosen.push_back(draws[next]);

        fs.AddFileOfSize(kPath, 10);
        test::WipeRecorder recorder(fs, progress);
        CharGeneratorSeed(seed);
        ASSERT_TRUE(Make()->Wipe(DoD | Recycle));
        ASSERT_EQ(7u, recorder.images.size());
        for (int i = 0; i < 3; ++i) {
            EXPECT_EQ(test::Filled(10, static_cast<std::uint8_t>(chosen[i])),
                      recorder.images[2 * i]);
            EXPECT_EQ(test::Filled(10, static_cast<std::uint8_t>(~chosen[i])),
                      recorder.images[2 * i + 1]);
        }
    }
}

TEST_F(ShredderFileTest, FillStateIsSeededFromTheCalendarTime) {
    for (int attempt = 0; attempt < 3; ++attempt) {
        const std::time_t before = std::time(nullptr);
        ShredderFile a(kPath, fs), b(kPath, fs);
        if (std::time(nullptr) != before) continue;  // the second ticked in between
        EXPECT_EQ(static_cast<std::uint32_t>(before), Probe::RandomState(a));
        EXPECT_EQ(Probe::RandomState(a), Probe::RandomState(b));
        return;
    }
    FAIL() << "the clock kept ticking";
}

// --- the published percentage ----------------------------------------------------------

TEST_F(ShredderFileTest, EmptyFileGutmannWritesNothingAndFlushesEveryPass) {
    fs.AddFile(kPath);
    ASSERT_TRUE(Make()->Wipe(Gutmann));
    EXPECT_TRUE(fs.Calls(Op::Write).empty());
    EXPECT_EQ(35u, fs.Calls(Op::Flush).size());
    EXPECT_TRUE(fs.List(kFolder).empty());
}

TEST_F(ShredderFileTest, EveryMethodEndsAtOneHundred) {
    for (std::uint32_t method : {Random, Random2, DoDQuick, DoD, NATO, Gutmann}) {
        SCOPED_TRACE(method);
        fs.AddFileOfSize(kPath, 300000);
        test::WipeRecorder recorder(fs, progress);
        ASSERT_TRUE(Make()->Wipe(method));
        EXPECT_EQ(100, progress.load());
        EXPECT_EQ(100, recorder.afterPass.back());
        EXPECT_EQ(0, recorder.beforeWrite.front());
        for (std::size_t i = 1; i < recorder.afterPass.size(); ++i) {
            EXPECT_LE(recorder.afterPass[i - 1], recorder.afterPass[i]);
        }
        // Every pass takes an equal share, whatever its kind.
        const int passes = PassCount(method);
        for (int k = 1; k < passes; ++k) {
            EXPECT_NEAR(100.0 * k / passes, recorder.afterPass[k - 1], 1.0) << "pass " << k;
        }
    }
}

TEST_F(ShredderFileTest, PercentageIsFlooredWithinAPass) {
    fs.AddFileOfSize(kPath, 262145);
    test::WipeRecorder recorder(fs, progress);
    ASSERT_TRUE(Make()->Wipe(Random));
    // 262144 of 262145 bytes is 99.9996 %, published as 99.
    EXPECT_EQ((std::vector<std::int32_t>{0, 99}), recorder.beforeWrite);
    EXPECT_EQ(100, progress.load());
}

TEST_F(ShredderFileTest, SeveralMethodBitsRunInOrderAndPublishZero) {
    fs.AddFileOfSize(kPath, 1000);
    test::WipeRecorder recorder(fs, progress);
    ASSERT_TRUE(Make()->Wipe(DoDQuick | Random));
    // Random (0x04) runs before DoDQuick (0x08), its state running on.
    const auto expected = ExpectedImages({{'R'}, {'B', 0x00}, {'B', 0xFF}, {'R'}}, 1000, kSeed);
    EXPECT_EQ(expected, recorder.images);
    for (std::int32_t p : recorder.afterPass) EXPECT_EQ(0, p);
    EXPECT_EQ(0, progress.load());
}

TEST_F(ShredderFileTest, NullFlagAndPercentageAreAllowed) {
    fs.AddFileOfSize(kPath, 1000);
    ShredderFile file(kPath, fs);
    EXPECT_TRUE(file.Wipe(NATO));
    EXPECT_TRUE(fs.List(kFolder).empty());
}

// --- chunks and buffers ----------------------------------------------------------------

TEST_F(ShredderFileTest, ChunksAt256KiB) {
    struct Case {
        std::size_t size;
        char kind;
        std::vector<std::uint32_t> writes;
        std::uint64_t allocation;
    };
    const Case cases[] = {
        {262144, 'B', {262144}, 262144},
        {262145, 'B', {262144, 1}, 262144},
        {262145, 'R', {262144, 1}, 262144},
        {262145, 'P', {262143, 2}, 262144},
        {10, 'P', {10}, 13},
        {10, 'R', {10}, 10},
        {0, 'R', {}, 0},
        {0, 'B', {}, 0},
    };
    const std::uint8_t pattern[3] = {1, 2, 3};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(1, c.kind) + " of " + std::to_string(c.size));
        fs.AddFileOfSize(kPath, c.size);
        fs.ClearCalls();
        auto file = Make();
        const bool ok = c.kind == 'B'   ? Probe::BytePass(*file, 0x42)
                        : c.kind == 'R' ? Probe::RandomPass(*file)
                                        : Probe::PatternPass(*file, pattern, 3);
        EXPECT_TRUE(ok);
        EXPECT_EQ(c.writes, WriteSizes(fs));
        ASSERT_EQ(1u, fs.Calls(Op::Allocate).size());
        EXPECT_EQ(c.allocation, fs.Calls(Op::Allocate)[0].size);
        EXPECT_EQ(c.size, fs.Contents(kPath).size());
        EXPECT_EQ(1u, fs.Calls(Op::Flush).size());
    }
}

TEST_F(ShredderFileTest, AllocationHalvesDownTo16KiB) {
    struct Case {
        std::uint32_t request;
        std::vector<std::uint64_t> tries;
    };
    const Case cases[] = {
        {262144, {262144, 131072, 65536, 32768, 16384}},
        {40000, {40000, 20000}},
        {100, {100}},
    };
    auto file = Make();
    fs.SetAllocationLimit(0);
    for (const Case& c : cases) {
        fs.ClearCalls();
        std::uint32_t size = c.request;
        EXPECT_FALSE(Probe::AllocateBuffer(*file, size));
        std::vector<std::uint64_t> tries;
        for (const auto& call : fs.Calls(Op::Allocate)) tries.push_back(call.size);
        EXPECT_EQ(c.tries, tries);
    }
    fs.SetAllocationLimit(70000);
    std::uint32_t size = 262144;
    ASSERT_TRUE(Probe::AllocateBuffer(*file, size));
    EXPECT_EQ(65536u, size);
    fs.SetAllocationLimit(MemoryFileSystem::kForever);
    size = 0;
    EXPECT_TRUE(Probe::AllocateBuffer(*file, size));
    EXPECT_EQ(0u, size);
}

TEST_F(ShredderFileTest, ShortOfMemoryAPassWritesSmallerChunks) {
    fs.AddFileOfSize(kPath, 100000);
    fs.SetAllocationLimit(30000);
    auto file = Make();
    ASSERT_TRUE(Probe::BytePass(*file, 0xEE));
    EXPECT_EQ((std::vector<std::uint32_t>{25000, 25000, 25000, 25000}), WriteSizes(fs));
    EXPECT_EQ(test::Filled(100000, 0xEE), fs.Contents(kPath));
}

// --- cancellation ----------------------------------------------------------------------

TEST_F(ShredderFileTest, CancelledBeforehandTheFileIsNeitherRenamedNorWritten) {
    fs.AddFileOfSize(kPath, 600000);
    cancel = 1;
    EXPECT_FALSE(Make()->Wipe(Random));
    EXPECT_TRUE(fs.Calls(Op::Write).empty());
    EXPECT_TRUE(fs.Calls(Op::Move).empty());
    EXPECT_TRUE(fs.Calls(Op::Flush).empty());
    EXPECT_EQ(test::Filled(600000, 0x5A), fs.Contents(kPath));
    EXPECT_EQ(0u, fs.OpenHandleCount());
}

TEST_F(ShredderFileTest, CancelledBeforehandByteAndPatternPassesWriteNothing) {
    fs.AddFileOfSize(kPath, 1000);
    auto file = Make();
    cancel = 1;
    const std::uint8_t pattern[3] = {1, 2, 3};
    EXPECT_FALSE(Probe::BytePass(*file, 0));
    EXPECT_FALSE(Probe::PatternPass(*file, pattern, 3));
    EXPECT_TRUE(fs.Calls(Op::Write).empty());
    EXPECT_EQ(test::Filled(1000, 0x5A), fs.Contents(kPath));
    EXPECT_FALSE(Make()->Wipe(DoDQuick));
    EXPECT_TRUE(fs.Calls(Op::Write).empty());
    EXPECT_EQ(test::Filled(1000, 0x5A), fs.Contents(Survivor()));
}

TEST_F(ShredderFileTest, CancelDuringAPassStopsAtTheNextChunk) {
    fs.AddFileOfSize(kPath, 3 * 262144);
    // Passes 1 and 2 take three writes each; cancel once pass 3 has written one chunk.
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Write && fs.CallCount(Op::Write) == 7) cancel = 1;
    });
    EXPECT_FALSE(Make()->Wipe(NATO));
    fs.SetObserver(nullptr);
    EXPECT_EQ(7u, fs.Calls(Op::Write).size());
    Bytes expected = test::Filled(3 * 262144, 0xFF);
    std::fill(expected.begin(), expected.begin() + 262144, 0x00);
    const std::string renamed = Survivor();
    EXPECT_NE(kPath, renamed);
    EXPECT_EQ(expected, fs.Contents(renamed));
    EXPECT_EQ(3u, fs.Calls(Op::Flush).size());
    EXPECT_TRUE(fs.Calls(Op::Remove).empty());
}

TEST_F(ShredderFileTest, OnlyExactlyOneCancels) {
    fs.AddFileOfSize(kPath, 1000);
    cancel = 2;
    EXPECT_TRUE(Make()->Wipe(DoDQuick));
    EXPECT_TRUE(fs.List(kFolder).empty());
}

// --- failures --------------------------------------------------------------------------

TEST_F(ShredderFileTest, EachFailureLeavesTheFileWholeOrPartlyOverwrittenUnderItsNewName) {
    constexpr std::size_t kSize = 2 * 262144;  // DoDQuick: writes 1-2 pass 1, 3-4 pass 2, 5-6 R
    struct Case {
        const char* what;
        std::function<void(MemoryFileSystem&)> fault;
        bool result;
        bool renamed;
        std::function<Bytes()> contents;  // empty function: the file is gone
    };
    const Bytes original = test::Filled(kSize, 0x5A);
    auto half = [](std::uint8_t first, std::uint8_t rest) {
        Bytes b = test::Filled(kSize, rest);
        std::fill(b.begin(), b.begin() + 262144, first);
        return b;
    };
    auto finalRandom = [] {
        std::uint32_t state = kSeed;
        return test::RandomPassBytes(state, kSize);
    };
    const Case cases[] = {
        {"held open elsewhere", [](auto& f) { f.SetHeldOpen(kPath, true); }, false, false,
         [&] { return original; }},
        {"read-only", [](auto& f) { f.SetAttributes(kPath, kAttrReadOnly); }, false, false,
         [&] { return original; }},
        {"size unreadable", [](auto& f) { f.FailCall(Op::GetSize, 1, kErrorAccessDenied); }, false,
         false, [&] { return original; }},
        {"first pass cannot rewind", [](auto& f) { f.FailCall(Op::Seek, 1, kErrorInvalidHandle); },
         false, true, [&] { return original; }},
        {"write fails", [](auto& f) { f.FailCall(Op::Write, 2, kErrorDiskFull); }, false, true,
         [&] { return half(0x00, 0x5A); }},
        {"short write", [](auto& f) { f.ShortWrite(3, 100); }, false, true,
         [&] {
             Bytes b = test::Filled(kSize, 0x00);
             std::fill(b.begin(), b.begin() + 100, 0xFF);
             return b;
         }},
        {"no buffer", [](auto& f) { f.SetAllocationLimit(0); }, false, true,
         [&] { return original; }},
        {"delete fails", [](auto& f) { f.FailCall(Op::Remove, 1, kErrorAccessDenied); }, false,
         true, finalRandom},
        {"flush fails: the pass never reached the disk",
         [](auto& f) { f.FailCall(Op::Flush, 1, kErrorWriteFault); }, false, true,
         [&] { return test::Filled(kSize, 0x00); }},
        {"rename fails (wiped under the old name)",
         [](auto& f) { f.FailCall(Op::Move, 1, kErrorAccessDenied); }, true, false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MemoryFileSystem local;
        local.AddFile(kPath, original);
        c.fault(local);
        ShredderFile file(kPath, local);
        Probe::SetRandomState(file, kSeed);
        // Pass 3 of DoDQuick is its only random pass, so it starts from the seed.
        EXPECT_EQ(c.result, file.Wipe(DoDQuick));
        const auto names = local.List(kFolder);
        if (!c.contents) {
            EXPECT_TRUE(names.empty());
        } else {
            ASSERT_EQ(1u, names.size());
            EXPECT_EQ(c.renamed, names[0] != "report.txt") << names[0];
            EXPECT_EQ(c.contents(), local.Contents(JoinName(names[0])));
        }
        EXPECT_EQ(0u, local.OpenHandleCount());
        EXPECT_EQ(0u, local.LiveAllocationCount());
    }
}

TEST_F(ShredderFileTest, Random2FailsAndKeepsTheFileWhenEitherPassFails) {
    // Pass k rewinds with seek k, writes with write k (one chunk) and flushes with flush k.
    for (Op op : {Op::Seek, Op::Write, Op::Flush}) {
        for (int pass : {1, 2}) {
            MemoryFileSystem local;
            local.AddFileOfSize(kPath, 5000);
            local.FailCall(op, pass, kErrorWriteFault);
            ShredderFile file(kPath, local);
            EXPECT_FALSE(file.Wipe(Random2));
            EXPECT_EQ(1u, local.List(kFolder).size());
            EXPECT_EQ(pass - 1, file.PassesCompleted());
            EXPECT_EQ(kErrorWriteFault, file.FailureCode());
            EXPECT_EQ(file.CurrentPath(), JoinName(local.List(kFolder)[0]));
        }
    }
}

TEST_F(ShredderFileTest, AFailingFlushOnAnyPassOfAnyMethodKeepsTheFile) {
    for (std::uint32_t method : {Random, Random2, DoDQuick, DoD, NATO, Gutmann}) {
        for (std::uint64_t pass = 1; pass <= std::uint64_t(PassCount(method)); ++pass) {
            MemoryFileSystem local;
            local.AddFileOfSize(kPath, 1000);
            local.FailCall(Op::Flush, pass, kErrorWriteFault);
            ShredderFile file(kPath, local);
            EXPECT_FALSE(file.Wipe(method)) << method << " pass " << pass;
            EXPECT_EQ(1u, local.List(kFolder).size()) << method << " pass " << pass;
            EXPECT_TRUE(local.Calls(Op::Remove).empty());
        }
    }
}

TEST_F(ShredderFileTest, NothingCanBeSwappedInWhileTheWipeHoldsTheFile) {
    // Between passes, and before the delete, someone tries to put a link to a file outside
    // the selection in the wiped file's place. The wipe holds its one handle exclusively
    // throughout, so the name cannot be taken; every pass lands on the real file.
    MemoryFileSystem local;
    local.AddFileOfSize(kPath, 1000);
    local.AddFile("D:\\outside\\precious.txt", "precious");
    std::vector<bool> swaps;
    local.SetObserver([&](const MemoryFileSystem::Call& call) {
        if (call.op != Op::Flush) return;
        const std::string name = JoinName(local.List(kFolder).at(0));
        swaps.push_back(local.Remove(name) || local.Move(name, "C:\\docs\\away"));
    });
    ShredderFile file(kPath, local);
    EXPECT_TRUE(file.Wipe(DoDQuick));
    EXPECT_EQ((std::vector<bool>{false, false, false}), swaps);
    EXPECT_EQ(Bytes({'p', 'r', 'e', 'c', 'i', 'o', 'u', 's'}),
              local.Contents("D:\\outside\\precious.txt"));
    EXPECT_TRUE(local.List(kFolder).empty());
    EXPECT_EQ(1u, local.Calls(Op::Open).size());
}

TEST_F(ShredderFileTest, DoDDrawsNoFurtherAfterAFailedPass) {
    // Pass k rewinds the file with seek k.
    for (int failingPass : {1, 3}) {
        MemoryFileSystem local;
        local.AddFileOfSize(kPath, 10);
        local.FailCall(Op::Seek, failingPass, kErrorInvalidHandle);
        ShredderFile file(kPath, local);
        CharGeneratorSeed(1);
        EXPECT_FALSE(file.Wipe(DoD | Recycle));
        std::uint32_t state = 1;
        test::ReferenceDraw(state);
        if (failingPass == 3) test::ReferenceDraw(state);
        EXPECT_EQ(state, CharGeneratorState()) << "pass " << failingPass;
    }
}

TEST_F(ShredderFileTest, FailedCloseNeitherLeaksNorStopsTheWipe) {
    fs.AddFileOfSize(kPath, 1000);
    fs.FailCall(Op::Close, 1, kErrorInvalidHandle);
    {
        auto file = Make();
        // The probe's handle stays open, so the rename meets a sharing violation; the
        // first pass closes it before opening again.
        EXPECT_TRUE(file->Wipe(Random));
    }
    EXPECT_TRUE(fs.List(kFolder).empty());
    EXPECT_EQ(0u, fs.OpenHandleCount());
}

// --- edges of the pass loop --------------------------------------------------------------

// Claims more bytes written than it was given.
class OverReportingFileSystem : public MemoryFileSystem {
public:
    bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t& written) override {
        const bool ok = MemoryFileSystem::Write(h, data, size, written);
        written += 1000;
        return ok;
    }
};

TEST_F(ShredderFileTest, WritesThatFailOrMisreportEndThePassAndCountOnlyWhatWasWritten) {
    {
        // Every write fails: the random pass ends after the first, the file stays whole.
        MemoryFileSystem local;
        local.AddFileOfSize(kPath, 3 * 262144);
        local.FailCalls(Op::Write, 1, 1000000, kErrorDiskFull);
        ShredderFile file(kPath, local);
        EXPECT_FALSE(file.Wipe(Random));
        EXPECT_EQ(1u, local.Calls(Op::Write).size());
        EXPECT_EQ(1u, local.List(kFolder).size());
        EXPECT_EQ(kErrorDiskFull, file.FailureCode());
    }
    {
        // A write that claims more than it was given is not believed: the pass fails, and
        // the count is clamped, so the percentage stays at the half chunk really asked for
        // (16 % of DoD Quick's three passes), never beyond.
        OverReportingFileSystem local;
        local.AddFileOfSize(kPath, 2 * 262144);
        std::atomic<std::int32_t> percent{0};
        ShredderFile file(kPath, local);
        file.progress = &percent;
        EXPECT_FALSE(file.Wipe(DoDQuick));
        EXPECT_EQ(1u, local.Calls(Op::Write).size());
        EXPECT_EQ(16, percent.load());
        EXPECT_EQ(1u, local.List(kFolder).size());
    }
    {
        // The percentage follows the bytes written, not those asked for.
        MemoryFileSystem local;
        local.AddFileOfSize(kPath, 1000);
        local.ShortWrite(1, 100);
        std::atomic<std::int32_t> percent{0};
        ShredderFile file(kPath, local);
        file.progress = &percent;
        EXPECT_FALSE(file.Wipe(Random));
        EXPECT_EQ(10, percent.load());
    }
}

TEST_F(ShredderFileTest, ThePassUnderWayAndItsOwnPercentageArePublished) {
    fs.AddFileOfSize(kPath, 2 * 262144);
    std::atomic<std::int32_t> pass{0}, percent{0};
    std::vector<std::pair<std::int32_t, std::int32_t>> seen;
    fs.SetObserver([&](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Write) seen.emplace_back(pass.load(), percent.load());
    });
    auto file = Make();
    file->currentPass = &pass;
    file->passPercent = &percent;
    ASSERT_TRUE(file->Wipe(DoDQuick));
    // Seen at each write, before it counts: two chunks in each of three passes.
    const std::vector<std::pair<std::int32_t, std::int32_t>> expected = {
        {0, 0}, {1, 50}, {1, 100}, {2, 50}, {2, 100}, {3, 50}};
    EXPECT_EQ(expected, seen);
    EXPECT_EQ(3, pass.load());
    EXPECT_EQ(100, percent.load());
}

TEST_F(ShredderFileTest, ACancelDuringTheLastWriteOfAPassIsSeenAtItsEnd) {
    fs.AddFileOfSize(kPath, 2 * 262144);
    fs.SetObserver([this](const MemoryFileSystem::Call& call) {
        if (call.op == Op::Write && fs.CallCount(Op::Write) == 2) cancel = 1;
    });
    EXPECT_FALSE(Make()->Wipe(DoDQuick));
    EXPECT_EQ(2u, fs.Calls(Op::Write).size());  // the pass finished, the next never began
    EXPECT_EQ(1u, fs.List(kFolder).size());
    EXPECT_TRUE(fs.Calls(Op::Remove).empty());
}

TEST_F(ShredderFileTest, APatternPassOfExactlyOneChunkIsOneWrite) {
    fs.AddFileOfSize(kPath, 262144);
    auto file = Make();
    Probe::SetMethod(*file, Gutmann);
    Probe::SetPass(*file, 7);
    const std::uint8_t pattern[3] = {0x92, 0x49, 0x24};
    ASSERT_TRUE(Probe::PatternPass(*file, pattern, 3));
    ASSERT_EQ(1u, fs.Calls(Op::Write).size());
    const auto bytes = fs.Contents(kPath);
    ASSERT_EQ(262144u, bytes.size());
    for (std::size_t i = 0; i < bytes.size(); i += 4099) EXPECT_EQ(pattern[i % 3], bytes[i]) << i;
    EXPECT_EQ(pattern[262143 % 3], bytes[262143]);
}

TEST_F(ShredderFileTest, DoDAndNatoBitsTogetherRunDoDFirst) {
    fs.AddFileOfSize(kPath, 100);
    test::WipeRecorder recorder(fs, progress);
    ASSERT_TRUE(Make()->Wipe(DoD | NATO));
    ASSERT_EQ(14u, recorder.images.size());
    // The last seven are NATO's: 0x00 and 0xFF three times each, then random.
    for (std::size_t pass = 7; pass < 13; ++pass) {
        const std::uint8_t expected = (pass - 7) % 2 == 0 ? 0x00 : 0xFF;
        EXPECT_EQ(Bytes(100, expected), recorder.images[pass]) << "pass " << pass + 1;
    }
    // DoD's first two are a draw and its complement.
    ASSERT_EQ(100u, recorder.images[0].size());
    EXPECT_EQ(static_cast<std::uint8_t>(~recorder.images[0][0]), recorder.images[1][0]);
}

TEST_F(ShredderFileTest, AFailingRoutineEndsTheWipeThoughALaterOneCouldSucceed) {
    // DoD runs first; its first flush fails. NATO must not run and hide the failure.
    fs.AddFileOfSize(kPath, 100);
    fs.FailCall(Op::Flush, 1, kErrorWriteFault);
    auto file = Make();
    EXPECT_FALSE(file->Wipe(DoD | NATO));
    EXPECT_EQ(1u, fs.Calls(Op::Flush).size());
    EXPECT_EQ(kErrorWriteFault, file->FailureCode());
    EXPECT_EQ(1u, fs.List(kFolder).size());
}

// Fails every write while claiming to have written all of it.
class FailingFullCountFileSystem : public MemoryFileSystem {
public:
    bool Write(Handle h, const void* data, std::uint32_t size, std::uint32_t& written) override {
        MemoryFileSystem::Write(h, data, size, written);
        written = size;
        return false;
    }
};

TEST_F(ShredderFileTest, EachFailureKeepsItsOwnReason) {
    {
        // A write that fails but reports a full count still fails its pass.
        FailingFullCountFileSystem local;
        local.AddFileOfSize(kPath, 1000);
        ShredderFile file(kPath, local);
        EXPECT_FALSE(file.Wipe(Random));
        EXPECT_EQ(0, file.PassesCompleted());
        EXPECT_EQ(1u, local.List(kFolder).size());
    }
    {
        // A short write that succeeded: a write fault, not whatever came before it.
        MemoryFileSystem local;
        local.AddFileOfSize(kPath, 1000);
        local.ShortWrite(1, 10);
        local.FailCall(Op::Attributes, 1, kErrorAccessDenied);
        local.Attributes(kPath);  // leaves a stale code on this thread
        ShredderFile file(kPath, local);
        EXPECT_FALSE(file.Wipe(Random));
        EXPECT_EQ(kErrorWriteFault, file.FailureCode());
    }
    {
        // The identity cannot be read: its code, and the file as it was.
        MemoryFileSystem local;
        local.AddFileOfSize(kPath, 1000);
        local.FailCall(Op::Identify, 1, kErrorAccessDenied);
        ShredderFile file(kPath, local);
        EXPECT_FALSE(file.Wipe(Random));
        EXPECT_EQ(kErrorAccessDenied, file.FailureCode());
        EXPECT_TRUE(local.Exists(kPath));
        EXPECT_TRUE(local.Calls(Op::Write).empty());
    }
}

TEST_F(ShredderFileTest, ARandomNameIsNeverADeviceName) {
    // A seed whose first three-letter draw is a device name, found by the reference.
    std::uint32_t seed = 1;
    for (;; ++seed) {
        std::uint32_t state = seed;
        const std::string name = test::ReferenceName(state, 3);
        if (name == "con" || name == "prn" || name == "aux" || name == "nul") break;
    }
    fs.AddFileOfSize("C:\\docs\\abc", 10);
    CharGeneratorSeed(seed);
    ShredderFile file("C:\\docs\\abc", fs);
    fs.FailCall(Op::Flush, 1, kErrorWriteFault);  // keeps the file to look at
    EXPECT_FALSE(file.Wipe(Random));
    std::uint32_t state = seed;
    test::ReferenceName(state, 3);
    EXPECT_EQ((std::vector<std::string>{test::ReferenceName(state, 3)}), fs.List(kFolder));
}

// --- named streams ---------------------------------------------------------------------

TEST_F(ShredderFileTest, NamedStreamsGetEveryPassAndGoBeforeTheFile) {
    MemoryFileSystem local;
    local.AddFileOfSize(kPath, 3000);
    const std::string zone = "[ZoneTransfer]\r\nHostUrl=https://example.org/x";
    local.AddStream(kPath, "Zone.Identifier", zone);
    local.AddStream(kPath, "notes", std::string(70000, 'n'));
    ShredderFile file(kPath, local);
    ASSERT_TRUE(file.Wipe(DoDQuick));
    EXPECT_TRUE(local.List(kFolder).empty());
    // Each stream: three passes (two byte passes and a random one), each flushed, then
    // removed by its own name under the file's new name; then the file's own three.
    const auto removes = local.Calls(Op::Remove);
    ASSERT_EQ(3u, removes.size());
    EXPECT_NE(std::string::npos, removes[0].path.find(":notes"));
    EXPECT_NE(std::string::npos, removes[1].path.find(":Zone.Identifier"));
    EXPECT_EQ(std::string::npos, removes[2].path.find(':', 2));
    EXPECT_EQ(9u, local.Calls(Op::Flush).size());
    std::uint64_t zoneBytes = 0;
    for (const auto& write : local.Calls(Op::Write)) {
        if (write.path.find(":Zone.Identifier") != std::string::npos) zoneBytes += write.written;
    }
    EXPECT_EQ(3u * zone.size(), zoneBytes);
}

TEST_F(ShredderFileTest, AStreamThatCannotBeWipedKeepsTheFile) {
    MemoryFileSystem local;
    local.AddFileOfSize(kPath, 3000);
    local.AddStream(kPath, "Zone.Identifier", "zone");
    local.FailCall(Op::Flush, 2, kErrorWriteFault);  // the stream's second pass
    ShredderFile file(kPath, local);
    EXPECT_FALSE(file.Wipe(DoDQuick));
    EXPECT_EQ(kErrorWriteFault, file.FailureCode());
    ASSERT_EQ(1u, local.List(kFolder).size());
    EXPECT_TRUE(local.Calls(Op::Remove).empty());
    EXPECT_EQ(3000u, local.Contents(file.CurrentPath()).size());

    // Streams that cannot be listed are not "no streams": the file stays unwritten.
    MemoryFileSystem unlisted;
    unlisted.AddFileOfSize(kPath, 3000);
    unlisted.FailCall(Op::Streams, 1, kErrorAccessDenied);
    ShredderFile hidden(kPath, unlisted);
    EXPECT_FALSE(hidden.Wipe(DoDQuick));
    EXPECT_EQ(kErrorAccessDenied, hidden.FailureCode());
    EXPECT_TRUE(unlisted.Calls(Op::Write).empty());
    EXPECT_EQ(1u, unlisted.List(kFolder).size());
}

// --- the random rename -----------------------------------------------------------------

TEST_F(ShredderFileTest, RenameDrawsAsManyLettersAsTheNameHad) {
    fs.AddFileOfSize(kPath, 10);
    ASSERT_TRUE(Make()->Wipe(Random));
    std::uint32_t state = 1;
    const std::string expected = JoinName(test::ReferenceName(state, 10));
    const auto moves = fs.Calls(Op::Move);
    ASSERT_EQ(1u, moves.size());
    EXPECT_EQ(kPath, moves[0].path);
    EXPECT_EQ(expected, moves[0].target);
    for (const auto& write : fs.Calls(Op::Write)) EXPECT_EQ(expected, write.path);
    EXPECT_EQ(expected, fs.Calls(Op::Remove)[0].path);
}

TEST_F(ShredderFileTest, RenameRetriesATakenName) {
    std::uint32_t state = 1;
    const std::string firstName = test::ReferenceName(state, 10);
    const std::string first = JoinName(firstName);
    const std::string second = JoinName(test::ReferenceName(state, 10));
    fs.AddFile(first, "keep me");
    fs.AddFileOfSize(kPath, 10);
    ASSERT_TRUE(Make()->Wipe(Random));
    const auto moves = fs.Calls(Op::Move);
    ASSERT_EQ(2u, moves.size());
    EXPECT_EQ(kErrorAlreadyExists, moves[0].error);
    EXPECT_EQ(second, moves[1].target);
    EXPECT_TRUE(moves[1].ok);
    EXPECT_EQ((std::vector<std::string>{firstName}), fs.List(kFolder));
    EXPECT_EQ(test::Bytes({'k', 'e', 'e', 'p', ' ', 'm', 'e'}), fs.Contents(first));
}

TEST_F(ShredderFileTest, RenameGivesUpWhenEveryNameIsTaken) {
    // A one-letter name has 26 candidates; were they all taken, retrying would never end.
    const std::string path = JoinName("q");
    fs.AddFileOfSize(path, 10);
    fs.FailCalls(Op::Move, 1, MemoryFileSystem::kForever, kErrorAlreadyExists);
    ASSERT_TRUE(Make(path)->Wipe(Random));
    const std::size_t attempts = fs.Calls(Op::Move).size();
    EXPECT_GE(attempts, 100u);
    EXPECT_LE(attempts, 1000u);
    EXPECT_EQ(path, fs.Calls(Op::Remove)[0].path);
    EXPECT_TRUE(fs.List(kFolder).empty());
}

TEST_F(ShredderFileTest, ANameKeptIsToldWithItsReasonAndOnlyThen) {
    const std::uint32_t refusals[] = {0, kErrorAccessDenied, kErrorAlreadyExists};
    for (const std::uint32_t refusal : refusals) {
        SCOPED_TRACE(refusal);
        MemoryFileSystem local;
        local.AddFileOfSize(kPath, 10);
        if (refusal != 0) local.FailCalls(Op::Move, 1, MemoryFileSystem::kForever, refusal);
        ShredderFile file(kPath, local);
        ASSERT_TRUE(file.Wipe(Random));
        EXPECT_EQ(file.NameKept(), refusal != 0);
        EXPECT_EQ(file.RenameError(), refusal);
    }
}

TEST_F(ShredderFileTest, RenameStopsAtOtherErrors) {
    fs.AddFileOfSize(kPath, 10);
    fs.FailCall(Op::Move, 1, kErrorAccessDenied);
    ASSERT_TRUE(Make()->Wipe(Random));
    EXPECT_EQ(1u, fs.Calls(Op::Move).size());
    EXPECT_EQ(kPath, fs.Calls(Op::Remove)[0].path);
}

TEST_F(ShredderFileTest, RenameKeepsTheFileInItsFolderWhateverTheLengths) {
    // Folder names of 255 characters, a path far beyond 260, a long name with a dot in a
    // folder: only the last component changes, and nothing is cut.
    const std::string folder = "C:\\" + std::string(255, 'd') + "\\x.y\\" + std::string(255, 'e');
    const std::string path = folder + "\\" + std::string(250, 'n') + ".txt";
    fs.AddFileOfSize(path, 10);
    ASSERT_TRUE(Make(path)->Wipe(Random));
    const auto moves = fs.Calls(Op::Move);
    ASSERT_EQ(1u, moves.size());
    EXPECT_EQ(folder + "\\", moves[0].target.substr(0, folder.size() + 1));
    EXPECT_EQ(254u, moves[0].target.size() - folder.size() - 1);
    EXPECT_TRUE(fs.List(folder).empty());
    EXPECT_EQ(moves[0].target, fs.Calls(Op::Remove)[0].path);
}

TEST_F(ShredderFileTest, RenameCountsANameInWindowsCharacters) {
    // "αβ 🔒.doc": 9 UTF-16 units (the lock is a surrogate pair), 14 UTF-8 bytes.
    const std::string path = std::string(kFolder) + "\\\xCE\xB1\xCE\xB2 \xF0\x9F\x94\x92.doc";
    fs.AddFileOfSize(path, 10);
    ASSERT_TRUE(Make(path)->Wipe(Random));
    const auto moves = fs.Calls(Op::Move);
    ASSERT_EQ(1u, moves.size());
    EXPECT_EQ(std::string(kFolder) + "\\", moves[0].target.substr(0, 8));
    EXPECT_EQ(9u, moves[0].target.size() - 8);
}

// --- methods without passes ------------------------------------------------------------

TEST_F(ShredderFileTest, ZeroTouchesNothing) {
    fs.AddFileOfSize(kPath, 10);
    fs.ClearCalls();
    EXPECT_TRUE(Make()->Wipe(0));
    EXPECT_TRUE(fs.Calls().empty());
    EXPECT_EQ(0, progress.load());
}

TEST_F(ShredderFileTest, RecycleOrDeleteAloneOverwriteNothing) {
    fs.AddFile(kPath, "contents");
    ASSERT_TRUE(Make()->Wipe(Recycle));
    ASSERT_EQ(1u, fs.RecycleBin().size());
    EXPECT_EQ(kPath, fs.RecycleBin()[0].path);
    EXPECT_EQ(test::Bytes({'c', 'o', 'n', 't', 'e', 'n', 't', 's'}), fs.RecycleBin()[0].contents);

    fs.AddFile(kPath, "contents");
    ASSERT_TRUE(Make()->Wipe(Delete));
    EXPECT_TRUE(fs.List(kFolder).empty());
    EXPECT_TRUE(fs.Calls(Op::Open).empty());
    EXPECT_TRUE(fs.Calls(Op::Move).empty());

    EXPECT_FALSE(Make()->Wipe(Delete));  // nothing left to delete
}

TEST_F(ShredderFileTest, RecycleBitWithAMethodKeepsTheName) {
    fs.AddFileOfSize(kPath, 1000);
    ASSERT_TRUE(Make()->Wipe(Random | Recycle));
    EXPECT_TRUE(fs.Calls(Op::Move).empty());
    std::uint32_t state = kSeed;
    ASSERT_EQ(1u, fs.RecycleBin().size());
    EXPECT_EQ(kPath, fs.RecycleBin()[0].path);
    EXPECT_EQ(test::RandomPassBytes(state, 1000), fs.RecycleBin()[0].contents);
}

TEST_F(ShredderFileTest, BitsWithoutAnOverwritingMethodLeaveTheFileAlone) {
    // Such a wipe would only have renamed the file and failed.
    fs.AddFile(kPath, "contents");
    fs.ClearCalls();
    EXPECT_FALSE(Make()->Wipe(0x100));
    EXPECT_FALSE(Make()->Wipe(Recycle | Delete));
    EXPECT_TRUE(fs.Calls().empty());
    EXPECT_EQ((std::vector<std::string>{"report.txt"}), fs.List(kFolder));
}

TEST_F(ShredderFileTest, EmptyFilesAreWipedByEveryMethod) {
    for (std::uint32_t method : {Random, Random2, DoDQuick, DoD, NATO, Gutmann}) {
        fs.AddFile(kPath);
        EXPECT_TRUE(Make()->Wipe(method)) << method;
        EXPECT_TRUE(fs.List(kFolder).empty()) << method;
    }
}

}  // namespace
}  // namespace veltrane
