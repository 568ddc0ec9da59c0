#include "shellext/CommandTable.h"

#include <algorithm>
#include <cstring>

#include "wipe/Paths.h"
#include "wipe/WipeMethod.h"

namespace veltrane {

namespace {

// A wipe command's words come from its method's row.
constexpr MenuCommand WipeCommand(std::uint32_t method) {
    const WipeMethodInfo& row = MethodInfo(method);
    return MenuCommand{row.menuCaption, row.key, row.menuHelp, CommandAction::Wipe, method};
}

// A free-space command: the method's caption, its own verb and help text.
constexpr MenuCommand FreeSpaceCommand(std::uint32_t method, const char* verb,
                                       const char* helpText) {
    return MenuCommand{MethodInfo(method).menuCaption, verb, helpText, CommandAction::WipeFreeSpace,
                       method};
}

constexpr MenuCommand RecycleBinCommand(std::uint32_t method, const char* verb,
                                        const char* helpText) {
    return MenuCommand{MethodInfo(method).menuCaption, verb, helpText,
                       CommandAction::WipeRecycleBin, method};
}

}  // namespace

const std::array<MenuCommand, 8> kRecycleBinCommands = {{
    RecycleBinCommand(Random, "RecycleBinRandom",
                      "Wipe everything in the Recycle Bin with random data."),
    RecycleBinCommand(Random2, "RecycleBinRandom2",
                      "Wipe the Recycle Bin with 2 passes of random data."),
    RecycleBinCommand(DoDQuick, "RecycleBinDoDQuick",
                      "Wipe the Recycle Bin with DoD quick method."),
    RecycleBinCommand(DoD, "RecycleBinDoD", "Wipe the Recycle Bin with DoD standard method."),
    RecycleBinCommand(NATO, "RecycleBinNATO", "Wipe the Recycle Bin with NATO method."),
    RecycleBinCommand(Gutmann, "RecycleBinGutmann",
                      "Wipe the Recycle Bin 35 times using Gutmann algorithm."),
    {"Help", "Help", "Help", CommandAction::Help, 0},
    {"About", "About", "About Veltrane", CommandAction::About, 0},
}};

const std::array<MenuCommand, 8> kFreeSpaceCommands = {{
    FreeSpaceCommand(Random, "FreeSpaceRandom",
                     "Overwrite the drive's free space with random data."),
    FreeSpaceCommand(Random2, "FreeSpaceRandom2",
                     "Overwrite the drive's free space with 2 passes of random data."),
    FreeSpaceCommand(DoDQuick, "FreeSpaceDoDQuick",
                     "Overwrite the drive's free space with DoD quick method."),
    FreeSpaceCommand(DoD, "FreeSpaceDoD",
                     "Overwrite the drive's free space with DoD standard method."),
    FreeSpaceCommand(NATO, "FreeSpaceNATO", "Overwrite the drive's free space with NATO method."),
    FreeSpaceCommand(Gutmann, "FreeSpaceGutmann",
                     "Overwrite the free space 35 times using Gutmann algorithm."),
    {"Help", "Help", "Help", CommandAction::Help, 0},
    {"About", "About", "About Veltrane", CommandAction::About, 0},
}};

const std::array<MenuCommand, 8> kMenuCommands = {{
    WipeCommand(Random),
    WipeCommand(Random2),
    WipeCommand(DoDQuick),
    WipeCommand(DoD),
    WipeCommand(NATO),
    WipeCommand(Gutmann),
    {"Help", "Help", "Help", CommandAction::Help, 0},
    {"About", "About", "About Veltrane", CommandAction::About, 0},
}};

MenuKind MenuKindForSelection(const std::vector<std::string>& selection) {
    if (selection.empty()) return MenuKind::Files;
    for (const std::string& path : selection) {
        // A share's root is no drive of this machine: its free space is the server's.
        const PathKind kind = ClassifyPath(path);
        const bool drive = kind == PathKind::DriveAbsolute || kind == PathKind::DriveRelative;
        if (!drive || !IsVolumeRoot(path)) return MenuKind::Files;
    }
    return MenuKind::Drives;
}

std::string ExplorerTitle(const MenuCommand& command) {
    switch (command.action) {
        case CommandAction::WipeFreeSpace:
            return std::string(kFreeSpaceSubmenuCaption) + ": " + command.caption;
        case CommandAction::WipeRecycleBin:
            return std::string(kRecycleBinSubmenuCaption) + ": " + command.caption;
        default:
            return command.caption;
    }
}

const char* MethodsSubmenuCaption(MenuKind menu) {
    switch (menu) {
        case MenuKind::Drives:
            return kFreeSpaceSubmenuCaption;
        case MenuKind::RecycleBin:
            return kRecycleBinSubmenuCaption;
        case MenuKind::Files:
            break;
    }
    return nullptr;
}

const std::array<MenuCommand, 8>& MenuCommands(MenuKind menu) {
    switch (menu) {
        case MenuKind::Drives:
            return kFreeSpaceCommands;
        case MenuKind::RecycleBin:
            return kRecycleBinCommands;
        case MenuKind::Files:
            break;
    }
    return kMenuCommands;
}

const MenuCommand& CommandForOffset(std::uint32_t offset, MenuKind menu) {
    const std::array<MenuCommand, 8>& table = MenuCommands(menu);
    return offset < table.size() ? table[offset] : table[kHelpOffset];
}

const char* CommandText(std::uint32_t offset, CommandTextKind kind, MenuKind menu) {
    const std::array<MenuCommand, 8>& table = MenuCommands(menu);
    if (offset >= table.size()) return kUnknownCommandText;
    const MenuCommand& command = table[offset];
    return kind == CommandTextKind::Verb ? command.verb : command.helpText;
}

void CopyCommandText(char* dest, std::size_t cchMax, const char* text) {
    if (cchMax == 0) return;
    const std::size_t length = std::min(std::strlen(text), cchMax - 1);
    std::memcpy(dest, text, length);
    std::memset(dest + length, 0, cchMax - length);
}

}  // namespace veltrane
