// The method table, the character generator and the path helpers.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "wipe/CharGenerator.h"
#include "wipe/Paths.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

TEST(WipeMethodTable, EachMethodHasABitOfItsOwnAndItsDescriptionSaysItsPasses) {
    std::uint32_t seen = 0;
    for (const WipeMethodInfo& row : wipeMethods) {
        SCOPED_TRACE(row.key);
        // One bit each, never shared: the value travels from the menu to the engine.
        EXPECT_NE(0u, row.methodBits);
        EXPECT_EQ(0u, row.methodBits & (row.methodBits - 1));
        EXPECT_EQ(0u, seen & row.methodBits);
        seen |= row.methodBits;
        // What the user reads is what the engine does.
        const std::string said =
            "(" + std::to_string(row.passes) + (row.passes == 1 ? " pass)" : " passes)");
        const std::string description = row.description;
        ASSERT_GE(description.size(), said.size());
        EXPECT_EQ(said, description.substr(description.size() - said.size()));
        EXPECT_EQ(row.passes, PassCount(row.methodBits));
    }
    EXPECT_EQ(0xFFu, seen);
}

TEST(WipeMethodTable, PassCountMatchesOneRowExactly) {
    EXPECT_EQ(35, PassCount(Gutmann));
    EXPECT_EQ(2, PassCount(Random2));
    EXPECT_EQ(7, PassCount(DoD));
    EXPECT_EQ(0, PassCount(Recycle));
    EXPECT_EQ(0, PassCount(0));
    EXPECT_EQ(0, PassCount(Random | DoDQuick));
    EXPECT_EQ(0, PassCount(Gutmann | Recycle));
    EXPECT_EQ(0, PassCount(0x100));
}

TEST(CharGenerator, EveryThreadStartsAtOne) {
    auto firstFour = [] {
        std::vector<std::int32_t> v;
        for (int i = 0; i < 4; ++i) v.push_back(CharGeneratorNext());
        return v;
    };
    const std::vector<std::int32_t> expected = {41, 18467, 6334, 26500};
    std::vector<std::int32_t> a, b;
    std::thread t1([&] { a = firstFour(); });
    t1.join();
    // A second thread is not disturbed by the first, nor by this thread's draws.
    CharGeneratorNext();
    std::thread t2([&] { b = firstFour(); });
    t2.join();
    EXPECT_EQ(expected, a);
    EXPECT_EQ(expected, b);
}

TEST(CharGenerator, SeedPutsTheSequenceAnywhere) {
    CharGeneratorSeed(1);
    EXPECT_EQ(41, CharGeneratorNext());
    const std::uint32_t state = CharGeneratorState();
    const std::int32_t next = CharGeneratorNext();
    CharGeneratorSeed(state);
    EXPECT_EQ(next, CharGeneratorNext());
    CharGeneratorSeed(0xFFFFFFFFu);
    for (int i = 0; i < 1000; ++i) {
        const std::int32_t v = CharGeneratorNext();
        ASSERT_GE(v, 0);
        ASSERT_LE(v, 32767);
    }
}

TEST(PathStrings, StripSeparatorRemovesOneAtMost) {
    EXPECT_EQ("D:\\work", StripSeparator("D:\\work\\"));
    EXPECT_EQ("D:\\work", StripSeparator("D:\\work"));
    EXPECT_EQ("D:\\work\\", StripSeparator("D:\\work\\\\"));
    EXPECT_EQ("D:/work", StripSeparator("D:/work/"));
    EXPECT_EQ("", StripSeparator(""));
}

TEST(PathStrings, JoinPathAddsOneSeparatorWhereMissing) {
    EXPECT_EQ("D:\\work\\notes", JoinPath("D:\\work", "notes"));
    EXPECT_EQ("D:\\work\\a.txt", JoinPath("D:\\work\\", "a.txt"));
    EXPECT_EQ("D:/work/a.txt", JoinPath("D:/work/", "a.txt"));
    EXPECT_EQ("a.txt", JoinPath("", "a.txt"));
    EXPECT_EQ("D:\\work\\*", JoinPath("D:\\work", "*"));
}

TEST(PathPartsSplit, FollowsTheRuntimeRules) {
    struct Case {
        const char* path;
        const char* drive;
        const char* directory;
        const char* name;
        const char* extension;
    };
    const Case cases[] = {
        {"D:\\docs\\report.txt", "D:", "\\docs\\", "report", ".txt"},
        {"D:\\docs\\.profile", "D:", "\\docs\\", "", ".profile"},
        {"notes", "", "", "notes", ""},
        {"D:/a.b/c", "D:", "/a.b/", "c", ""},
        {"D:\\a/b\\archive.tar.gz", "D:", "\\a/b\\", "archive.tar", ".gz"},
        {"\\\\server\\share\\x.y", "", "\\\\server\\share\\", "x", ".y"},
        {"C:file.", "C:", "", "file", "."},
    };
    for (const Case& c : cases) {
        PathParts parts(c.path);
        EXPECT_EQ(c.path, parts.Full());
        EXPECT_EQ(c.drive, parts.Drive()) << c.path;
        EXPECT_EQ(c.directory, parts.Directory()) << c.path;
        EXPECT_EQ(c.name, parts.Name()) << c.path;
        EXPECT_EQ(c.extension, parts.Extension()) << c.path;
        EXPECT_EQ(std::string(c.name) + c.extension, parts.FileName()) << c.path;
        EXPECT_EQ(c.path, parts.Compose()) << c.path;
    }
}

TEST(PathPartsSplit, NoPartExceeds255Characters) {
    PathParts parts("C:\\" + std::string(300, 'n') + "." + std::string(300, 'e'));
    EXPECT_EQ(255u, parts.Name().size());
    EXPECT_EQ(255u, parts.Extension().size());
}

TEST(PathPartsCompose, SettersComposeAroundABareName) {
    PathParts parts("abcdefghij");
    EXPECT_EQ("D:abcdefghij", parts.SetDrive("D:"));
    EXPECT_EQ("D:\\docs\\abcdefghij", parts.SetDirectory("\\docs\\"));
    EXPECT_EQ("abcdefghij", parts.Full());
    // The runtime adds the separator a directory lacks, and the colon after a drive letter.
    PathParts bare("abcdefghij");
    EXPECT_EQ("E:abcdefghij", bare.SetDrive("E"));
    EXPECT_EQ("E:\\docs\\abcdefghij", bare.SetDirectory("\\docs"));
}

TEST(PathPartsCompose, EmptyWhenThePartsReach258Characters) {
    // drive 2 + directory 1 + name n, plus 2, must stay below 260.
    PathParts fits("C:\\" + std::string(254, 'a'));
    EXPECT_EQ(257u, fits.Compose().size());
    PathParts tooLong("C:\\" + std::string(255, 'a'));
    EXPECT_EQ("", tooLong.Compose());
    PathParts withExtension("C:\\" + std::string(251, 'a') + ".txt");
    EXPECT_EQ("", withExtension.Compose());
}

}  // namespace
}  // namespace veltrane
