// The submenu, its verbs and help texts, and reading the selection, on an extension object
// made in this process (with the DLL's resources linked in).

#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "MenuTestSupport.h"
#include "shellext/CShellExt.h"

namespace {

std::string MenuText(HMENU menu, UINT position) {
    char text[256] = {};
    ::GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

class ShellExtTest : public testing::Test {
protected:
    ShellExtTest() : m_ext(new CShellExt) { m_ext->AddRef(); }
    ~ShellExtTest() override { Destroy(); }
    void Destroy() {
        if (m_ext) m_ext->Release();
        m_ext = nullptr;
    }
    std::string Text(UINT_PTR id, UINT type, UINT cchMax = 64) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(S_OK, m_ext->GetCommandString(id, type, nullptr, buffer, cchMax));
        return std::string(buffer, sizeof buffer);
    }
    CShellExt* m_ext;
};

TEST_F(ShellExtTest, MenuIsBuiltOnlyForTheFlagsThatAskForIt) {
    const struct {
        UINT flags, idCmdLast;
        HRESULT result;
    } cases[] = {{0x0, 0x7FFF, 8},
                 {0x4, 0x7FFF, 8},
                 {0x5, 0x7FFF, 8},
                 {0xC, 0x7FFF, 8},
                 {0x10, 0x7FFF, 8},
                 {0x100, 0x7FFF, 8},
                 {0x1, 0x7FFF, 0},
                 {0x2, 0x7FFF, 0},
                 {0x6, 0x7FFF, 0},
                 {0x8, 0x7FFF, 0},
                 {0x0, 107, 8},
                 // Identifiers past idCmdLast belong to the next handler in the shell's menu.
                 {0x0, 106, 0},
                 {0x0, 99, 0}};
    for (const auto& c : cases) {
        veltrane::UniqueMenu menu(::CreatePopupMenu());
        EXPECT_EQ(c.result, m_ext->QueryContextMenu(menu.get(), 0, 100, c.idCmdLast, c.flags))
            << c.flags << "/" << c.idCmdLast;
        EXPECT_EQ(c.result ? 1 : 0, ::GetMenuItemCount(menu.get())) << c.flags;
    }
}

TEST_F(ShellExtTest, TheClassicEntryStaysWhereNoPackageServesTheUser) {
    // Setup recorded a package family that is not registered for this user (Wine registers
    // none): the classic entry is this user's only one and stays.
    const wchar_t family[] = L"Veltrane_0000000000000";
    ASSERT_EQ(ERROR_SUCCESS,
              ::RegSetKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Veltrane", L"PackageFamilyName",
                                REG_SZ, family, sizeof family));
    veltrane::UniqueMenu menu(::CreatePopupMenu());
    EXPECT_EQ(8, m_ext->QueryContextMenu(menu.get(), 0, 100, 0x7FFF, CMF_NORMAL));
    ::RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, L"Software\\Veltrane", L"PackageFamilyName");
}

TEST_F(ShellExtTest, PopupAtIndexMenuHoldsTheCommandsInOrderWithOneBitmapForBothStates) {
    veltrane::UniqueMenu menu(::CreatePopupMenu());
    for (const char* name : {"Open", "Edit", "Print"}) ::AppendMenuA(menu.get(), 0, 1, name);
    ASSERT_EQ(8, m_ext->QueryContextMenu(menu.get(), 2, 100, 0x7FFF, CMF_NORMAL));
    EXPECT_EQ("Print", MenuText(menu.get(), 3));

    MENUITEMINFOA entry = {};
    entry.cbSize = sizeof entry;
    entry.fMask = MIIM_SUBMENU | MIIM_CHECKMARKS;
    ASSERT_TRUE(::GetMenuItemInfoA(menu.get(), 2, TRUE, &entry));
    EXPECT_EQ("Veltrane", MenuText(menu.get(), 2));
    ASSERT_NE(nullptr, m_ext->MenuBitmap());
    EXPECT_EQ(m_ext->MenuBitmap(), entry.hbmpChecked);
    EXPECT_EQ(m_ext->MenuBitmap(), entry.hbmpUnchecked);

    const std::pair<UINT, const char*> expected[] = {{100, "Random Data (Recommended)\t(1 pass)"},
                                                     {101, "Random Data \t(2 passes)"},
                                                     {102, "DoD Quick \t(3 passes)"},
                                                     {103, "DoD Standard \t(7 passes)"},
                                                     {104, "NATO Standard \t(7 passes)"},
                                                     {105, "Gutmann \t(35 passes)"},
                                                     {0, nullptr},
                                                     {106, "Help"},
                                                     {107, "About"}};
    ASSERT_EQ(9, ::GetMenuItemCount(entry.hSubMenu));
    for (UINT i = 0; i < 9; ++i) {
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_FTYPE;
        ::GetMenuItemInfoA(entry.hSubMenu, i, TRUE, &item);
        EXPECT_EQ(expected[i].first, item.wID) << i;
        EXPECT_EQ(!expected[i].second, (item.fType & MFT_SEPARATOR) != 0) << i;
        if (expected[i].second) {
            EXPECT_EQ(expected[i].second, MenuText(entry.hSubMenu, i)) << i;
        }
    }
}

TEST_F(ShellExtTest, VerbsAndHelpTextsOfEveryOffset) {
    const struct {
        UINT_PTR id;
        const char *verb, *help;
    } cases[] = {{0, "Random", "Overwrite the file with random data and delete."},
                 {1, "Random2", "Overwrite with 2 passes of random data and delete."},
                 {2, "DoDQuick", "Overwrite with DoD quick method."},
                 {3, "DoD", "Overwrite with DoD standard method."},
                 {4, "NATO", "Overwrite with NATO method."},
                 {5, "Gutmann", "Overwrite 35 times using Gutmann algorithm."},
                 {6, "Help", "Help"},
                 {7, "About", "About Veltrane"},
                 {8, "Veltrane", "Veltrane"},
                 {0x10007, "Veltrane", "Veltrane"},
                 {~UINT_PTR{0}, "Veltrane", "Veltrane"}};
    for (const auto& c : cases) {
        EXPECT_STREQ(c.verb, Text(c.id, GCS_VERBA).c_str()) << c.id;
        EXPECT_STREQ(c.help, Text(c.id, GCS_HELPTEXTA).c_str()) << c.id;
    }
}

// A drive gets the free-space commands at the file commands' offsets, in a popup of their
// own; a drive among files keeps the file menu, whose wipe refuses it.
TEST_F(ShellExtTest, ADriveGetsOnlyTheFreeSpaceCommandsWithTheirOwnVerbsAndHelp) {
    ASSERT_EQ(S_OK, m_ext->Initialize(nullptr, menutest::ShellDataObject({"C:\\"}).Get(), nullptr));
    veltrane::UniqueMenu menu(::CreatePopupMenu());
    ASSERT_EQ(8, m_ext->QueryContextMenu(menu.get(), 0, 100, 0x7FFF, CMF_NORMAL));
    const HMENU veltrane = ::GetSubMenu(menu.get(), 0);
    ASSERT_NE(nullptr, veltrane);
    ASSERT_EQ(4, ::GetMenuItemCount(veltrane));
    EXPECT_EQ("Wipe Free Space", MenuText(veltrane, 0));
    EXPECT_EQ(106u, ::GetMenuItemID(veltrane, 2));
    EXPECT_EQ(107u, ::GetMenuItemID(veltrane, 3));
    const HMENU methods = ::GetSubMenu(veltrane, 0);
    ASSERT_NE(nullptr, methods);
    ASSERT_EQ(6, ::GetMenuItemCount(methods));
    EXPECT_EQ("Random Data (Recommended)\t(1 pass)", MenuText(methods, 0));
    EXPECT_EQ("Gutmann \t(35 passes)", MenuText(methods, 5));
    for (UINT i = 0; i < 6; ++i) EXPECT_EQ(100 + i, ::GetMenuItemID(methods, i)) << i;

    const struct {
        UINT_PTR id;
        const char *verb, *help;
    } cases[] = {
        {0, "FreeSpaceRandom", "Overwrite the drive's free space with random data."},
        {3, "FreeSpaceDoD", "Overwrite the drive's free space with DoD standard method."},
        {5, "FreeSpaceGutmann", "Overwrite the free space 35 times using Gutmann algorithm."},
        {6, "Help", "Help"},
        {8, "Veltrane", "Veltrane"}};
    for (const auto& c : cases) {
        EXPECT_STREQ(c.verb, Text(c.id, GCS_VERBA).c_str()) << c.id;
        EXPECT_STREQ(c.help, Text(c.id, GCS_HELPTEXTA).c_str()) << c.id;
    }

    menutest::TempDir dir;
    const auto paths = menutest::MakeTree(dir, {"a.txt"});
    ASSERT_EQ(S_OK, m_ext->Initialize(nullptr, menutest::ShellDataObject({"C:\\", paths[0]}).Get(),
                                      nullptr));
    EXPECT_STREQ("Random", Text(0, GCS_VERBA).c_str());
}

TEST_F(ShellExtTest, TextsNeverOverrunTheBufferAndOtherTypesLeaveItUntouched) {
    for (UINT type : std::initializer_list<UINT>{GCS_VALIDATEA, GCS_VERBW, GCS_HELPTEXTW, 6}) {
        EXPECT_EQ(std::string(64, '#'), Text(0, type)) << type;
    }
    // Cut one byte short and terminated; the rest of cchMax zero-filled; the canary after it.
    EXPECT_EQ(std::string("Rand\0", 5) + std::string(59, '#'), Text(0, GCS_VERBA, 5));
    EXPECT_EQ(std::string("Do\0", 3) + std::string(61, '#'), Text(3, GCS_VERBA, 3));
    EXPECT_EQ(std::string("DoD\0\0\0", 6) + std::string(58, '#'), Text(3, GCS_VERBA, 6));
    EXPECT_EQ(std::string(1, '\0') + std::string(63, '#'), Text(7, GCS_HELPTEXTA, 1));
    EXPECT_EQ(std::string(64, '#'), Text(7, GCS_HELPTEXTA, 0));
    EXPECT_EQ(E_INVALIDARG, m_ext->GetCommandString(0, GCS_VERBA, nullptr, nullptr, 16));
}

TEST_F(ShellExtTest, ShellDataObjectGivesEveryPathInItsOrder) {
    menutest::TempDir dir;
    const auto paths = menutest::MakeTree(dir, {"c.txt", "a.txt", "b\\"});
    ASSERT_EQ(S_OK, m_ext->Initialize(nullptr, menutest::ShellDataObject(paths).Get(), nullptr));
    ASSERT_EQ(3u, m_ext->Selection().size());
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(0, ::lstrcmpiA(paths[i].c_str(), m_ext->Selection()[i].c_str())) << i;
    }
}

TEST_F(ShellExtTest, DataObjectWithoutFileListFailsAndEmptiesTheSelection) {
    menutest::CountingDataObject files(std::vector<std::string>{"C:\\a.txt"}), none;
    ASSERT_EQ(S_OK, m_ext->Initialize(nullptr, &files, nullptr));
    EXPECT_EQ(E_FAIL, m_ext->Initialize(nullptr, &none, nullptr));
    EXPECT_TRUE(m_ext->Selection().empty());
    EXPECT_EQ(1u, files.refs);
    Destroy();
    EXPECT_EQ(1u, none.refs);
}

TEST_F(ShellExtTest, LongNamesArriveWholeNeverCut) {
    const std::string longest = "C:\\" + std::string(252, 'n') + ".txt";  // 259 characters
    const std::string longer = "C:\\" + std::string(300, 'n') + ".txt";
    menutest::CountingDataObject data(
        std::vector<std::string>{"C:\\first", longer, longest, "C:\\last"});
    ASSERT_EQ(S_OK, m_ext->Initialize(nullptr, &data, nullptr));
    EXPECT_EQ((std::vector<std::string>{"C:\\first", longer, longest, "C:\\last"}),
              m_ext->Selection());
    Destroy();
}

}  // namespace
