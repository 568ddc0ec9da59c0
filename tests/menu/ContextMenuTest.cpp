// The submenu, its verbs and help texts, and reading the selection, on an extension object
// made in this process.

#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "MenuTestSupport.h"
#include "shellext/CShellExt.h"

namespace {

constexpr UINT kFirst = 100;
constexpr UINT kLast = 0x7FFF;

struct ExpectedItem {
    UINT id;
    const char* caption;  // null for the separator
};

// The submenu as the user must see it, top to bottom.
const ExpectedItem kExpectedItems[] = {
    {100, "Random Data (Recommended)\t(1 pass)"},
    {101, "Random Data \t(2 passes)"},
    {102, "DoD Quick \t(3 passes)"},
    {103, "DoD Standard \t(7 passes)"},
    {104, "NATO Standard \t(7 passes)"},
    {105, "Gutmann \t(35 passes)"},
    {0, nullptr},
    {106, "Help"},
    {107, "About"},
};

std::string MenuText(HMENU menu, UINT position) {
    char text[256] = {};
    ::GetMenuStringA(menu, position, text, sizeof text, MF_BYPOSITION);
    return text;
}

class ShellExtTest : public testing::Test {
protected:
    void SetUp() override {
        m_ext = new CShellExt;
        m_ext->AddRef();
        m_menu = ::CreatePopupMenu();
    }
    void TearDown() override {
        ::DestroyMenu(m_menu);
        if (m_ext) m_ext->Release();
    }

    HRESULT Query(UINT flags, UINT index = 0) {
        return m_ext->QueryContextMenu(m_menu, index, kFirst, kLast, flags);
    }

    std::string Text(UINT_PTR id, UINT type) {
        char buffer[128];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(S_OK, m_ext->GetCommandString(id, type, nullptr, buffer, sizeof buffer));
        return buffer;
    }

    CShellExt* m_ext = nullptr;
    HMENU m_menu = nullptr;
};

// --- QueryContextMenu -------------------------------------------------------------------

TEST_F(ShellExtTest, FlagsThatAskForTheMenuBuildItAndReturnEight) {
    for (UINT flags : {0x0u, 0x4u, 0x5u, 0xCu, 0x10u, 0x100u}) {
        HMENU menu = ::CreatePopupMenu();
        EXPECT_EQ(8, m_ext->QueryContextMenu(menu, 0, kFirst, kLast, flags)) << flags;
        EXPECT_EQ(1, ::GetMenuItemCount(menu)) << flags;
        EXPECT_EQ("Veltrane", MenuText(menu, 0)) << flags;
        ::DestroyMenu(menu);
    }
}

TEST_F(ShellExtTest, DefaultOnlyVerbsOnlyAndNoVerbsAddNothing) {
    for (UINT flags : {0x1u, 0x2u, 0x6u, 0x8u, 0x9u, 0xEu}) {
        HMENU menu = ::CreatePopupMenu();
        EXPECT_EQ(0, m_ext->QueryContextMenu(menu, 0, kFirst, kLast, flags)) << flags;
        EXPECT_EQ(0, ::GetMenuItemCount(menu)) << flags;
        ::DestroyMenu(menu);
    }
}

TEST_F(ShellExtTest, SubmenuHoldsTheEightCommandsAndTheSeparatorInOrder) {
    ASSERT_EQ(8, Query(0));
    MENUITEMINFOA entry = {};
    entry.cbSize = sizeof entry;
    entry.fMask = MIIM_SUBMENU | MIIM_FTYPE;
    ASSERT_TRUE(::GetMenuItemInfoA(m_menu, 0, TRUE, &entry));
    ASSERT_NE(nullptr, entry.hSubMenu);

    const HMENU popup = entry.hSubMenu;
    ASSERT_EQ(static_cast<int>(std::size(kExpectedItems)), ::GetMenuItemCount(popup));
    for (UINT position = 0; position < std::size(kExpectedItems); ++position) {
        const ExpectedItem& expected = kExpectedItems[position];
        MENUITEMINFOA item = {};
        item.cbSize = sizeof item;
        item.fMask = MIIM_ID | MIIM_FTYPE;
        ASSERT_TRUE(::GetMenuItemInfoA(popup, position, TRUE, &item));
        EXPECT_EQ(expected.id, item.wID) << position;
        if (expected.caption) {
            EXPECT_EQ(0u, item.fType & MFT_SEPARATOR) << position;
            EXPECT_EQ(expected.caption, MenuText(popup, position)) << position;
        } else {
            EXPECT_NE(0u, item.fType & MFT_SEPARATOR) << position;
        }
    }
}

TEST_F(ShellExtTest, PopupLandsAtIndexMenuWithItsBitmapForBothStates) {
    for (const char* name : {"Open", "Edit", "Print"}) ::AppendMenuA(m_menu, MF_STRING, 1, name);
    ASSERT_EQ(8, Query(0, 2));
    ASSERT_EQ(4, ::GetMenuItemCount(m_menu));
    EXPECT_EQ("Open", MenuText(m_menu, 0));
    EXPECT_EQ("Edit", MenuText(m_menu, 1));
    EXPECT_EQ("Veltrane", MenuText(m_menu, 2));
    EXPECT_EQ("Print", MenuText(m_menu, 3));
    EXPECT_NE(nullptr, ::GetSubMenu(m_menu, 2));

    MENUITEMINFOA entry = {};
    entry.cbSize = sizeof entry;
    entry.fMask = MIIM_CHECKMARKS;
    ASSERT_TRUE(::GetMenuItemInfoA(m_menu, 2, TRUE, &entry));
    ASSERT_NE(nullptr, m_ext->MenuBitmap());
    EXPECT_EQ(m_ext->MenuBitmap(), entry.hbmpChecked);
    EXPECT_EQ(m_ext->MenuBitmap(), entry.hbmpUnchecked);
}

TEST_F(ShellExtTest, IdentifierRangeTooSmallForEightCommandsAddsNothing) {
    // Identifiers past idCmdLast belong to the next handler in the shell's menu.
    EXPECT_EQ(0, m_ext->QueryContextMenu(m_menu, 0, kFirst, kFirst + 6, 0));
    EXPECT_EQ(0, m_ext->QueryContextMenu(m_menu, 0, kFirst, kFirst - 1, 0));
    EXPECT_EQ(0, ::GetMenuItemCount(m_menu));
    EXPECT_EQ(8, m_ext->QueryContextMenu(m_menu, 0, kFirst, kFirst + 7, 0));
}

// --- GetCommandString -------------------------------------------------------------------

TEST_F(ShellExtTest, VerbsAndHelpTextsOfEveryOffset) {
    struct Expected {
        UINT_PTR id;
        const char* verb;
        const char* help;
    };
    const Expected expected[] = {
        {0, "Random", "Overwrite the file with random data and delete."},
        {1, "Random2", "Overwrite with 2 passes of random data and delete."},
        {2, "DoDQuick", "Overwrite with DoD quick method."},
        {3, "DoD", "Overwrite with DoD standard method."},
        {4, "NATO", "Overwrite with NATO method."},
        {5, "Gutmann", "Overwrite 35 times using Gutmann algorithm."},
        {6, "Help", "Help"},
        {7, "About", "About Veltrane"},
        {8, "Veltrane", "Veltrane"},
        {9, "Veltrane", "Veltrane"},
        {0xFFFFFFFFu, "Veltrane", "Veltrane"},
        {~UINT_PTR{0}, "Veltrane", "Veltrane"},
    };
    for (const Expected& e : expected) {
        EXPECT_EQ(e.verb, Text(e.id, GCS_VERBA)) << e.id;
        EXPECT_EQ(e.help, Text(e.id, GCS_HELPTEXTA)) << e.id;
    }
}

TEST_F(ShellExtTest, UnsupportedTextTypesLeaveTheBufferUntouched) {
    for (UINT type :
         std::initializer_list<UINT>{GCS_VALIDATEA, GCS_VERBW, GCS_HELPTEXTW, GCS_VALIDATEW, 7}) {
        char buffer[32];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(S_OK, m_ext->GetCommandString(0, type, nullptr, buffer, sizeof buffer)) << type;
        EXPECT_EQ(std::string(sizeof buffer, '#'), std::string(buffer, sizeof buffer)) << type;
    }
}

TEST_F(ShellExtTest, ShortBuffersAreCutTerminatedAndNeverOverrun) {
    struct Case {
        UINT_PTR id;
        UINT type;
        UINT cchMax;
        std::string written;  // exactly the cchMax bytes expected
    };
    const Case cases[] = {
        {0, GCS_VERBA, 5, std::string("Rand\0", 5)},
        {0, GCS_HELPTEXTA, 10, std::string("Overwrite\0", 10)},
        {3, GCS_VERBA, 3, std::string("Do\0", 3)},           // text exactly as long as the buffer
        {3, GCS_VERBA, 4, std::string("DoD\0", 4)},          // just fits
        {3, GCS_VERBA, 8, std::string("DoD\0\0\0\0\0", 8)},  // the rest zero-filled
        {7, GCS_HELPTEXTA, 1, std::string("\0", 1)},
        {9, GCS_VERBA, 2, std::string("V\0", 2)},
    };
    for (const Case& c : cases) {
        char buffer[64];
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(S_OK, m_ext->GetCommandString(c.id, c.type, nullptr, buffer, c.cchMax));
        EXPECT_EQ(c.written, std::string(buffer, c.cchMax)) << c.id << "/" << c.cchMax;
        EXPECT_EQ(std::string(sizeof buffer - c.cchMax, '#'),
                  std::string(buffer + c.cchMax, sizeof buffer - c.cchMax))
            << "canary overwritten for " << c.id << "/" << c.cchMax;
    }

    char canary = '#';
    EXPECT_EQ(S_OK, m_ext->GetCommandString(0, GCS_VERBA, nullptr, &canary, 0));
    EXPECT_EQ('#', canary);
    EXPECT_EQ(E_INVALIDARG, m_ext->GetCommandString(0, GCS_VERBA, nullptr, nullptr, 16));
}

// --- Initialize and the selection -------------------------------------------------------

TEST_F(ShellExtTest, ShellDataObjectGivesEveryPathInTheShellsOrder) {
    menutest::TempDir dir;
    menutest::WriteText(dir / "c.txt", "c");
    menutest::WriteText(dir / "a.txt", "a");
    menutest::MakeFolder(dir / "b");
    const std::vector<std::string> paths = {dir / "c.txt", dir / "a.txt", dir / "b"};
    auto data = menutest::ShellDataObject(paths);
    ASSERT_TRUE(data);

    ASSERT_EQ(S_OK, m_ext->Initialize(nullptr, data.Get(), nullptr));
    ASSERT_EQ(paths.size(), m_ext->Selection().size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        EXPECT_EQ(0, ::lstrcmpiA(paths[i].c_str(), m_ext->Selection()[i].c_str()))
            << paths[i] << " vs " << m_ext->Selection()[i];
    }
}

TEST_F(ShellExtTest, SecondInitializeWithNullReleasesTheFirstOnceAndKeepsTheSelection) {
    menutest::TempDir dir;
    menutest::WriteText(dir / "one.txt", "1");
    menutest::WriteText(dir / "two.txt", "2");
    auto shell = menutest::ShellDataObject({dir / "one.txt", dir / "two.txt"});
    ASSERT_TRUE(shell);
    menutest::CountingDataObject* proxy = menutest::CountingDataObject::Forwarding(shell.Get());

    ASSERT_EQ(S_OK, m_ext->Initialize(nullptr, proxy, nullptr));
    EXPECT_EQ(2u, proxy->References());  // ours and the extension's
    EXPECT_EQ(1, proxy->GetDataCalls());
    const std::vector<std::string> first = m_ext->Selection();
    ASSERT_EQ(2u, first.size());

    EXPECT_EQ(E_FAIL, m_ext->Initialize(nullptr, nullptr, nullptr));
    EXPECT_EQ(1, proxy->ReleaseCalls());
    EXPECT_EQ(1u, proxy->References());
    EXPECT_EQ(first, m_ext->Selection());

    m_ext->Release();  // destroying the object releases nothing further
    m_ext = nullptr;
    EXPECT_EQ(1, proxy->ReleaseCalls());
    proxy->Release();
}

TEST_F(ShellExtTest, DestroyingTheObjectReleasesItsDataObjectOnce) {
    auto* proxy = menutest::CountingDataObject::WithDropList({"C:\\x.txt"});
    ASSERT_EQ(S_OK, m_ext->Initialize(nullptr, proxy, nullptr));
    m_ext->Release();
    m_ext = nullptr;
    EXPECT_EQ(1, proxy->ReleaseCalls());
    EXPECT_EQ(1u, proxy->References());
    proxy->Release();
}

TEST_F(ShellExtTest, DataObjectWithoutFileListFailsWithEmptySelection) {
    auto* files = menutest::CountingDataObject::WithDropList({"C:\\a.txt"});
    ASSERT_EQ(S_OK, m_ext->Initialize(nullptr, files, nullptr));
    ASSERT_EQ(1u, m_ext->Selection().size());

    auto* none = menutest::CountingDataObject::WithoutFiles();
    EXPECT_EQ(E_FAIL, m_ext->Initialize(nullptr, none, nullptr));
    EXPECT_TRUE(m_ext->Selection().empty());
    EXPECT_EQ(1, files->ReleaseCalls());  // the earlier data object was let go
    files->Release();
    m_ext->Release();
    m_ext = nullptr;
    EXPECT_EQ(1u, none->References());
    none->Release();
}

TEST_F(ShellExtTest, DropListNamesKeepTheirPlacesAndOverlongOnesStayEmpty) {
    const std::string longest = "C:\\" + std::string(252, 'n') + ".txt";  // 259 characters
    const std::string tooLong = "C:\\" + std::string(300, 'n') + ".txt";
    ASSERT_EQ(259u, longest.size());
    auto* data =
        menutest::CountingDataObject::WithDropList({"C:\\first.txt", tooLong, longest, "C:\\last"});
    ASSERT_EQ(S_OK, m_ext->Initialize(nullptr, data, nullptr));
    // A cut name could be another file's, so it is not taken.
    const std::vector<std::string> expected = {"C:\\first.txt", "", longest, "C:\\last"};
    EXPECT_EQ(expected, m_ext->Selection());
    data->Release();

    // A list without names (the platform may still count one empty name in it).
    auto* empty = menutest::CountingDataObject::WithDropList({});
    EXPECT_EQ(S_OK, m_ext->Initialize(nullptr, empty, nullptr));
    for (const std::string& name : m_ext->Selection()) EXPECT_EQ("", name);
    empty->Release();
}

}  // namespace
