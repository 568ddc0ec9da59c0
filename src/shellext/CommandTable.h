#pragma once
// The context submenu's whole vocabulary as data: captions, verbs, help texts and what each
// command does. Free of windows.h so it can be checked anywhere.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veltrane {

enum class CommandAction : std::uint8_t { Wipe, Help, About, WipeFreeSpace, WipeRecycleBin };

// Which menu a selection gets: files and folders, drives only (their free space), or the
// Recycle Bin itself (everything in it).
enum class MenuKind : std::uint8_t { Files, Drives, RecycleBin };

struct MenuCommand {
    const char* caption;
    const char* verb;
    const char* helpText;
    CommandAction action;
    std::uint32_t method;  // WipeMethod bit for CommandAction::Wipe, 0 otherwise
};

// Indexed by the offset from the first command identifier the shell hands out.
extern const std::array<MenuCommand, 8> kMenuCommands;
// The drives' menu, at the same offsets: the six methods over the free space, in the
// file menu's order and with its captions, under kFreeSpaceSubmenuCaption; Help, About.
extern const std::array<MenuCommand, 8> kFreeSpaceCommands;

inline constexpr const char* kFreeSpaceSubmenuCaption = "Wipe Free Space";

// The Recycle Bin's menu, likewise: the six methods over everything in the bin, under
// kRecycleBinSubmenuCaption; Help, About.
extern const std::array<MenuCommand, 8> kRecycleBinCommands;

inline constexpr const char* kRecycleBinSubmenuCaption = "Wipe Recycle Bin";

// The caption of the popup that holds a menu's methods; null where they stand in the
// "Veltrane" popup itself (the file menu).
const char* MethodsSubmenuCaption(MenuKind menu);

inline constexpr const char* kSubmenuCaption = "Veltrane";
// Verb and help text of any offset beyond the table.
inline constexpr const char* kUnknownCommandText = "Veltrane";
// "Help": also what every offset beyond the table runs. The separator sits in front of it.
inline constexpr std::uint32_t kHelpOffset = 6;

enum class CommandTextKind : std::uint8_t { Verb, HelpText };

// Drives when every selected path is a drive letter's root (and there is one), Files
// otherwise: a mixed selection, or a share's root, keeps the file menu, whose wipe refuses
// the roots.
MenuKind MenuKindForSelection(const std::vector<std::string>& selection);

// The title a command has in the Windows 11 menu, which has no room for a nested popup of
// the drives' commands: those say "Wipe Free Space: " before the method, and the Recycle
// Bin's "Wipe Recycle Bin: ".
std::string ExplorerTitle(const MenuCommand& command);

// The table of a menu kind.
const std::array<MenuCommand, 8>& MenuCommands(MenuKind menu);

// The command at offset, or the Help command for any offset beyond the table.
const MenuCommand& CommandForOffset(std::uint32_t offset, MenuKind menu = MenuKind::Files);

// Verb or help text of offset; kUnknownCommandText beyond the table.
const char* CommandText(std::uint32_t offset, CommandTextKind kind,
                        MenuKind menu = MenuKind::Files);

// Copies text into dest of cchMax bytes, never writing more than cchMax bytes and always
// leaving a terminated string: a text that does not fit is cut one byte short. The rest of
// the buffer is zero-filled like strncpy. cchMax 0 writes nothing.
void CopyCommandText(char* dest, std::size_t cchMax, const char* text);

}  // namespace veltrane
