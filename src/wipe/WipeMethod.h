#pragma once
// The ways of disposing of a file, and how many overwriting passes each takes.

#include <cstddef>
#include <cstdint>

namespace veltrane {

// One bit per method. The bit values are fixed by the shell menu's commands and do not
// follow the menu's order.
enum WipeMethod : std::uint32_t {
    Recycle = 0x01,
    Delete = 0x02,
    Random = 0x04,
    DoDQuick = 0x08,
    NATO = 0x10,
    Gutmann = 0x20,
    Random2 = 0x40,
    DoD = 0x80,
};

// Every fact of a method, one row each: the shell menu's and the command line's words are
// built from these rows, and the engine's routines are checked against them.
struct WipeMethodInfo {
    const char* key;  // also the menu command's verb
    const char* description;
    std::uint32_t methodBits;
    std::int32_t passes;
    // The classic menu's caption (the tab and the spaces before it are part of it: the
    // shell aligns the pass counts in a column at the tab) and help text; null for a
    // method the menu does not offer.
    const char* menuCaption;
    const char* menuHelp;
    // The command line's --method name and its line in --help; null where not offered.
    const char* cliName;
    const char* cliDescription;
};

constexpr std::size_t kWipeMethodCount = 8;
// Constant: ready before any static initialiser of the module can ask for it, and usable
// at compile time, where each overwriting method's count is checked against its passes.
inline constexpr WipeMethodInfo wipeMethods[kWipeMethodCount] = {
    {"Recycle", "Recycle (0 passes)", Recycle, 0, nullptr, nullptr, nullptr, nullptr},
    {"Delete", "Delete (0 passes)", Delete, 0, nullptr, nullptr, nullptr, nullptr},
    {"Random", "Random Data (1 pass)", Random, 1, "Random Data (Recommended)\t(1 pass)",
     "Overwrite the file with random data and delete.", "random",
     "random data, 1 pass (the default, recommended)"},
    {"Random2", "Random Data (2 passes)", Random2, 2, "Random Data \t(2 passes)",
     "Overwrite with 2 passes of random data and delete.", "random2", "random data, 2 passes"},
    {"DoDQuick", "DoD Quick (3 passes)", DoDQuick, 3, "DoD Quick \t(3 passes)",
     "Overwrite with DoD quick method.", "dodquick", "DoD quick, 3 passes"},
    {"DoD", "DoD Standard (7 passes)", DoD, 7, "DoD Standard \t(7 passes)",
     "Overwrite with DoD standard method.", "dod", "DoD standard, 7 passes"},
    {"NATO", "NATO Standard (7 passes)", NATO, 7, "NATO Standard \t(7 passes)",
     "Overwrite with NATO method.", "nato", "NATO standard, 7 passes"},
    {"Gutmann", "Gutmann (35 passes)", Gutmann, 35, "Gutmann \t(35 passes)",
     "Overwrite 35 times using Gutmann algorithm.", "gutmann", "Gutmann, 35 passes"},
};

// The row of one method bit; the Recycle row for anything else (never asked at run time).
constexpr const WipeMethodInfo& MethodInfo(std::uint32_t method) {
    for (const WipeMethodInfo& row : wipeMethods) {
        if (row.methodBits == method) return row;
    }
    return wipeMethods[0];
}

// Passes of the one table row whose bits equal `method` exactly; 0 for no row (0, or any
// combination of two or more bits).
constexpr std::int32_t PassCount(std::uint32_t method) {
    for (const WipeMethodInfo& row : wipeMethods) {
        if (row.methodBits == method) return row.passes;
    }
    return 0;
}

}  // namespace veltrane
