#include "wipe/CharGenerator.h"

namespace veltrane {
namespace {

thread_local std::uint32_t t_state = 1;

}  // namespace

std::int32_t CharGeneratorNext() {
    t_state = t_state * 214013u + 2531011u;
    return static_cast<std::int32_t>((t_state >> 16) & 0x7FFFu);
}

std::uint32_t CharGeneratorState() {
    return t_state;
}

void CharGeneratorSeed(std::uint32_t state) {
    t_state = state;
}

}  // namespace veltrane
