#include "shellext/CommandTable.h"

#include <algorithm>
#include <cstring>

#include "wipe/WipeMethod.h"

namespace veltrane {

// The tabs and the spaces before them are part of the captions: the shell aligns the pass
// counts in a column at the tab.
const std::array<MenuCommand, 8> kMenuCommands = {{
    {"Random Data (Recommended)\t(1 pass)", "Random",
     "Overwrite the file with random data and delete.", CommandAction::Wipe, Random},
    {"Random Data \t(2 passes)", "Random2", "Overwrite with 2 passes of random data and delete.",
     CommandAction::Wipe, Random2},
    {"DoD Quick \t(3 passes)", "DoDQuick", "Overwrite with DoD quick method.", CommandAction::Wipe,
     DoDQuick},
    {"DoD Standard \t(7 passes)", "DoD", "Overwrite with DoD standard method.", CommandAction::Wipe,
     DoD},
    {"NATO Standard \t(7 passes)", "NATO", "Overwrite with NATO method.", CommandAction::Wipe,
     NATO},
    {"Gutmann \t(35 passes)", "Gutmann", "Overwrite 35 times using Gutmann algorithm.",
     CommandAction::Wipe, Gutmann},
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
