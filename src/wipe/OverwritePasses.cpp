#include "wipe/OverwritePasses.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "wipe/CharGenerator.h"
#include "wipe/FillGenerator.h"
#include "wipe/WipeMethod.h"

namespace veltrane {
namespace {

using Pass = OverwritePass;
constexpr Pass R{OverwritePass::Kind::Random, {}};
constexpr Pass B(std::uint8_t v) {
    return Pass{OverwritePass::Kind::Byte, {v, 0, 0}};
}
constexpr Pass P(std::uint8_t a, std::uint8_t b, std::uint8_t c) {
    return Pass{OverwritePass::Kind::Pattern, {a, b, c}};
}

constexpr Pass kRandomPasses[] = {R};
constexpr Pass kRandom2Passes[] = {R, R};
constexpr Pass kDoDQuickPasses[] = {B(0x00), B(0xFF), R};
constexpr Pass kNatoPasses[] = {B(0x00), B(0xFF), B(0x00), B(0xFF), B(0x00), B(0xFF), R};
// Gutmann's 35-pass table (1996), in its order.
// clang-format off
constexpr Pass kGutmannPasses[] = {
    R, R, R, R,
    B(0x55), B(0xAA),
    P(0x92, 0x49, 0x24), P(0x49, 0x24, 0x92), P(0x24, 0x92, 0x49),
    B(0x00), B(0x11), B(0x22), B(0x33), B(0x44), B(0x55), B(0x66), B(0x77),
    B(0x88), B(0x99), B(0xAA), B(0xBB), B(0xCC), B(0xDD), B(0xEE), B(0xFF),
    P(0x92, 0x49, 0x24), P(0x49, 0x24, 0x92), P(0x24, 0x92, 0x49),
    P(0x6D, 0xB6, 0xDB), P(0xB6, 0xDB, 0x6D), P(0xDB, 0x6D, 0xB6),
    R, R, R, R,
};
// clang-format on
// The method table's pass counts, which the published percentages divide by, are those
// of the passes written (DoD Standard: six drawn byte passes and a random one).
static_assert(PassCount(Random) == std::size(kRandomPasses), "Random's passes");
static_assert(PassCount(Random2) == std::size(kRandom2Passes), "Random2's passes");
static_assert(PassCount(DoDQuick) == std::size(kDoDQuickPasses), "DoD Quick's passes");
static_assert(PassCount(NATO) == std::size(kNatoPasses), "NATO's passes");
static_assert(PassCount(Gutmann) == std::size(kGutmannPasses), "Gutmann's passes");
// Three drawn values, each written and then complemented, then random data.
constexpr Pass kDoDPasses[] = {{OverwritePass::Kind::Drawn, {}},
                               {OverwritePass::Kind::Complement, {}},
                               {OverwritePass::Kind::Drawn, {}},
                               {OverwritePass::Kind::Complement, {}},
                               {OverwritePass::Kind::Drawn, {}},
                               {OverwritePass::Kind::Complement, {}},
                               R};
static_assert(PassCount(DoD) == std::size(kDoDPasses), "DoD's passes");

template <std::size_t N>
std::vector<OverwritePass> Plan(const Pass (&passes)[N]) {
    return std::vector<OverwritePass>(std::begin(passes), std::end(passes));
}

}  // namespace

std::vector<OverwritePass> PassPlan(std::uint32_t method) {
    switch (method) {
        case Random:
            return Plan(kRandomPasses);
        case Random2:
            return Plan(kRandom2Passes);
        case DoDQuick:
            return Plan(kDoDQuickPasses);
        case DoD:
            return Plan(kDoDPasses);
        case NATO:
            return Plan(kNatoPasses);
        case Gutmann:
            return Plan(kGutmannPasses);
        default:
            return {};
    }
}

OverwritePass PassDraws::Resolve(const OverwritePass& pass) {
    if (pass.kind == OverwritePass::Kind::Complement && m_count > 0) {
        return B(static_cast<std::uint8_t>(~m_values[m_count - 1]));
    }
    if (pass.kind != OverwritePass::Kind::Drawn) return pass;
    // Draws compare whole values; two passes may still write the same byte.
    std::int32_t v = CharGeneratorNext();
    while (std::find(m_values, m_values + m_count, v) != m_values + m_count) {
        v = CharGeneratorNext();
    }
    if (m_count < 3) m_values[m_count++] = v;
    return B(static_cast<std::uint8_t>(v));
}

void FillPassBuffer(const OverwritePass& pass, std::uint8_t* buffer, std::size_t size,
                    std::uint64_t offset, std::uint32_t& state) {
    switch (pass.kind) {
        case OverwritePass::Kind::Random:
            FillRandom(state, buffer, size);
            return;
        case OverwritePass::Kind::Byte:
        case OverwritePass::Kind::Drawn:  // resolved before it is written
        case OverwritePass::Kind::Complement:
            std::memset(buffer, pass.data[0], size);
            return;
        case OverwritePass::Kind::Pattern:
            for (std::size_t i = 0; i < size; ++i) buffer[i] = pass.data[(offset + i) % 3];
            return;
    }
}

}  // namespace veltrane
