// Reading the Windows 11 menu's selection: shell items to exact UTF-8 paths, and names
// without an exact form refused rather than approximated.

#include <gtest/gtest.h>

#include "MenuTestSupport.h"
#include "shellext/ShellItemPaths.h"

namespace {

TEST(WideToUtf8, GivesTheExactBytesOfEveryPlane) {
    std::string out = "old";
    ASSERT_TRUE(veltrane::WideToUtf8(L"a\u0101\u6587\U0001F512", out));
    EXPECT_EQ("a\xC4\x81\xE6\x96\x87\xF0\x9F\x94\x92", out);
    ASSERT_TRUE(veltrane::WideToUtf8(L"", out));
    EXPECT_EQ("", out);
}

TEST(WideToUtf8, RefusesUnpairedSurrogates) {
    for (const wchar_t* text : {L"x\xD800.txt", L"\xDC00", L"ab\xD83D"}) {
        std::string out = "old";
        EXPECT_FALSE(veltrane::WideToUtf8(text, out));
        EXPECT_EQ("", out) << "nothing approximated";
    }
}

TEST(ShellItemPaths, ReadsRealItemsInOrderAsUtf8) {
    menutest::TempDir dir;
    const std::wstring folder = menutest::Widen(dir / "");
    const std::vector<std::wstring> paths = {folder + L"\u0416\u0443\u043a.bin",
                                             folder + L"plain.txt", folder + L"\U0001F512 x.doc"};
    for (const std::wstring& path : paths) ASSERT_TRUE(menutest::WriteTextW(path, "x"));

    const auto items = menutest::ShellItems(paths);
    ASSERT_TRUE(items);
    const std::vector<std::string> read = veltrane::ShellItemPaths(items.Get());
    ASSERT_EQ(3u, read.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(menutest::Narrow(paths[i]), read[i]) << i;
    }
    EXPECT_TRUE(veltrane::ShellItemPaths(nullptr).empty());
}

TEST(ShellItemPaths, AnItemWithoutAFileSystemPathIsAnEmptyEntry) {
    menutest::TempDir dir;
    const std::wstring file = menutest::Widen(dir / "one.txt");
    ASSERT_TRUE(menutest::WriteTextW(file, "x"));
    veltrane::UniqueCoTaskMem<ITEMIDLIST> computer;  // "My Computer" is no file
    ASSERT_EQ(S_OK, ::SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, computer.put()));
    veltrane::UniqueCoTaskMem<ITEMIDLIST> real;
    ASSERT_EQ(S_OK, ::SHParseDisplayName(file.c_str(), nullptr, real.put(), 0, nullptr));
    PCIDLIST_ABSOLUTE lists[] = {computer.get(), real.get()};
    veltrane::ComPtr<IShellItemArray> items;
    ASSERT_EQ(S_OK, ::SHCreateShellItemArrayFromIDLists(2, lists, items.Put()));

    const std::vector<std::string> read = veltrane::ShellItemPaths(items.Get());
    ASSERT_EQ(2u, read.size());
    EXPECT_EQ("", read[0]);
    EXPECT_EQ(menutest::Narrow(file), read[1]);
}

}  // namespace
