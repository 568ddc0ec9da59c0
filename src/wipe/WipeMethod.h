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

struct WipeMethodInfo {
    const char* key;
    const char* description;
    std::uint32_t methodBits;
    std::int32_t passes;
};

constexpr std::size_t kWipeMethodCount = 8;
// Constant: ready before any static initialiser of the module can ask for it, and usable
// at compile time, where each overwriting method's count is checked against its passes.
inline constexpr WipeMethodInfo wipeMethods[kWipeMethodCount] = {
    {"Recycle", "Recycle (0 passes)", Recycle, 0},
    {"Delete", "Delete (0 passes)", Delete, 0},
    {"Random", "Random Data (1 pass)", Random, 1},
    {"Random2", "Random Data (2 passes)", Random2, 2},
    {"DoDQuick", "DoD Quick (3 passes)", DoDQuick, 3},
    {"DoD", "DoD Standard (7 passes)", DoD, 7},
    {"NATO", "NATO Standard (7 passes)", NATO, 7},
    {"Gutmann", "Gutmann (35 passes)", Gutmann, 35},
};

// Passes of the one table row whose bits equal `method` exactly; 0 for no row (0, or any
// combination of two or more bits).
constexpr std::int32_t PassCount(std::uint32_t method) {
    for (const WipeMethodInfo& row : wipeMethods) {
        if (row.methodBits == method) return row.passes;
    }
    return 0;
}

}  // namespace veltrane
