#include "shellext/CommandTable.h"

#include <algorithm>
#include <cstring>

#include "wipe/WipeMethod.h"

namespace veltrane {

namespace {

// A wipe command's words come from its method's row.
constexpr MenuCommand WipeCommand(std::uint32_t method) {
    const WipeMethodInfo& row = MethodInfo(method);
    return MenuCommand{row.menuCaption, row.key, row.menuHelp, CommandAction::Wipe, method};
}

}  // namespace

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

const MenuCommand& CommandForOffset(std::uint32_t offset) {
    return offset < kMenuCommands.size() ? kMenuCommands[offset] : kMenuCommands[kHelpOffset];
}

const char* CommandText(std::uint32_t offset, CommandTextKind kind) {
    if (offset >= kMenuCommands.size()) return kUnknownCommandText;
    const MenuCommand& command = kMenuCommands[offset];
    return kind == CommandTextKind::Verb ? command.verb : command.helpText;
}

void CopyCommandText(char* dest, std::size_t cchMax, const char* text) {
    if (cchMax == 0) return;
    const std::size_t length = std::min(std::strlen(text), cchMax - 1);
    std::memcpy(dest, text, length);
    std::memset(dest + length, 0, cchMax - length);
}

}  // namespace veltrane
