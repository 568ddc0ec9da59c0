// Names and paths of every kind: exact UTF-8/UTF-16 conversion, how Windows reads a path,
// roots that are never wiped, and the extended-length form the Windows backend uses.
#include <gtest/gtest.h>

#include <string>

#include "wipe/Paths.h"
#include "wipe/Unicode.h"

namespace veltrane {
namespace {

TEST(Unicode, NamesOfEveryScriptRoundTripExactly) {
    const char* names[] = {
        "a.txt",
        "\xC4\x81.txt",                          // ā
        "\xC5\x82od\xC5\xBA.bin",                // łodź
        "\xD0\x96\xD1\x83\xD0\xBA.bin",          // Жук
        "\xE6\x96\x87\xE4\xBB\xB6.txt",          // 文件
        "\xCE\xB1\xCE\xB2 \xF0\x9F\x94\x92.doc"  // αβ 🔒 (outside the BMP)
    };
    for (const char* name : names) {
        std::u16string wide;
        ASSERT_TRUE(Utf8ToUtf16(name, wide)) << name;
        EXPECT_EQ(Utf16Length(name), wide.size()) << name;
        std::string back;
        ASSERT_TRUE(Utf16ToUtf8(wide, back));
        EXPECT_EQ(name, back);
    }
    std::u16string lock;
    ASSERT_TRUE(Utf8ToUtf16("\xF0\x9F\x94\x92", lock));
    EXPECT_EQ(lock, (std::u16string{0xD83D, 0xDD12}));
}

TEST(Unicode, AnythingNotExactIsRefusedNeverApproximated) {
    std::u16string wide = u"kept";
    const char* invalid[] = {
        "\xC0\xAF",          // overlong '/'
        "\xE0\x80\xAF",      // overlong '/'
        "\xED\xA0\x80",      // a surrogate coded in UTF-8
        "\xF4\x90\x80\x80",  // beyond U+10FFFF
        "\xC3",              // cut short
        "a\x80z",            // a stray continuation byte
        "\xFF",
    };
    for (const char* s : invalid) {
        EXPECT_FALSE(Utf8ToUtf16(s, wide)) << s;
        EXPECT_EQ(u"kept", wide);
    }
    std::string narrow = "kept";
    EXPECT_FALSE(Utf16ToUtf8(std::u16string{u'a', 0xD800}, narrow));
    EXPECT_FALSE(Utf16ToUtf8(std::u16string{0xDC00, u'a'}, narrow));
    EXPECT_FALSE(Utf16ToUtf8(std::u16string{0xD800, 0xD800}, narrow));
    EXPECT_EQ("kept", narrow);
}

TEST(PathKinds, WindowsReadsEachFormItsOwnWay) {
    struct Case {
        const char* path;
        PathKind kind;
    } cases[] = {
        {"notes\\a.txt", PathKind::Relative},
        {"C:notes", PathKind::DriveRelative},
        {"\\notes", PathKind::Rooted},
        {"/tmp/x", PathKind::Rooted},
        {"C:\\notes", PathKind::DriveAbsolute},
        {"c:/notes", PathKind::DriveAbsolute},
        {"\\\\server\\share\\x", PathKind::Unc},
        {"\\\\?\\C:\\x", PathKind::Extended},
        {"\\\\?\\UNC\\server\\share\\x", PathKind::Extended},
        {"\\\\?\\Volume{1b3c}\\x", PathKind::Extended},
        {"\\\\.\\PhysicalDrive0", PathKind::Device},
        {"\\\\.\\C:\\x", PathKind::Device},
        {"\\\\?\\GLOBALROOT\\Device\\Harddisk0", PathKind::Device},
        {"\\\\server", PathKind::Device},
        {"\\\\", PathKind::Device},
    };
    for (const Case& c : cases) EXPECT_EQ(c.kind, ClassifyPath(c.path)) << c.path;
}

TEST(PathKinds, DriveAndShareRootsAreRecognisedInEveryForm) {
    const char* roots[] = {"C:\\",
                           "C:",
                           "c:/",
                           "C:\\\\",
                           "C:\\dir\\..",
                           "C:\\.\\",
                           "\\\\server\\share",
                           "\\\\server\\share\\",
                           "\\\\?\\C:\\",
                           "\\\\?\\UNC\\server\\share\\",
                           "\\",
                           "/"};
    for (const char* root : roots) EXPECT_TRUE(IsVolumeRoot(root)) << root;
    const char* below[] = {"C:\\dir",      "C:\\dir\\", "\\\\server\\share\\dir",
                           "\\\\?\\C:\\x", "/tmp",      "C:notes",
                           "notes",        ""};
    for (const char* path : below) EXPECT_FALSE(IsVolumeRoot(path)) << path;
}

TEST(PathStrings, StripSeparatorKeepsTheSeparatorOfARoot) {
    EXPECT_EQ("C:\\", StripSeparator("C:\\"));
    EXPECT_EQ("\\\\?\\C:\\", StripSeparator("\\\\?\\C:\\"));
    EXPECT_EQ("\\", StripSeparator("\\"));
    EXPECT_EQ("C:\\dir", StripSeparator("C:\\dir\\"));
}

TEST(ExtendedPaths, OddNamesAndLongPathsReachTheRealFile) {
    // Trailing dots and spaces and device names are kept as names.
    EXPECT_EQ("\\\\?\\C:\\dir\\notes.", ExtendedLengthPath("C:\\dir\\notes."));
    EXPECT_EQ("\\\\?\\C:\\dir\\trail ", ExtendedLengthPath("C:\\dir\\trail "));
    EXPECT_EQ("\\\\?\\C:\\dir\\nul.txt", ExtendedLengthPath("C:\\dir\\nul.txt"));
    EXPECT_EQ("\\\\?\\C:\\dir\\con", ExtendedLengthPath("C:/dir//con"));
    // "." and ".." are applied, never above the root.
    EXPECT_EQ("\\\\?\\C:\\a\\c", ExtendedLengthPath("C:\\a\\.\\b\\..\\c"));
    EXPECT_EQ("\\\\?\\C:\\x", ExtendedLengthPath("C:\\..\\..\\x"));
    EXPECT_EQ("\\\\?\\C:\\", ExtendedLengthPath("C:\\"));
    EXPECT_EQ("\\\\?\\UNC\\srv\\share\\d\\f", ExtendedLengthPath("\\\\srv\\share\\d\\f"));
    EXPECT_EQ("\\\\?\\UNC\\srv\\share\\f", ExtendedLengthPath("\\\\srv\\share\\..\\f"));
    // A path that already carries the prefix is kept as it is.
    EXPECT_EQ("\\\\?\\C:\\x\\..\\y.", ExtendedLengthPath("\\\\?\\C:\\x\\..\\y."));
    const std::string longPath = "C:\\" + std::string(200, 'd') + "\\" + std::string(200, 'f');
    EXPECT_EQ("\\\\?\\" + longPath, ExtendedLengthPath(longPath));
    // Relative and device paths have no extended form of their own.
    EXPECT_EQ("", ExtendedLengthPath("notes"));
    EXPECT_EQ("", ExtendedLengthPath("\\\\.\\PhysicalDrive0"));
}

TEST(ExtendedPaths, RelativePathsResolveAgainstTheirBase) {
    EXPECT_EQ("C:\\work\\a.txt", ResolveAgainst("C:\\work", "a.txt"));
    EXPECT_EQ("D:\\cur\\b", ResolveAgainst("D:\\cur", "D:b"));
    EXPECT_EQ("C:\\top", ResolveAgainst("C:\\work\\deep", "\\top"));
    EXPECT_EQ("\\\\srv\\share\\top", ResolveAgainst("\\\\srv\\share\\x", "\\top"));
}

TEST(EntryNames, OnlyNamesThatStayInTheirFolderCanBeJoined) {
    for (const char* name : {"a.txt", "..b", "notes.", "nul.txt", "\xE6\x96\x87"}) {
        EXPECT_TRUE(IsPlainEntryName(name)) << name;
    }
    for (const char* name : {"", ".", "..", "..\\x", "a/b", "c:x", "file:stream"}) {
        EXPECT_FALSE(IsPlainEntryName(name)) << name;
    }
    EXPECT_FALSE(IsPlainEntryName(std::string("a\0b", 3)));
    EXPECT_EQ("file.txt", LastComponent("C:\\dir\\file.txt"));
    EXPECT_EQ("C:\\dir\\", FolderPart("C:\\dir\\file.txt"));
    EXPECT_EQ("C:", FolderPart("C:file.txt"));
}

}  // namespace
}  // namespace veltrane
