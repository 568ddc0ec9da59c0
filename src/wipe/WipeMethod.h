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
extern const WipeMethodInfo wipeMethods[kWipeMethodCount];

// Passes of the one table row whose bits equal `method` exactly; 0 for no row (0, or any
// combination of two or more bits).
std::int32_t PassCount(std::uint32_t method);

}  // namespace veltrane
