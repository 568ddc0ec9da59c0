#include "wipe/WipeMethod.h"

namespace veltrane {

// Constant-initialised, so the table is ready before any other static initialiser of the
// module can ask for it.
constexpr WipeMethodInfo wipeMethods[kWipeMethodCount] = {
    {"Recycle", "Recycle (0 passes)", Recycle, 0},
    {"Delete", "Delete (0 passes)", Delete, 0},
    {"Random", "Random Data (1 pass)", Random, 1},
    {"Random2", "Random Data (2 passes)", Random2, 2},
    {"DoDQuick", "DoD Quick (3 passes)", DoDQuick, 3},
    {"DoD", "DoD Standard (7 passes)", DoD, 7},
    {"NATO", "NATO Standard (7 passes)", NATO, 7},
    {"Gutmann", "Gutmann (35 passes)", Gutmann, 35},
};

std::int32_t PassCount(std::uint32_t method) {
    for (const WipeMethodInfo& row : wipeMethods) {
        if (row.methodBits == method) return row.passes;
    }
    return 0;
}

}  // namespace veltrane
